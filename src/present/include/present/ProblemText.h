#pragma once

// Problems in words, for the window and quillon-cli alike. A database problem or a prefix problem
// is a sentence ("The device database /x/tacdex.csv does not exist."); the others are clauses for a
// longer message ("cannot create a file in the folder "/x": Permission denied").

#include "system/Problem.h"

#include <filesystem>
#include <string>

namespace quillon {

std::string ProblemText(const Problem& problem);

// A folder in quotes with the system's own separators; "." for the empty path.
std::string DescribeFolder(const std::filesystem::path& folder);

} // namespace quillon
