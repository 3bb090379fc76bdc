#include "update/UpdateCheck.h"

#include "system/Files.h"

#include <fstream>
#include <iterator>

namespace quillon {

namespace {

// Where update.dat goes; empty, with `problem` set, where no folder takes it.
std::filesystem::path VersionFilePath(const UpdateCheckSettings& settings, std::string& problem) {
    const std::filesystem::path name = PathFromUtf8(kVersionFileName);
    if (FolderTakesFiles(settings.programFolder)) {
        return settings.programFolder / name;
    }
    if (settings.dataFolder.empty()) {
        problem = "update.dat cannot be written beside the program, and the system names no application data folder";
        return {};
    }
    std::error_code error;
    std::filesystem::create_directories(settings.dataFolder, error);
    if (!FolderTakesFiles(settings.dataFolder)) {
        problem = "update.dat can be written neither beside the program nor in " + PathToUtf8(settings.dataFolder);
        return {};
    }
    return settings.dataFolder / name;
}

std::optional<std::string> ReadKeptFile(const std::filesystem::path& path, std::size_t maxBytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string content(maxBytes, '\0');
    in.read(content.data(), static_cast<std::streamsize>(maxBytes));
    content.resize(static_cast<std::size_t>(in.gcount()));
    return content;
}

} // namespace

FetchResult DownloadFile(Fetcher& fetcher, const std::string& sSourceUrl, const std::filesystem::path& sLocalFile,
                         const FetchLimits& limits, const std::atomic<bool>& stop) {
    FetchResult result = fetcher.Get(sSourceUrl, limits, stop);
    if (stop.load()) {
        return FetchResult{{}, {}, true};
    }
    if (result.ok()) {
        if (const std::string error = WriteFileWhole(sLocalFile, result.body); !error.empty()) {
            result.error = PathToUtf8(sLocalFile.filename()) + " could not be written (" + error + ")";
        }
    }
    return result;
}

UpdateAnswer CheckForUpdate(Fetcher& fetcher, const UpdateCheckSettings& settings,
                            const std::optional<std::string>& earlierLine, const std::atomic<bool>& stop) {
    UpdateAnswer answer;
    std::string problem;
    const std::filesystem::path file = VersionFilePath(settings, problem);
    const FetchResult fetched =
        file.empty() ? FetchResult{{}, problem} : DownloadFile(fetcher, settings.address, file, settings.limits, stop);
    const ParsedVersion own = ParseVersionNumber(settings.ownVersion);
    if (fetched.cancelled) {
        answer.outcome = UpdateAnswer::Outcome::Cancelled;
    } else if (fetched.ok()) {
        answer.publishedLine = std::string(VersionLine(fetched.body));
        const ParsedVersion published = ReadPublishedVersion(fetched.body);
        answer.outcome = published.ok() ? UpdateAnswer::Outcome::Answered : UpdateAnswer::Outcome::Unreadable;
        answer.reason = published.reason;
        if (published.ok()) {
            answer.comparison = CompareVersions(published.value, own.value);
        }
    } else {
        answer.reason = fetched.error;
        const std::filesystem::path kept =
            file.empty() ? settings.programFolder / PathFromUtf8(kVersionFileName) : file;
        if (const auto content = ReadKeptFile(kept, settings.limits.maxBytes)) {
            answer.publishedLine = std::string(VersionLine(*content));
        } else {
            answer.publishedLine = earlierLine;
        }
        const ParsedVersion earlier =
            answer.publishedLine ? ParseVersionNumber(*answer.publishedLine) : ParsedVersion{};
        if (answer.publishedLine && earlier.ok()) {
            answer.comparison = CompareVersions(earlier.value, own.value);
        }
    }
    return answer;
}

std::vector<std::string> UpdateMessages(const UpdateAnswer& answer) {
    std::vector<std::string> messages;
    const auto verdict = answer.comparison ? ComparisonMessage(*answer.comparison) : std::nullopt;
    switch (answer.outcome) {
    case UpdateAnswer::Outcome::Cancelled:
        return messages;
    case UpdateAnswer::Outcome::Unreadable:
        messages.push_back("The published version number could not be read: " + answer.reason + ".");
        break;
    case UpdateAnswer::Outcome::Failed:
        messages.push_back("The update check could not be completed: " + answer.reason + "." +
                           (verdict ? " The answer of an earlier check follows." : ""));
        break;
    case UpdateAnswer::Outcome::Answered:
        break;
    }
    if (verdict) {
        messages.emplace_back(*verdict);
    }
    return messages;
}

} // namespace quillon
