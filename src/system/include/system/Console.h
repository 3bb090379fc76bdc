#pragma once

// What a command-line program gets from the system at start: its arguments, its own folder and
// its standard streams.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// The arguments after the program name as UTF-8. On Windows they come from the wide command line,
// so characters outside the ANSI code page survive; elsewhere they are argv as given.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// The folder of the running executable itself (links resolved), where tacdex.csv lies beside it;
// the folder of argv[0] when the system cannot tell.
std::filesystem::path ExecutableDirectory(const char* argv0);

// Standard input, output and error pass bytes unchanged: no CR added before LF, no end at Ctrl+Z.
void UseBinaryStandardStreams();

// A reader that goes away (`quillon-cli validate | head -1`) fails the next write, which the
// program answers with a message, instead of ending it by a signal. Windows has no such signal.
void IgnoreBrokenPipes();

// Whether standard input is open at all: a closed one would read as empty, or as whatever file
// the next open takes its place with.
bool StandardInputIsOpen();

// Reads at most `size` bytes of standard input into `into`: how many, 0 at its end or on a failure
// (its errno value then in `error`). An interrupted read is tried again.
std::size_t ReadStandardInput(char* into, std::size_t size, int& error);

enum class StandardStream { Output, Error };
// Writes all of `bytes` to standard output or error: 0, or the errno value that stopped it.
int WriteStandardStream(StandardStream stream, std::string_view bytes);

} // namespace quillon
