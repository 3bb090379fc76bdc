#pragma once

// What the commands share: exit statuses, errors, message wording.

#include "CommandIo.h"
#include "system/Problem.h"

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quillon::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitInvalid = 1;
inline constexpr int kExitUsage = 2; // also database, input and output errors

// Thrown for anything the user has to fix on the command line; the program exits with 2 and
// points to the command's --help.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Anything else that stops a command before it starts (an unreadable database, a report folder
// that takes no files): the program exits with 2, without pointing to --help.
class CommandError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "quillon-cli <command>: ", the start of every message a command prints; "quillon-cli: " for none.
std::string Prefix(std::string_view command);

// The text fit to show on one line of a terminal: LF, CR and tab as \n, \r and \t; every other
// byte of a control character (C0, DEL, C1) and every byte that is not well-formed UTF-8 as \xHH;
// the characters that reorder a line or break it (U+200E, U+200F, U+202A to U+202E, U+2066 to
// U+2069, U+2028 and U+2029) as \u{202E}. Everything else, a backslash too, stays as it is.
std::string EscapeForMessage(std::string_view text);

// Writes one message: the prefix, the text (escaped, so that it stays one line and cannot steer
// the terminal) and a line end; flushed at once.
void WriteMessage(OutputSink& err, std::string_view command, std::string_view text);

// Writes why standard input was not read to its end, if it was not: a read error, or a line
// longer than the limit (named by its number). Whether it wrote a message.
bool ReportInputProblem(OutputSink& err, std::string_view command, const LineInput& in);

// A path as messages name it: in double quotes, so that spaces and an empty path show.
std::string QuotedPath(const std::filesystem::path& path);

// The database a command reads: --db when given, else the user's own tacdex.csv when there is one
// (written by import), else tacdex.csv beside the program.
std::filesystem::path DatabasePath(const std::optional<std::string>& db, const std::filesystem::path& programDirectory);

// The reporting-body box captions in the order generation tries them: "PTCRB, DGPT, ...".
std::string BoxCaptionList();

} // namespace quillon::cli
