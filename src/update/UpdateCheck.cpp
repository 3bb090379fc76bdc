#include "update/UpdateCheck.h"

#include "system/Files.h"

#include <charconv>

namespace quillon {

namespace {

ParsedVersion Refuse(VersionParseError error) {
    return ParsedVersion{error, 0};
}

// Where update.dat goes; empty, with `problem` set, where no folder takes it.
std::filesystem::path VersionFilePath(const UpdateCheckSettings& settings, std::optional<Problem>& problem) {
    if (FolderTakesFiles(settings.programFolder)) {
        return settings.programFolder / PathFromUtf8(kVersionFileName);
    }
    std::error_code error;
    std::filesystem::create_directories(settings.dataFolder, error);
    if (settings.dataFolder.empty() || !FolderTakesFiles(settings.dataFolder)) {
        problem = Problem{ProblemKind::NoFolderTakesFiles, settings.dataFolder, 0, {}, {}};
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
        return Refuse(VersionParseError::EmptyLine);
    }
    const std::string_view number = text.substr(first, text.find_last_not_of(" \t") + 1 - first);
    // from_chars takes a minus sign but no plus sign.
    const bool plus = number.starts_with('+');
    const std::string_view parsed = number.substr(plus ? 1 : 0);
    const std::string_view digits = parsed.substr(!plus && parsed.starts_with('-') ? 1 : 0);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return Refuse(VersionParseError::NotANumber);
    }
    ParsedVersion result;
    if (std::from_chars(parsed.data(), parsed.data() + parsed.size(), result.value).ec != std::errc()) {
        return Refuse(VersionParseError::OutOfRange);
    }
    return result;
}

ParsedVersion ReadPublishedVersion(std::string_view fileContent) {
    return fileContent.empty() ? Refuse(VersionParseError::EmptyFile) : ParseVersionNumber(VersionLine(fileContent));
}

VersionComparison CompareVersions(std::int64_t published, std::int64_t own) {
    return published > own ? VersionComparison::Newer
                           : (published == own ? VersionComparison::Same : VersionComparison::Older);
}

FetchResult DownloadFile(Fetcher& fetcher, const std::string& sSourceUrl, const std::filesystem::path& sLocalFile,
                         const FetchLimits& limits, const std::atomic<bool>& stop) {
    FetchResult result = fetcher.Get(sSourceUrl, limits, stop);
    if (stop.load()) {
        return FetchResult{{}, {}, true};
    }
    if (const auto error = result.ok() ? WriteFileWhole(sLocalFile, result.body) : std::nullopt) {
        result.problem = Problem{ProblemKind::FileNotKept, sLocalFile, 0, *error, {}};
    }
    return result;
}

UpdateAnswer CheckForUpdate(Fetcher& fetcher, const UpdateCheckSettings& settings,
                            const std::optional<std::string>& earlierLine, const std::atomic<bool>& stop) {
    UpdateAnswer answer;
    const std::filesystem::path file = VersionFilePath(settings, answer.problem);
    const FetchResult fetched = file.empty() ? FetchResult{{}, answer.problem}
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
        answer.parseError = published.error;
    } else {
        answer.problem = fetched.problem;
        const auto kept = ReadFileStart(file.empty() ? settings.programFolder / PathFromUtf8(kVersionFileName) : file,
                                        settings.limits.maxBytes);
        answer.publishedLine = kept ? std::optional(std::string(VersionLine(*kept))) : earlierLine;
        published =
            answer.publishedLine ? ParseVersionNumber(*answer.publishedLine) : Refuse(VersionParseError::EmptyFile);
    }
    if (published.ok()) {
        answer.comparison = CompareVersions(published.value, ParseVersionNumber(settings.ownVersion).value);
    }
    return answer;
}

} // namespace quillon
