#pragma once

#include "devicedb/DeviceTable.h"
#include "system/Problem.h"

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitInvalid = 1;
inline constexpr int kExitUsage = 2; // also database, input and output errors

// What every command gets besides its options.
struct CommandContext {
    std::filesystem::path programDirectory; // where tacdex.csv lies by default
    std::istream& in;
    std::ostream& out;
    std::ostream& err; // messages go here already prefixed by Prefix()
};

// "quillon-cli <command>: ", the start of every message a command prints.
std::string Prefix(const std::string& command);

// Thrown for anything the user has to fix on the command line; the program exits with 2 and
// points to the command's --help.
struct UsageError {
    std::string message;
};

// Anything else that stops a command before it starts (an unreadable database, a report folder
// that takes no files): the program exits with 2, without pointing to --help.
struct CommandError {
    std::string message;
};

enum class Format { Text, Csv, Json };

struct ValidateOptions {
    std::optional<std::string> db;
    Format format = Format::Text;
    std::vector<std::string> inputs; // "-" or none: the lines of standard input
};

struct GenerateOptions {
    std::optional<std::string> db;
    std::optional<std::string> model;
    std::optional<std::string> custom;
    std::optional<std::string> box;
    std::optional<std::string> count;
    std::optional<std::string> seed;
    std::optional<std::string> report;
};

struct CompleteOptions {
    std::vector<std::string> inputs; // "-" or none: the lines of standard input
};

// Why the database could not be used, naming it.
std::string DatabaseLoadProblemText(const Problem& problem);

// Each returns the exit status; usage errors are thrown as UsageError.
int RunValidateCommand(const ValidateOptions& options, const CommandContext& context);
int RunGenerateCommand(const GenerateOptions& options, const CommandContext& context);
int RunCompleteCommand(const CompleteOptions& options, const CommandContext& context);

} // namespace quillon::cli
