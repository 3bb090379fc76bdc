#include "generation/Generation.h"

#include "imei/Utf8.h"

#include <charconv>
#include <chrono>
#include <cstring>
#include <ctime>
#include <limits>
#include <system_error>

namespace quillon {

namespace {

// t(odd position) + t(even position) for a pair of digits "ab": a + the digit sum of 2b.
constexpr std::array<std::uint8_t, 100> kPairTotals = [] {
    std::array<std::uint8_t, 100> totals{};
    for (int a = 0; a < 10; ++a) {
        for (int b = 0; b < 10; ++b) {
            const int doubled = 2 * b > 9 ? 2 * b - 9 : 2 * b; // the sum of the product's two digits
            totals[static_cast<std::size_t>(a * 10 + b)] = static_cast<std::uint8_t>(a + doubled);
        }
    }
    return totals;
}();

// The Luhn total of 15 digit characters.
inline int LuhnTotalOfDigits(const char* d) {
    int total = d[14] - '0';
    for (std::size_t i = 0; i < 14; i += 2) {
        total += kPairTotals[static_cast<std::size_t>((d[i] - '0') * 10 + (d[i + 1] - '0'))];
    }
    return total;
}

// IsValidLuhnTotal for every total 15 digits can reach, looked up in the unpaced loop.
constexpr int kMaxDigitsTotal = 135;
std::array<bool, kMaxDigitsTotal + 1> ValidTotals() {
    std::array<bool, kMaxDigitsTotal + 1> valid{};
    for (int total = 0; total <= kMaxDigitsTotal; ++total) {
        valid[static_cast<std::size_t>(total)] = IsValidLuhnTotal(total);
    }
    return valid;
}
const std::array<bool, kMaxDigitsTotal + 1> kValidTotals = ValidTotals();

inline bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

constexpr std::size_t kBoxRandomDigits = kImeiLength - 2;
constexpr std::size_t kTacLength = 8;

} // namespace

void RandomSource::Discard(std::uint64_t count) {
    for (; count > 0; --count) {
        Next();
    }
}

double SequenceRandomSource::Next() {
    if (m_values.empty()) {
        ++m_drawn;
        return 0.0;
    }
    const double value = m_values[m_drawn % m_values.size()];
    ++m_drawn;
    return value;
}

std::uint64_t TimeOfDaySeed() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    if (const std::tm* converted = std::localtime(&seconds)) {
        local = *converted;
    }
    const auto sinceEpoch = std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count();
    const auto microsecond = static_cast<std::uint64_t>(sinceEpoch % 1000000 + 1000000) % 1000000;
    const auto secondOfDay = static_cast<std::uint64_t>((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec);
    return secondOfDay * 1000000 + microsecond;
}

int RandomDigit(double r) {
    if (!(r > 0.0)) { // also NaN
        return 1;
    }
    if (r >= 1.0) {
        return 9;
    }
    return static_cast<int>(r * 9.0) + 1; // r * 9 stays below 9 for every double below 1
}

bool IsEightDigitTac(std::string_view text) {
    if (text.size() != kTacLength) {
        return false;
    }
    for (const char c : text) {
        if (!IsAsciiDigit(c)) {
            return false;
        }
    }
    return true;
}

std::string CustomPrefixProblem(std::string_view imeiText) {
    if (imeiText.size() >= kTacLength && IsEightDigitTac(imeiText.substr(0, kTacLength))) {
        return {};
    }
    std::string message = "\"Custom\" takes the first eight characters of the IMEI box as the Type Allocation Code, "
                          "so they must be digits 0-9 (for example 49015420). ";
    if (imeiText.empty()) {
        message += "The box is empty.";
    } else {
        message += "The box begins with \"";
        message += Utf8Left(imeiText, kTacLength);
        message += "\".";
    }
    return message;
}

double RequestedCount(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) {
        ++at;
    }
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    // Digits, then at most one full stop and more digits; at least one digit in all.
    const std::size_t start = at;
    std::size_t digits = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        ++at;
        ++digits;
    }
    if (at < text.size() && text[at] == '.') {
        ++at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            ++at;
            ++digits;
        }
    }
    if (digits == 0) {
        return 0.0;
    }
    double value = 0.0;
    const char* first = text.data() + start;
    const char* last = text.data() + at;
    const std::from_chars_result read = std::from_chars(first, last, value, std::chars_format::fixed);
    if (read.ec == std::errc::result_out_of_range) {
        // Only a value too large can be out of range here: a long fraction of zeros rounds to 0.
        value = std::numeric_limits<double>::infinity();
        for (const char* c = first; c != last; ++c) {
            if (*c >= '1' && *c <= '9') {
                break;
            }
            if (*c == '.') {
                value = 0.0;
                break;
            }
        }
    } else if (read.ec != std::errc()) {
        return 0.0;
    }
    return negative ? -value : value;
}

std::string DevicePrefixProblem(std::string_view entryText, std::string_view field1) {
    if (IsEightDigitTac(field1)) {
        return {};
    }
    std::string message = "The device entry \"";
    message += entryText;
    message += "\" cannot be used for generating: its Type Allocation Code in tacdex.csv, \"";
    message += field1;
    message += "\", is not eight digits 0-9.";
    return message;
}

std::string ModelPrefixProblem(const ModelChoice& choice, std::string_view modelText, std::string_view imeiText) {
    switch (choice.kind) {
    case ModelChoiceKind::Custom:
        return CustomPrefixProblem(imeiText);
    case ModelChoiceKind::Device:
        return DevicePrefixProblem(modelText, choice.tac);
    case ModelChoiceKind::None:
    case ModelChoiceKind::Catalogue:
        break;
    }
    return {};
}

std::optional<CandidateRecipe> MakeCandidateRecipe(const BoxStates& boxes, const ModelChoice& choice,
                                                   std::string_view imeiText) {
    CandidateRecipe recipe;
    if (const std::optional<std::string_view> code = FirstCheckedBoxCode(boxes); code && code->size() == 2) {
        recipe.boxCode = std::array<char, 2>{(*code)[0], (*code)[1]};
    }
    recipe.model = choice.kind;
    switch (choice.kind) {
    case ModelChoiceKind::None:
        break;
    case ModelChoiceKind::Catalogue:
        if (choice.entry == nullptr || choice.entry->tacs.empty()) {
            return std::nullopt;
        }
        recipe.entry = choice.entry;
        break;
    case ModelChoiceKind::Custom:
        if (!CustomPrefixProblem(imeiText).empty()) {
            return std::nullopt;
        }
        std::memcpy(recipe.tac.data(), imeiText.data(), kTacLength);
        break;
    case ModelChoiceKind::Device:
        if (!IsEightDigitTac(choice.tac)) {
            return std::nullopt;
        }
        std::memcpy(recipe.tac.data(), choice.tac.data(), kTacLength);
        break;
    }
    return recipe;
}

namespace {

// Values in the order a candidate takes them, from any source.
class SourceDraws {
public:
    explicit SourceDraws(RandomSource& random) : m_random(random) {}
    char Digit() { return static_cast<char>('0' + RandomDigit(m_random.Next())); }
    std::string_view Tac(const CatalogueEntry& entry) { return DrawTac(entry, m_random.Next()); }
    void Skip(std::uint64_t count) { m_random.Discard(count); }

private:
    RandomSource& m_random;
};

// The same values straight from the seeded source, inlined into the unpaced loop. (m * 2^-53) * 9
// and m * (9 * 2^-53) round the same exact product once, so the digits equal RandomDigit's.
// It works on a copy of the source, handed back at the end, so the state can stay in a register
// while the candidate's characters (which may alias anything) are written.
class SeededDraws {
public:
    explicit SeededDraws(SeededRandomSource& random) : m_source(random), m_local(random) {}
    ~SeededDraws() { m_source = m_local; }
    SeededDraws(const SeededDraws&) = delete;
    SeededDraws& operator=(const SeededDraws&) = delete;

    char Digit() {
        return static_cast<char>('1' + static_cast<int>(static_cast<double>(m_local.NextBits()) * 0x9p-53));
    }
    // DrawTac's floor(r * k), with r * k rounded once as m * (k * 2^-53) for the same reason.
    std::string_view Tac(const CatalogueEntry& entry) {
        const std::size_t count = entry.tacs.size();
        const auto index =
            static_cast<std::size_t>(static_cast<double>(m_local.NextBits()) * (static_cast<double>(count) * 0x1p-53));
        return entry.tacs[index < count ? index : count - 1];
    }
    void Skip(std::uint64_t count) { m_local.Discard(count); }

private:
    SeededRandomSource& m_source;
    SeededRandomSource m_local;
};

template <typename Draws> void BuildCandidateFrom(const CandidateRecipe& recipe, Draws& draws, Candidate& out) {
    char* digits = out.digits.data();
    const std::size_t boxRandomDigits = recipe.boxCode ? kBoxRandomDigits : kImeiLength;
    if (recipe.model == ModelChoiceKind::None) {
        std::size_t at = 0;
        if (recipe.boxCode) {
            digits[at++] = (*recipe.boxCode)[0];
            digits[at++] = (*recipe.boxCode)[1];
        }
        while (at < kImeiLength) {
            digits[at++] = draws.Digit();
        }
        return;
    }
    // The reporting-body candidate is made on every pass and then replaced; its digits are never
    // seen, so only its values are taken from the source.
    draws.Skip(boxRandomDigits);
    if (recipe.model == ModelChoiceKind::Catalogue) {
        std::memcpy(digits, draws.Tac(*recipe.entry).data(), kTacLength);
    } else {
        std::memcpy(digits, recipe.tac.data(), kTacLength);
    }
    for (std::size_t at = kTacLength; at < kImeiLength; ++at) {
        digits[at] = draws.Digit();
    }
}

template <typename Draws>
GenerationCounts GenerateValidFrom(const CandidateRecipe& recipe, std::uint64_t count, Draws& draws,
                                   const std::function<bool(std::string_view)>& onValid) {
    GenerationCounts counts;
    Candidate candidate;
    while (counts.valid < count) {
        BuildCandidateFrom(recipe, draws, candidate);
        ++counts.generated;
        if (kValidTotals[static_cast<std::size_t>(LuhnTotalOfDigits(candidate.digits.data()))]) {
            ++counts.valid;
            if (onValid && !onValid(candidate.Text())) {
                break;
            }
        }
    }
    return counts;
}

} // namespace

void BuildCandidate(const CandidateRecipe& recipe, RandomSource& random, Candidate& out) {
    SourceDraws draws(random);
    BuildCandidateFrom(recipe, draws, out);
}

int CandidateLuhnTotal(const Candidate& candidate) {
    for (const char c : candidate.digits) {
        if (!IsAsciiDigit(c)) {
            return LuhnTotal(candidate.Text()); // never for a built candidate
        }
    }
    return LuhnTotalOfDigits(candidate.digits.data());
}

bool IsValidCandidate(const Candidate& candidate) {
    return IsValidLuhnTotal(CandidateLuhnTotal(candidate));
}

GenerationCounts GenerateValid(const CandidateRecipe& recipe, std::uint64_t count, RandomSource& random,
                               const std::function<bool(std::string_view)>& onValid) {
    if (auto* seeded = dynamic_cast<SeededRandomSource*>(&random)) {
        SeededDraws draws(*seeded);
        return GenerateValidFrom(recipe, count, draws, onValid);
    }
    SourceDraws draws(random);
    return GenerateValidFrom(recipe, count, draws, onValid);
}

} // namespace quillon
