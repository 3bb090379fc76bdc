#pragma once

// Where the programs find tacdex.csv: the user's own file (written by quillon-cli import) when
// there is one, else the file beside the program, as XDG orders a user's data before the system's.

#include <filesystem>

namespace quillon {

// tacdex.csv in the user's data folder (system/Files.h, UserDataDirectory); empty when the system
// names no such folder.
std::filesystem::path UserDatabasePath();

// Whether anything stands at `path`, usable or not: an empty, unreadable or unreachable file is
// there (and to be refused with its reason), only a name that nothing has is not.
bool DatabaseFilePresent(const std::filesystem::path& path);

// The file a program reads when none is named: the user's database when present, else tacdex.csv
// in `programDirectory`.
std::filesystem::path DefaultDatabasePath(const std::filesystem::path& programDirectory);

} // namespace quillon
