#pragma once

// Problems in words, for the window and quillon-cli alike: one sentence or clause each, naming
// the file, folder or limit concerned.

#include "system/Problem.h"

#include <filesystem>
#include <string>

namespace quillon {

// A database problem as a sentence: "The device database /x/tacdex.csv does not exist."
std::string DatabaseProblemText(const Problem& problem);
// A problem with a file written whole or a fetch, as a clause for a longer message:
// "cannot create a file in the folder "/x": Permission denied".
std::string FileProblemText(const Problem& problem);
// Why a fetch or the update check failed, as a clause: "no connection to the server could be made".
std::string FetchProblemText(const Problem& problem);

// A folder in quotes with the system's own separators; "." for the empty path.
std::string DescribeFolder(const std::filesystem::path& folder);

} // namespace quillon
