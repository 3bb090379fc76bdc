#include "update/VersionCheck.h"

#include "Identity.h"

#include <charconv>
#include <limits>
#include <system_error>

namespace quillon {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

ParsedVersion Refuse(VersionParseError error, std::string reason) {
    ParsedVersion result;
    result.error = error;
    result.reason = std::move(reason);
    return result;
}

} // namespace

std::string VersionFileAddress(std::string_view serviceHost) {
    return identity::WebAddress(serviceHost, kVersionFilePath);
}

std::string VersionFileAddress() {
    return VersionFileAddress(identity::kServiceHost);
}

std::string_view FirstLine(std::string_view content) {
    const auto end = content.find_first_of("\r\n");
    return end == std::string_view::npos ? content : content.substr(0, end);
}

ParsedVersion ParseVersionNumber(std::string_view text) {
    const std::string_view number = TrimBlanks(text);
    if (number.empty()) {
        return Refuse(VersionParseError::Empty, "its first line is empty");
    }

    std::string_view digits = number;
    const bool negative = digits.front() == '-';
    if (negative || digits.front() == '+') {
        digits.remove_prefix(1);
    }
    if (digits.empty()) {
        return Refuse(VersionParseError::NotANumber, "its first line is not a whole number");
    }
    for (const char c : digits) {
        if (!IsDigit(c)) {
            return Refuse(VersionParseError::NotANumber, "its first line is not a whole number");
        }
    }

    // from_chars takes a minus sign but no plus sign; parsing the sign together with the digits
    // keeps the most negative 64-bit value readable.
    const std::string_view parsed = negative ? number : digits;
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(parsed.data(), parsed.data() + parsed.size(), value);
    if (error == std::errc::result_out_of_range) {
        return Refuse(VersionParseError::OutOfRange, "the number on its first line is too large");
    }
    if (error != std::errc{} || end != parsed.data() + parsed.size()) {
        return Refuse(VersionParseError::NotANumber, "its first line is not a whole number");
    }

    ParsedVersion result;
    result.value = value;
    return result;
}

std::string_view VersionLine(std::string_view fileContent) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (fileContent.starts_with(kByteOrderMark)) {
        fileContent.remove_prefix(kByteOrderMark.size());
    }
    return FirstLine(fileContent);
}

ParsedVersion ReadPublishedVersion(std::string_view fileContent) {
    if (fileContent.empty()) {
        return Refuse(VersionParseError::Empty, "the version file is empty");
    }
    return ParseVersionNumber(VersionLine(fileContent));
}

VersionComparison CompareVersions(std::int64_t published, std::int64_t own) {
    if (published > own) {
        return VersionComparison::Newer;
    }
    return published == own ? VersionComparison::Same : VersionComparison::Older;
}

std::optional<std::string_view> ComparisonMessage(VersionComparison comparison) {
    switch (comparison) {
    case VersionComparison::Newer:
        return kUpdateAvailableMessage;
    case VersionComparison::Same:
        return kLatestVersionMessage;
    case VersionComparison::Older:
        break;
    }
    return std::nullopt;
}

} // namespace quillon
