#include "present/ProblemText.h"

#include "system/Files.h"

#include <string>

namespace quillon {

namespace {

std::string KibibytesText(std::uintmax_t bytes) {
    return bytes % 1024 == 0 ? std::to_string(bytes / 1024) + " KiB" : std::to_string(bytes) + " bytes";
}

std::string TimeText(std::uintmax_t ms) {
    return ms % 1000 != 0 ? std::to_string(ms) + " ms"
                          : std::to_string(ms / 1000) + (ms == 1000 ? " second" : " seconds");
}

// UTF-8 text of a path in quotes, with the system's own separators.
std::string Quoted(const std::string& utf8Path) {
    return DescribeFolder(PathFromUtf8(utf8Path));
}

} // namespace

std::string MebibytesText(std::uintmax_t bytes) {
    constexpr std::uintmax_t kMebibyte = 1024 * 1024;
    return bytes % kMebibyte == 0 && bytes != 0 ? std::to_string(bytes / kMebibyte) + " MiB"
                                                : std::to_string(bytes) + " bytes";
}

std::string DescribeFolder(const std::filesystem::path& folder) {
    // With the system's own separators: a folder named with "/" on Windows is shown with "\".
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on "\"" + std::string.
    std::string text(1, '"');
    text += folder.empty() ? std::string(".") : PathToUtf8(std::filesystem::path(folder).make_preferred());
    text += '"';
    return text;
}

std::string ProblemText(const Problem& problem, PathQuoting quoting) {
    const std::string path = PathToUtf8(problem.path);
    const std::string database = "The device database " + (quoting == PathQuoting::Quoted ? '"' + path + '"' : path);
    const std::string folder = DescribeFolder(problem.path);
    const std::string reason = SystemErrorText(problem.error);
    switch (problem.kind) {
    case ProblemKind::DatabaseMissing:
        // quillon-cli's message has always gone on in lower case after its "quillon-cli <command>: ".
        return (quoting == PathQuoting::Quoted ? "t" : "T") + database.substr(1) + " does not exist.";
    case ProblemKind::DatabaseSymlinkLoop:
        return database + " cannot be reached: its path runs into a loop of symbolic links.";
    case ProblemKind::DatabaseNotSearchable:
        return database + " cannot be reached: a folder on its path may not be searched (permission denied).";
    case ProblemKind::DatabaseUnreachable:
        return database + " cannot be reached: " + reason + ".";
    case ProblemKind::DatabaseNotAFile:
        return database + " is not a regular file.";
    case ProblemKind::DatabaseNotOpened:
        return database + " could not be opened: " + reason + ".";
    case ProblemKind::DatabaseNotRead:
        return database + " could not be read: " + reason + ".";
    case ProblemKind::DatabaseTooLarge:
        return database + " is larger than " + MebibytesText(problem.limit) + " and was not read.";
    case ProblemKind::DatabaseTooLargeAsUtf8:
        return database + " is not UTF-8, and read as Windows-1252 its text would be larger than " +
               MebibytesText(problem.limit) + "; it was not read.";
    case ProblemKind::DatabaseTooManyLines:
        return database + " has more than " + std::to_string(problem.limit) +
               " lines and was not read: a database of that many lines is not supported.";
    case ProblemKind::DatabaseEmpty:
        return database + " is empty: it holds no line, not even the version line.";

    case ProblemKind::FileNotCreated:
        return "cannot create a file in the folder " + folder + ": " + reason;
    case ProblemKind::FileNotWritten:
        return problem.subject.empty() ? "cannot write the report into the folder " + folder + ": " + reason
                                       : "cannot write " + Quoted(problem.subject) + ": " + reason;
    case ProblemKind::FileNotNamed:
        return "cannot give the report its name in the folder " + folder + ": " +
               (problem.error ? reason : std::string("no free file name"));
    case ProblemKind::FolderNotCreated:
        return "cannot create the folder " + folder + ": " + reason;
    case ProblemKind::NoDocumentsFolder:
        return "the system names no documents folder";
    case ProblemKind::NoFolderTakesFiles:
        return problem.path.empty()
                   ? "update.dat cannot be written beside the program, and the system names no application data folder"
                   : "update.dat can be written neither beside the program nor in " + PathToUtf8(problem.path);
    case ProblemKind::FileNotKept:
        return PathToUtf8(problem.path.filename()) + " could not be written (" +
               (problem.error ? reason : std::string("the file could not be written")) + ")";
    case ProblemKind::FileIsLink:
        return problem.subject.empty()
                   ? "cannot write " + folder + ": it is a symbolic link; name the file it points to instead"
                   : "cannot write " + Quoted(problem.subject) + ": its folder " + folder +
                         " is a symbolic link; name the folder it points to instead";
    case ProblemKind::LinkDangles:
        return "cannot write " + folder + ": it is a symbolic link to " +
               (problem.detail.empty() ? std::string("a file") : Quoted(problem.detail)) + ", which does not exist";
    case ProblemKind::FileNotReplaced:
        return "cannot replace " + folder + ": " + reason + "; the file is as it was";
    case ProblemKind::ReplacedFileKept:
        return "cannot replace " + folder + ": " + reason + ", and the old file could not be put back: it is kept as " +
               Quoted(problem.subject) + ", the new one as " + Quoted(problem.detail);
    case ProblemKind::LockNotCreated:
        return "cannot create the lock file " + folder + ": " + reason;
    case ProblemKind::LockNotTaken:
        return problem.error ? "cannot lock " + folder + ": " + reason
                             : "another program holds the lock " + folder + "; waited " +
                                   TimeText(problem.limit * 1000) + " for it";

    case ProblemKind::FetchNotWebAddress:
        return "the address " + problem.detail + " is not a web address";
    case ProblemKind::FetchNotStarted:
        return "the network library could not be started";
    case ProblemKind::FetchNameNotFound:
        return "the server's name could not be found";
    case ProblemKind::FetchProxyNameNotFound:
        return "the proxy's name could not be found";
    case ProblemKind::FetchNoConnection:
        return "no connection to the server could be made";
    case ProblemKind::FetchNotUnderstood:
        return "the server's answer was not understood";
    case ProblemKind::FetchIncomplete:
        return "the answer arrived incomplete";
    case ProblemKind::FetchConnectionBroke:
        return "the connection broke before the whole answer arrived";
    case ProblemKind::FetchTimedOut:
        return "no complete answer within " + TimeText(problem.limit);
    case ProblemKind::FetchTooLarge:
        return "the answer is larger than " + KibibytesText(problem.limit);
    case ProblemKind::FetchHeadersTooLarge:
        return "the server's answer began with more header lines than an answer needs";
    case ProblemKind::FetchLengthNotANumber:
        return "the server gave a length for the answer that is not a number";
    case ProblemKind::FetchConflictingLengths:
        return "the server gave conflicting lengths for the answer";
    case ProblemKind::FetchTooManyRedirects:
        return "the server redirected more than " + std::to_string(problem.limit) + " times";
    case ProblemKind::FetchRedirectedAway:
        return "the server redirected to " + problem.detail + ", which is not a web address";
    case ProblemKind::FetchStatus:
        return "the server answered with status " + std::to_string(problem.limit) +
               (problem.detail.empty() ? std::string() : " (" + problem.detail + ")");
    case ProblemKind::FetchFailed:
        return "network error (" + problem.detail + ")";

    case ProblemKind::CustomPrefixNotDigits:
        return "\"Custom\" takes the first eight characters of the IMEI box as the Type Allocation Code, so they "
               "must be digits 0-9 (for example 49015420). " +
               (problem.detail.empty() ? std::string("The box is empty.")
                                       : "The box begins with \"" + problem.detail + "\".");
    case ProblemKind::DevicePrefixNotDigits:
        return "The device entry \"" + problem.subject +
               "\" cannot be used for generating: its Type Allocation Code in tacdex.csv, \"" + problem.detail +
               "\", is not eight digits 0-9.";
    }
    return "unknown problem";
}

std::string ReportNotWrittenText(const Problem& besideProgram, const Problem& inDocuments) {
    return "The report could not be written; the numbers of this run were not saved.\r\nBeside the program: " +
           ProblemText(besideProgram) + "\r\nIn the documents folder: " + ProblemText(inDocuments);
}

} // namespace quillon
