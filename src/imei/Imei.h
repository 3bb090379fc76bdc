#pragma once

#include <array>
#include <cstddef>
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
int LuhnTotal(std::string_view normalised);
bool IsValidLuhnTotal(int total); // 10, 20, ..., 160

// Exactly 15 characters, all 0-9.
bool IsCompleteIMEI(std::string_view normalised);
// The verdict: a complete IMEI with a valid Luhn total.
bool IsValidIMEI(std::string_view normalised);

struct LuhnWorking {
    LuhnDigitList digits;
    int sum = 0;
    int checkDigit = 0;
    int total = 0;
};
LuhnWorking ComputeLuhnWorking(std::string_view normalised);

} // namespace quillon
