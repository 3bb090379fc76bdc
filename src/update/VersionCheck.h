#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// The version file holds the published version number on its first line.
inline constexpr std::string_view kVersionFileName = "update.dat";
inline constexpr std::string_view kVersionFilePath = "/ver";

inline constexpr std::string_view kUpdateAvailableMessage = "An update is available!";
inline constexpr std::string_view kLatestVersionMessage = "You have the latest version.";

// The version file "/ver" on `serviceHost`, as every address: identity::WebAddress.
std::string VersionFileAddress(std::string_view serviceHost);
// The version file address on the configured database service's host.
std::string VersionFileAddress();

// Everything up to the first CR or LF; the whole text when it has no line end.
std::string_view FirstLine(std::string_view content);

enum class VersionParseError { None, Empty, NotANumber, OutOfRange };

struct ParsedVersion {
    VersionParseError error = VersionParseError::None;
    std::int64_t value = 0;
    std::string reason; // the user's words for the error; empty on success
    bool ok() const { return error == VersionParseError::None; }
};

// A whole decimal number with an optional sign directly before its digits; spaces and tabs around
// it are ignored. Anything else (a fraction, a second word, an error page) is refused rather than
// read as a number, and so is a value beyond the 64-bit range: no value ever wraps.
ParsedVersion ParseVersionNumber(std::string_view text);

// The line of the version file that counts: its first line, with a UTF-8 byte order mark at the
// very start dropped (editors on some systems put one there).
std::string_view VersionLine(std::string_view fileContent);

// The published version from the whole content of the version file (its version line).
ParsedVersion ReadPublishedVersion(std::string_view fileContent);

enum class VersionComparison { Newer, Same, Older };

// How the published version stands to the program's own.
VersionComparison CompareVersions(std::int64_t published, std::int64_t own);

// The message for a comparison; none when the published version is older.
std::optional<std::string_view> ComparisonMessage(VersionComparison comparison);

} // namespace quillon
