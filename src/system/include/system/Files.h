#pragma once

// Files by path, the same on every system: paths travel through the program as UTF-8 text and
// reach the file system as the system's own path type (wide on Windows, never through the ANSI
// code page).

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace quillon {

// The path named by UTF-8 text, every character kept.
std::filesystem::path PathFromUtf8(std::string_view utf8);
// The path as UTF-8 text for messages and output.
std::string PathToUtf8(const std::filesystem::path& path);

// The user's own data folder of the programs, where an imported tacdex.csv goes:
// $XDG_DATA_HOME/quillon (by default ~/.local/share/quillon) on Linux, Quillon in the folder that
// APPDATA names on Windows. Read from the environment at each call, so a test can point it
// elsewhere; empty when the environment names no such folder (nor a home folder).
std::filesystem::path UserDataDirectory();

// A hint that the `size` bytes at `start`, a large buffer about to be filled, are best served by
// large memory pages: far fewer page faults. Does nothing where the system takes no such hint.
void AdviseLargePages(void* start, std::size_t size);

// Removes the file in a single system call, as a signal handler may.
void RemoveFileInSignalHandler(const std::filesystem::path::value_type* path);

// fopen for a path of any characters; nullptr with errno set on failure.
std::FILE* OpenFile(const std::filesystem::path& path, const char* mode);

// A new file for writing and reading back ("w+b"), readable by its owner alone, made only where no
// file or link has the name: a scratch file of the run, never a file that is kept. nullptr with
// errno set on failure.
std::FILE* CreateScratchFile(const std::filesystem::path& path);

enum class RenameOutcome {
    Renamed, // `from` now has the name `to`
    Taken,   // `to` existed and was left as it was; `from` is unchanged
    Failed,  // another failure, in `error`
};

// Gives `from` the name `to` only if no file has that name, in one step: an existing `to` is
// never replaced, also when another process creates it at the same moment. Needs no hard links.
RenameOutcome RenameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to,
                                     std::error_code& error);

// Gives `from` the name `to` in one step, replacing a file of that name. False with `error` set on failure.
bool RenameReplacing(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& error);

// A hidden name in `folder` that no file has yet: `prefix`, random digits and ".tmp".
std::filesystem::path UniqueTemporaryPath(const std::filesystem::path& folder, std::string_view prefix);

// Whether a new file can be made in `folder`; permissions alone do not tell (an administrator
// ignores them, a read-only mount does not).
bool FolderTakesFiles(const std::filesystem::path& folder);

// The first `maxBytes` bytes of a file, or all of a shorter one; nothing when it cannot be opened.
std::optional<std::string> ReadFileStart(const std::filesystem::path& path, std::size_t maxBytes);

// Replaces the file at `path` with exactly `bytes`, or leaves it as it was: a FileWriter in Replace
// mode, a link at `path` followed. The system's error on failure (none when it gave no reason).
std::optional<std::error_code> WriteFileWhole(const std::filesystem::path& path, std::string_view bytes);

} // namespace quillon
