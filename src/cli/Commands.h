#pragma once

// The commands of quillon-cli, each callable on its own: main.cpp fills the options from the
// command line and hands every command the program's standard streams and clock; tests hand
// them strings and a settable clock.

#include "CommandIo.h"
#include "CommandSupport.h"
#include "ValidationWriters.h"
#include "devicedb/DeviceImport.h"
#include "system/Clock.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quillon::cli {

// What every command gets besides its options. Commands read and write only through it.
struct CommandContext {
    std::filesystem::path programDirectory; // where tacdex.csv lies by default
    LineInput& in;
    OutputSink& out;
    OutputSink& err; // one line per message, written with WriteMessage
    Clock& clock;
};

struct ValidateOptions {
    std::optional<std::string> db;
    Format format = Format::Text;
    std::vector<std::string> inputs; // "-" or none: the lines of standard input
    // The header name of the column of standard input's table that holds the inputs.
    std::optional<std::string> column{};
};

// Each is set when its option was given; the {} lets tests name only those they give.
struct GenerateOptions {
    std::optional<std::string> db{};
    std::optional<std::string> model{};
    std::optional<std::string> custom{};
    std::optional<std::string> box{};
    std::optional<std::string> count{};
    std::optional<std::string> seed{};
    std::optional<std::string> report{};
};

struct CompleteOptions {
    std::vector<std::string> inputs; // "-" or none: the lines of standard input
};

// Each is set when its option was given.
struct ImportOptions {
    std::vector<std::string> files{}; // "-": standard input
    ImportSettings settings{};
    std::optional<std::string> db{}; // the base; none: the database in use now
    bool replace = false;            // no base: the imported devices alone
    std::optional<std::string> versionText{};
    std::optional<std::string> output{}; // "-": standard output; none: the user's own database
};

// Each returns the exit status; usage errors are thrown as UsageError, other errors that stop a
// command before it starts as CommandError.
int RunValidateCommand(const ValidateOptions& options, const CommandContext& context);
int RunGenerateCommand(const GenerateOptions& options, const CommandContext& context);
int RunCompleteCommand(const CompleteOptions& options, const CommandContext& context);
int RunImportCommand(const ImportOptions& options, const CommandContext& context);

} // namespace quillon::cli
