#include "update/UpdateCheck.h"

#include "system/Files.h"

#include <charconv>

namespace quillon {

namespace {

ParsedVersion Refuse(VersionParseError error, std::string reason) {
    return ParsedVersion{error, 0, std::move(reason)};
}

// Where update.dat goes; empty, with `problem` set, where no folder takes it.
std::filesystem::path VersionFilePath(const UpdateCheckSettings& settings, std::string& problem) {
    if (FolderTakesFiles(settings.programFolder)) {
        return settings.programFolder / PathFromUtf8(kVersionFileName);
    }
    std::error_code error;
    std::filesystem::create_directories(settings.dataFolder, error);
    if (settings.dataFolder.empty()) {
        problem = "update.dat cannot be written beside the program, and the system names no application data folder";
    } else if (!FolderTakesFiles(settings.dataFolder)) {
        problem = "update.dat can be written neither beside the program nor in " + PathToUtf8(settings.dataFolder);
    } else {
        return settings.dataFolder / PathFromUtf8(kVersionFileName);
    }
    return {};
}

} // namespace

std::string_view FirstLine(std::string_view content) {
    return content.substr(0, content.find_first_of("\r\n"));
}

std::string_view VersionLine(std::string_view fileContent) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    return FirstLine(fileContent.starts_with(kByteOrderMark) ? fileContent.substr(kByteOrderMark.size()) : fileContent);
}

ParsedVersion ParseVersionNumber(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return Refuse(VersionParseError::Empty, "its first line is empty");
    }
    const std::string_view number = text.substr(first, text.find_last_not_of(" \t") + 1 - first);
    // from_chars takes a minus sign but no plus sign.
    const bool plus = number.starts_with('+');
    const std::string_view parsed = number.substr(plus ? 1 : 0);
    const std::string_view digits = parsed.substr(!plus && parsed.starts_with('-') ? 1 : 0);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return Refuse(VersionParseError::NotANumber, "its first line is not a whole number");
    }
    ParsedVersion result;
    if (std::from_chars(parsed.data(), parsed.data() + parsed.size(), result.value).ec != std::errc()) {
        return Refuse(VersionParseError::OutOfRange, "the number on its first line is too large");
    }
    return result;
}

ParsedVersion ReadPublishedVersion(std::string_view fileContent) {
    return fileContent.empty() ? Refuse(VersionParseError::Empty, "the version file is empty")
                               : ParseVersionNumber(VersionLine(fileContent));
}

VersionComparison CompareVersions(std::int64_t published, std::int64_t own) {
    return published > own ? VersionComparison::Newer
                           : (published == own ? VersionComparison::Same : VersionComparison::Older);
}

std::optional<std::string_view> ComparisonMessage(VersionComparison comparison) {
    if (comparison == VersionComparison::Older) {
        return std::nullopt;
    }
    return comparison == VersionComparison::Newer ? kUpdateAvailableMessage : kLatestVersionMessage;
}

FetchResult DownloadFile(Fetcher& fetcher, const std::string& sSourceUrl, const std::filesystem::path& sLocalFile,
                         const FetchLimits& limits, const std::atomic<bool>& stop) {
    FetchResult result = fetcher.Get(sSourceUrl, limits, stop);
    if (stop.load()) {
        return FetchResult{{}, {}, true};
    }
    if (const std::string error = result.ok() ? WriteFileWhole(sLocalFile, result.body) : ""; !error.empty()) {
        result.error = PathToUtf8(sLocalFile.filename()) + " could not be written (" + error + ")";
    }
    return result;
}

UpdateAnswer CheckForUpdate(Fetcher& fetcher, const UpdateCheckSettings& settings,
                            const std::optional<std::string>& earlierLine, const std::atomic<bool>& stop) {
    UpdateAnswer answer;
    const std::filesystem::path file = VersionFilePath(settings, answer.reason);
    const FetchResult fetched = file.empty() ? FetchResult{{}, answer.reason}
                                             : DownloadFile(fetcher, settings.address, file, settings.limits, stop);
    ParsedVersion published;
    if (fetched.cancelled) {
        answer.outcome = UpdateAnswer::Outcome::Cancelled;
        return answer;
    }
    if (fetched.ok()) {
        answer.publishedLine = std::string(VersionLine(fetched.body));
        published = ReadPublishedVersion(fetched.body);
        answer.outcome = published.ok() ? UpdateAnswer::Outcome::Answered : UpdateAnswer::Outcome::Unreadable;
        answer.reason = published.reason;
    } else {
        answer.reason = fetched.error;
        const auto kept = ReadFileStart(file.empty() ? settings.programFolder / PathFromUtf8(kVersionFileName) : file,
                                        settings.limits.maxBytes);
        answer.publishedLine = kept ? std::optional(std::string(VersionLine(*kept))) : earlierLine;
        published =
            answer.publishedLine ? ParseVersionNumber(*answer.publishedLine) : Refuse(VersionParseError::Empty, {});
    }
    if (published.ok()) {
        answer.comparison = CompareVersions(published.value, ParseVersionNumber(settings.ownVersion).value);
    }
    return answer;
}

std::vector<std::string> UpdateMessages(const UpdateAnswer& answer) {
    std::vector<std::string> messages;
    const auto verdict = answer.comparison ? ComparisonMessage(*answer.comparison) : std::nullopt;
    if (answer.outcome == UpdateAnswer::Outcome::Unreadable) {
        messages.push_back("The published version number could not be read: " + answer.reason + ".");
    } else if (answer.outcome == UpdateAnswer::Outcome::Failed) {
        messages.push_back("The update check could not be completed: " + answer.reason + "." +
                           (verdict ? " The answer of an earlier check follows." : ""));
    }
    if (verdict && answer.outcome != UpdateAnswer::Outcome::Cancelled) {
        messages.emplace_back(*verdict);
    }
    return messages;
}

} // namespace quillon
