#pragma once

#include "identity/Identity.h"
#include "system/Problem.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// The version file (identity::VersionFileAddress) holds the published version number on its first
// line; the check keeps it beside the program as update.dat.
inline constexpr std::string_view kVersionFileName = "update.dat";

// Everything up to the first CR or LF; with a UTF-8 byte order mark at the very start dropped.
std::string_view FirstLine(std::string_view content);
std::string_view VersionLine(std::string_view fileContent);

enum class VersionParseError { None, EmptyFile, EmptyLine, NotANumber, OutOfRange };
struct ParsedVersion {
    VersionParseError error = VersionParseError::None;
    std::int64_t value = 0;
    bool ok() const { return error == VersionParseError::None; }
};
// A whole decimal number, a sign allowed directly before its digits, spaces and tabs around it.
// Anything else (a fraction, a second word, an error page) is refused, and so is a value beyond
// 64 bits: no value ever wraps.
ParsedVersion ParseVersionNumber(std::string_view text);
// The published version from the whole content of the version file (its version line).
ParsedVersion ReadPublishedVersion(std::string_view fileContent);

enum class VersionComparison { Newer, Same, Older };
VersionComparison CompareVersions(std::int64_t published, std::int64_t own);

// What one fetch may take: the whole answer within `timeLimit`, a body of at most `maxBytes`, at
// most `maxRedirects` redirects.
struct FetchLimits {
    std::chrono::milliseconds timeLimit{10'000};
    std::size_t maxBytes = 64 * 1024;
    int maxRedirects = 5;
};
struct FetchResult {
    std::string body;               // the whole body, when there is no problem
    std::optional<Problem> problem; // why there is no body
    bool cancelled = false;         // stopped on request: nobody waits for the answer
    bool ok() const { return !problem && !cancelled; }
};
// One HTTP GET of a web address, the body held in memory; setting `stop` ends it soon after.
class Fetcher {
public:
    virtual ~Fetcher() = default;
    virtual FetchResult Get(const std::string& address, const FetchLimits& limits, const std::atomic<bool>& stop) = 0;
};

// One GET of `sSourceUrl`, whose body then replaces `sLocalFile` whole; cancelled, the file
// untouched, when `stop` is set by the time the body has arrived.
FetchResult DownloadFile(Fetcher& fetcher, const std::string& sSourceUrl, const std::filesystem::path& sLocalFile,
                         const FetchLimits& limits, const std::atomic<bool>& stop);

struct UpdateCheckSettings {
    std::string address = identity::VersionFileAddress();
    std::filesystem::path programFolder; // update.dat goes here where this folder takes files,
    std::filesystem::path dataFolder;    // else here, made when missing; empty: no second place
    std::string ownVersion;
    FetchLimits limits;
};
struct UpdateAnswer {
    enum class Outcome { Answered, Unreadable, Failed, Cancelled };
    Outcome outcome = Outcome::Failed;
    std::optional<Problem> problem;              // why the check failed
    VersionParseError parseError{};              // why the number could not be read
    std::optional<std::string> publishedLine;    // the version line read: today's, or the kept file's
    std::optional<VersionComparison> comparison; // today's answer, or after a failure the earlier one
};
// Fetches the version file, keeps it as update.dat and compares its number with the program's own.
// After a failure the answer of an earlier check stands in: the kept update.dat, else `earlierLine`.
UpdateAnswer CheckForUpdate(Fetcher& fetcher, const UpdateCheckSettings& settings,
                            const std::optional<std::string>& earlierLine, const std::atomic<bool>& stop);

} // namespace quillon
