#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

inline constexpr std::size_t kImeiLength = 15;

// Trims U+0020 at both ends, drops the ten separator characters and reads X, x and * as 0.
// Every other character passes unchanged. Input that is not well-formed UTF-8 has each bad byte
// replaced by U+FFFD, so the result is always well-formed.
std::string NormaliseIMEI(std::string_view text);

// Fields cut by character position; a field past the end of a short text is shorter or empty.
struct IMEIFields {
    std::string reportingBodyIdentifier; // characters 1-2
    std::string typeAllocationCode;      // characters 1-8
    std::string serialNumber;            // characters 9-14
    std::string checkDigit;              // the last character
};
IMEIFields SplitIMEI(std::string_view normalised);

// Characters 1-6, "-", 7-8, "-", 9-14, "-", 15: always three hyphens.
std::string FullIMEIPresentation(std::string_view normalised);

// The transformed digits t1..t14 of the positions the text has (at most 14). A character other
// than 0-9 counts as the digit 0.
struct LuhnDigitList {
    std::array<int, 14> digits{};
    std::size_t count = 0;
    std::string Text() const; // the digits one after another, no separators
};
LuhnDigitList LuhnDigits(std::string_view normalised);
int LuhnSum(std::string_view normalised);
// The value of the last character: its digit value, 0 for anything else or an empty text.
int CheckDigitValue(std::string_view normalised);
// Kept for the tests and fuzz targets: the programs take the total from ComputeLuhnWorking.
int LuhnTotal(std::string_view normalised);
constexpr bool IsValidLuhnTotal(int total) { // 10, 20, ..., 160
    return total >= 10 && total <= 160 && total % 10 == 0;
}

// The Luhn rule for one digit: kept at an odd position (1, 3, ...), doubled at an even one, with
// a doubled value of 10 or more reduced by 9 (the sum of its two digits).
constexpr int LuhnTransform(int position, int digit) {
    if (position % 2 == 1) {
        return digit;
    }
    const int doubled = 2 * digit;
    return doubled >= 10 ? doubled - 9 : doubled;
}

namespace detail {
// LuhnTransform(odd, a) + LuhnTransform(even, b) for each pair of digits "ab", indexed by 10a + b.
inline constexpr std::array<unsigned char, 100> kLuhnPairTotals = [] {
    std::array<unsigned char, 100> totals{};
    for (int a = 0; a < 10; ++a) {
        for (int b = 0; b < 10; ++b) {
            totals[static_cast<std::size_t>(a * 10 + b)] =
                static_cast<unsigned char>(LuhnTransform(1, a) + LuhnTransform(2, b));
        }
    }
    return totals;
}();
} // namespace detail

// The Luhn total of fifteen characters that are all 0-9 (the caller has made sure), two digits
// per table look-up: the form for loops over many numbers. Equal to LuhnTotal of the same text.
inline int LuhnTotalOfFifteenDigits(const char* digits) {
    int total = digits[14] - '0';
    for (std::size_t i = 0; i < 14; i += 2) {
        total += detail::kLuhnPairTotals[static_cast<std::size_t>((digits[i] - '0') * 10 + (digits[i + 1] - '0'))];
    }
    return total;
}

namespace detail {
// IsValidLuhnTotal for every total that fifteen digits can reach (at most 135).
inline constexpr std::array<bool, 136> kValidFifteenDigitTotals = [] {
    std::array<bool, 136> valid{};
    for (int total = 0; total < 136; ++total) {
        valid[static_cast<std::size_t>(total)] = IsValidLuhnTotal(total);
    }
    return valid;
}();
} // namespace detail

// The verdict on fifteen characters that are all 0-9, by table.
inline bool IsValidFifteenDigits(const char* digits) {
    return detail::kValidFifteenDigitTotals[static_cast<std::size_t>(LuhnTotalOfFifteenDigits(digits))];
}

// Exactly 15 characters, all 0-9.
bool IsCompleteIMEI(std::string_view normalised);

// The check digit that makes the first fourteen characters of the text a valid IMEI (whatever
// follows them does not count); none when their Luhn sum is 0, as for fourteen zeros, since a
// total of 0 is never valid.
std::optional<int> LuhnCheckDigit(std::string_view normalised);

struct LuhnWorking {
    LuhnDigitList digits;
    int sum = 0;
    int checkDigit = 0;
    int total = 0;
};
LuhnWorking ComputeLuhnWorking(std::string_view normalised);

} // namespace quillon
