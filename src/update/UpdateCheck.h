#pragma once

#include "update/Fetch.h"
#include "update/VersionCheck.h"

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

struct UpdateCheckSettings {
    std::string address = VersionFileAddress();
    std::filesystem::path programFolder; // update.dat goes here where this folder takes files,
    std::filesystem::path dataFolder;    // else here, made when missing; empty: no second place
    std::string ownVersion;              // the program's own version number
    FetchLimits limits;
};

struct UpdateAnswer {
    enum class Outcome { Answered, Unreadable, Failed, Cancelled };
    Outcome outcome = Outcome::Failed;
    std::string reason;                          // why the check failed or the number could not be read
    std::optional<std::string> publishedLine;    // the version line read: today's, or the kept file's
    std::optional<VersionComparison> comparison; // today's answer, or after a failure the earlier one
};

// One GET of `sSourceUrl`; the body, held in memory, then replaces `sLocalFile` whole. Cancelled,
// with the file untouched, when `stop` is set before the body is written.
FetchResult DownloadFile(Fetcher& fetcher, const std::string& sSourceUrl, const std::filesystem::path& sLocalFile,
                         const FetchLimits& limits, const std::atomic<bool>& stop);

// The update check: fetches the version file, keeps it as update.dat and compares its number with
// the program's own. When the check fails, the answer of an earlier one stands in: the kept
// update.dat, else `earlierLine` (the version line read before, if any).
UpdateAnswer CheckForUpdate(Fetcher& fetcher, const UpdateCheckSettings& settings,
                            const std::optional<std::string>& earlierLine, const std::atomic<bool>& stop);

// The message boxes that tell the answer, in order; none for a cancelled check.
std::vector<std::string> UpdateMessages(const UpdateAnswer& answer);

} // namespace quillon
