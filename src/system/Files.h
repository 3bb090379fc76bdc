#pragma once

// Files by path, the same on every system: paths travel through the program as UTF-8 text and
// reach the file system as the system's own path type (wide on Windows, never through the ANSI
// code page).

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace quillon {

// The path named by UTF-8 text, every character kept.
std::filesystem::path PathFromUtf8(std::string_view utf8);
// The path as UTF-8 text for messages and output.
std::string PathToUtf8(const std::filesystem::path& path);

// fopen for a path of any characters; nullptr with errno set on failure.
std::FILE* OpenFile(const std::filesystem::path& path, const char* mode);

enum class RenameOutcome {
    Renamed, // `from` now has the name `to`
    Taken,   // `to` existed and was left as it was; `from` is unchanged
    Failed,  // another failure, in `error`
};

// Gives `from` the name `to` only if no file has that name, in one step: an existing `to` is
// never replaced, also when another process creates it at the same moment. Needs no hard links.
RenameOutcome RenameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to,
                                     std::error_code& error);

} // namespace quillon
