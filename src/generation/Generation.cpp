#include "generation/Generation.h"

#include "utf8/Utf8.h"

#include <charconv>
#include <cstring>
#include <limits>
#include <system_error>

namespace quillon {

namespace {

inline bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

using detail::kTacLength;

} // namespace

void RandomSource::Discard(std::uint64_t count) {
    for (; count > 0; --count) {
        Next();
    }
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

std::optional<Problem> CustomPrefixProblem(std::string_view imeiText) {
    if (imeiText.size() >= kTacLength && IsEightDigitTac(imeiText.substr(0, kTacLength))) {
        return std::nullopt;
    }
    return Problem(ProblemKind::CustomPrefixNotDigits, {}, kTacLength, {}, std::string(Utf8Left(imeiText, kTacLength)));
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

std::optional<Problem> DevicePrefixProblem(std::string_view entryText, std::string_view field1) {
    if (IsEightDigitTac(field1)) {
        return std::nullopt;
    }
    return Problem(ProblemKind::DevicePrefixNotDigits, {}, kTacLength, {}, std::string(field1), std::string(entryText));
}

std::optional<Problem> ModelPrefixProblem(const ModelChoice& choice, std::string_view modelText,
                                          std::string_view imeiText) {
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
        if (CustomPrefixProblem(imeiText)) {
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

} // namespace quillon
