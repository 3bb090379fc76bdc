// Arbitrary bytes as the downloaded version file: its first line, the number on it, and the
// comparison with the program's own version.
#include "FuzzCheck.h"

#include "present/UpdateText.h"
#include "update/UpdateCheck.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace {

using namespace quillon;

std::string_view TrimSpacesAndTabs(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

enum class Reading { Empty, NotANumber, OutOfRange, Number };

// The number on a line read digit by digit with an overflow test at each step.
Reading ReferenceParse(std::string_view line, std::int64_t& value) {
    std::string_view text = TrimSpacesAndTabs(line);
    if (text.empty()) {
        return Reading::Empty;
    }
    const bool negative = text.front() == '-';
    if (negative || text.front() == '+') {
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return Reading::NotANumber;
    }
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return Reading::NotANumber;
        }
    }
    // Accumulated as a negative number, whose range is one larger.
    std::int64_t accumulated = 0;
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    for (const char c : text) {
        const int digit = c - '0';
        if (accumulated < kMin / 10 || accumulated * 10 < kMin + digit) {
            return Reading::OutOfRange;
        }
        accumulated = accumulated * 10 - digit;
    }
    if (!negative && accumulated == kMin) {
        return Reading::OutOfRange;
    }
    value = negative ? accumulated : -accumulated;
    return Reading::Number;
}

void CheckParsed(const ParsedVersion& parsed, Reading expected, std::int64_t expectedValue) {
    switch (expected) {
    case Reading::Empty:
        QUILLON_FUZZ_CHECK(parsed.error == VersionParseError::EmptyLine ||
                           parsed.error == VersionParseError::EmptyFile);
        break;
    case Reading::NotANumber:
        QUILLON_FUZZ_CHECK(parsed.error == VersionParseError::NotANumber);
        break;
    case Reading::OutOfRange:
        QUILLON_FUZZ_CHECK(parsed.error == VersionParseError::OutOfRange);
        break;
    case Reading::Number:
        QUILLON_FUZZ_CHECK(parsed.ok() && parsed.value == expectedValue);
        return;
    }
    QUILLON_FUZZ_CHECK(!parsed.ok() && !VersionProblemText(parsed.error).empty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view content(reinterpret_cast<const char*>(data), size);

    const std::string_view first = FirstLine(content);
    QUILLON_FUZZ_CHECK(content.starts_with(first));
    QUILLON_FUZZ_CHECK(first.find_first_of("\r\n") == std::string_view::npos);
    QUILLON_FUZZ_CHECK(first.size() == content.size() || content[first.size()] == '\r' ||
                       content[first.size()] == '\n');

    const std::string_view line = VersionLine(content);
    const std::string_view withoutMark = content.starts_with("\xEF\xBB\xBF") ? content.substr(3) : content;
    QUILLON_FUZZ_CHECK(line == FirstLine(withoutMark));

    std::int64_t expectedValue = 0;
    const Reading expected = ReferenceParse(line, expectedValue);
    CheckParsed(ParseVersionNumber(line), expected, expectedValue);
    const ParsedVersion published = ReadPublishedVersion(content);
    CheckParsed(published, content.empty() ? Reading::Empty : expected, expectedValue);

    if (published.ok()) {
        // Writing the value back and reading it again gives the same value.
        const ParsedVersion again = ParseVersionNumber(std::to_string(published.value));
        QUILLON_FUZZ_CHECK(again.ok() && again.value == published.value);

        for (const std::int64_t own :
             {std::int64_t{0}, std::int64_t{2125}, published.value, published.value / 2,
              std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max()}) {
            const VersionComparison comparison = CompareVersions(published.value, own);
            const VersionComparison expectedComparison = published.value > own    ? VersionComparison::Newer
                                                         : published.value == own ? VersionComparison::Same
                                                                                  : VersionComparison::Older;
            QUILLON_FUZZ_CHECK(comparison == expectedComparison);
            const std::optional<std::string_view> message = ComparisonMessage(comparison);
            QUILLON_FUZZ_CHECK(message.has_value() == (comparison != VersionComparison::Older));
        }
    }

    // Any 64-bit value from the input's first eight bytes survives writing and reading.
    if (size >= 8) {
        std::int64_t raw = 0;
        std::memcpy(&raw, data, sizeof raw);
        const std::string text = " \t" + std::to_string(raw) + "\t \r\ngarbage";
        const ParsedVersion parsed = ReadPublishedVersion(text);
        QUILLON_FUZZ_CHECK(parsed.ok() && parsed.value == raw);
    }
    return 0;
}
