#pragma once

// Problems in words, for the window and quillon-cli alike. A database problem or a prefix problem
// is a sentence ("The device database /x/tacdex.csv does not exist."); the others are clauses for a
// longer message ("cannot create a file in the folder "/x": Permission denied").

#include "system/Problem.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace quillon {

// How a text names the database's path: as it is (the window's texts), or in double quotes
// (quillon-cli's messages, where a path with spaces or an empty one must show).
enum class PathQuoting { AsWritten, Quoted };
std::string ProblemText(const Problem& problem, PathQuoting quoting = PathQuoting::AsWritten);

// The window's message when a report could go neither beside the program nor into the documents
// folder, lines ended by CR LF.
std::string ReportNotWrittenText(const Problem& besideProgram, const Problem& inDocuments);

// "64 MiB", or a byte count where that is not whole mebibytes.
std::string MebibytesText(std::uintmax_t bytes);

// A folder in quotes with the system's own separators; "." for the empty path.
std::string DescribeFolder(const std::filesystem::path& folder);

} // namespace quillon
