#pragma once

// Why something could not be done, as data: what went wrong, with which file or folder, which
// limit and which error of the system. The core reports problems this way and never in words; the
// window and quillon-cli word them for their users.

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

namespace quillon {

enum class ProblemKind {
    // The device database; `path` is the file.
    DatabaseMissing,        // nothing at the path
    DatabaseSymlinkLoop,    // the path runs into a loop of symbolic links
    DatabaseNotSearchable,  // a folder on the path may not be searched
    DatabaseUnreachable,    // the path could not be looked at (`error`)
    DatabaseNotAFile,       // something other than a regular file
    DatabaseNotOpened,      // `error`
    DatabaseNotRead,        // `error`
    DatabaseTooLarge,       // more than `limit` bytes
    DatabaseTooLargeAsUtf8, // not UTF-8, and as Windows-1252 its text would pass `limit` bytes
    DatabaseTooManyLines,   // more than `limit` lines
    DatabaseEmpty,          // not a single line

    // A file written whole; `path` is the folder it goes into.
    FileNotCreated,     // no file could be made in the folder (`error`)
    FileNotWritten,     // the text could not be written (`error`; `subject`: the file, when it was to be replaced)
    FileNotNamed,       // the written file could not take its name (`error`; none: every free name was tried)
    FolderNotCreated,   // the folder `path` could not be made (`error`)
    NoFolderTakesFiles, // neither the program's folder nor `path` takes files (`path` empty: no second folder)
    NoDocumentsFolder,  // the system names no documents folder
    FileNotKept,        // the fetched file `path` could not be written (`error`; none: no reason known)

    // A file written by FileWriter or locked by FileLock; `path` is the file unless said otherwise.
    FileIsLink,       // a symbolic link, junction or other reparse point at `path`, not followed; `subject`: the
                      // file to be written when `path` is its folder, empty when `path` is the file itself
    LinkDangles,      // the link `path` names no file; `detail`: what it names
    FileNotReplaced,  // the finished file could not take the name of `path`, which is as it was (`error`)
    ReplacedFileKept, // the replace failed half-way and the old file could not be put back (`error`):
                      // `subject` is the old file's name now, `detail` the new file's
    LockNotCreated,   // the lock file `path` could not be made or opened (`error`)
    LockNotTaken,     // another holds the lock `path`: waited `limit` seconds (`error`: another failure)

    // A fetch of a web address; `detail` holds the address, the server's words or the library's.
    FetchNotWebAddress,     // `detail`: the address
    FetchNotStarted,        // the network library could not be started
    FetchNameNotFound,      // the server's name
    FetchProxyNameNotFound, // the proxy's name
    FetchNoConnection,
    FetchNotUnderstood, // the answer was not HTTP
    FetchIncomplete,    // the answer ended before its length
    FetchConnectionBroke,
    FetchTimedOut,        // no complete answer within `limit` milliseconds
    FetchTooLarge,        // a body of more than `limit` bytes
    FetchHeadersTooLarge, // more header lines than an answer needs
    FetchLengthNotANumber,
    FetchConflictingLengths,
    FetchTooManyRedirects, // more than `limit`
    FetchRedirectedAway,   // `detail`: where to, not a web address
    FetchStatus,           // `limit`: the status, `detail`: its words
    FetchFailed,           // `detail`: the library's words

    // A generation run's prefix that is not eight digits 0-9.
    CustomPrefixNotDigits, // `detail`: the first eight characters of the text (empty: no text)
    DevicePrefixNotDigits, // `subject`: the device entry, `detail`: its code in the database
};

struct Problem {
    explicit Problem(ProblemKind problemKind, std::filesystem::path problemPath = {}, std::uintmax_t problemLimit = 0,
                     std::error_code systemError = {}, std::string problemDetail = {}, std::string problemSubject = {})
        : kind(problemKind),
          path(std::move(problemPath)),
          limit(problemLimit),
          error(systemError),
          detail(std::move(problemDetail)),
          subject(std::move(problemSubject)) {}

    ProblemKind kind;
    std::filesystem::path path;
    std::uintmax_t limit = 0;
    std::error_code error;
    std::string detail;
    std::string subject;
};

// The system's words for an error ("No such file or directory"); "unknown error" for none.
std::string SystemErrorText(const std::error_code& error);
// The same for an errno value.
std::string SystemErrorText(int errnoValue);
// errno as an error code; an unset errno (0) stays no error.
std::error_code ErrnoCode(int errnoValue);

} // namespace quillon
