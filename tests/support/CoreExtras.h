#pragma once

// What the tests, benchmarks and fuzz targets ask of the core beyond what the programs do.

#include "devicedb/DeviceTable.h"
#include "generation/Generation.h"
#include "generation/ModelCatalogue.h"
#include "generation/Report.h"
#include "imei/Imei.h"
#include "utf8/Utf8.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
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

// Plays back a fixed list of values, starting again at its beginning when it runs out. An empty
// list gives 0.
class SequenceRandomSource final : public RandomSource {
public:
    explicit SequenceRandomSource(std::vector<double> values) : m_values(std::move(values)) {}
    double Next() override {
        const std::size_t at = m_drawn++;
        return m_values.empty() ? 0.0 : m_values[at % m_values.size()];
    }
    std::size_t Drawn() const { return m_drawn; } // values taken so far

private:
    std::vector<double> m_values;
    std::size_t m_drawn = 0;
};

// The whole report text: the header, the number list, a final CR LF.
inline std::string ReportText(std::string_view versionText, std::string_view modelText, std::string_view secondsText,
                              std::string_view generatedList, RunEnd end = RunEnd::Completed) {
    std::string text = ReportHeader(versionText, modelText, secondsText, end);
    text += generatedList;
    text += kReportLineEnd;
    return text;
}

inline std::string EncodeUtf8(std::u32string_view text) {
    std::string out;
    for (const char32_t c : text) {
        AppendUtf8(out, c);
    }
    return out;
}

} // namespace quillon
