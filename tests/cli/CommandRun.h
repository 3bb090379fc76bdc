#pragma once

// A command run in-process: standard input from a string, its output and messages into strings,
// a settable clock, tacdex.csv of the build beside quillon-cli by default (the user's data folder
// is an empty one of the test program's own).
#include "Commands.h"
#include "support/UserData.h"

#include <filesystem>
#include <string>

namespace quillon::testing {

struct CommandRun {
    int status = -1;
    std::string out;
    std::string err;
};

// `programDirectory` is where tacdex.csv lies by default: beside quillon-cli unless given.
template <typename Options>
CommandRun Run(int (*command)(const Options&, const cli::CommandContext&), const Options& options,
               std::string input = {},
               const std::filesystem::path& programDirectory = std::filesystem::path(QUILLON_CLI_PATH).parent_path()) {
    cli::StringInput in(std::move(input));
    cli::StringOutput out, err;
    SettableClock clock;
    const int status = command(options, {programDirectory, in, out, err, clock});
    return {status, out.Text(), err.Text()};
}

} // namespace quillon::testing
