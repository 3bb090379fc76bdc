#pragma once

// What the tests, benchmarks and fuzz targets ask of the core beyond what the programs do.

#include "devicedb/DeviceTable.h"
#include "generation/Generation.h"
#include "generation/ModelCatalogue.h"
#include "imei/Imei.h"

#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// The verdict: a complete IMEI with a valid Luhn total.
inline bool IsValidIMEI(std::string_view normalised) {
    return IsCompleteIMEI(normalised) && IsValidFifteenDigits(normalised.data());
}

// The whole model list after start-up: the fixed texts, the separator at 25, then one entry per
// device line i = 26 .. n - 2 at position i.
inline std::vector<std::string> ModelListTexts(const DeviceTable& table) {
    std::vector<std::string> texts = FixedModelListTexts();
    texts.emplace_back(kSeparatorEntry);
    for (std::size_t line = kFirstDeviceIndex; line + 2 <= table.LineCount(); ++line) {
        texts.push_back(DeviceEntryText(table.Line(line)));
    }
    return texts;
}

// One candidate from any source, through its virtual calls: the values a run takes, in its order.
inline void BuildCandidate(const CandidateRecipe& recipe, RandomSource& random, Candidate& out) {
    detail::CandidateDraws<RandomSource> draws(random);
    detail::BuildCandidateFrom(recipe, draws, out);
}

} // namespace quillon
