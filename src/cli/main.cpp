// quillon-cli: builds the command line, reads it and hands the chosen command the program's
// standard streams and clock.
#include "Commands.h"
#include "generation/Clock.h"
#include "generation/Report.h"
#include "system/Console.h"

#include <CLI/CLI.hpp>

#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <iterator>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quillon::cli {
namespace {

// The options of one command as the parser fills them; turned into the command's options after
// parsing, when it is known which were given.
struct GenerateFields {
    std::string db, model, custom, box, count, seed, report;
};

std::optional<std::string> IfGiven(const CLI::Option* option, std::string value) {
    if (option->count() == 0) {
        return std::nullopt;
    }
    return value;
}

constexpr const char* kEmptyValue = "the value may not be empty";

// Refuses an empty value: an option or file that is not wanted is left out.
const CLI::Validator NonEmpty([](std::string& value) { return value.empty() ? kEmptyValue : std::string(); }, "",
                              "NonEmpty");

// The names of every option of every command that takes a value ("--db", "-o").
std::vector<std::string> OptionsTakingValues(CLI::App& app) {
    std::vector<std::string> names;
    for (CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) {
        for (const CLI::Option* option : command->get_options()) {
            if (!option->get_positional() && option->get_type_size() > 0) {
                for (const std::string& name : option->get_lnames()) {
                    names.push_back("--" + name);
                }
                for (const std::string& name : option->get_snames()) {
                    names.push_back("-" + name);
                }
            }
        }
    }
    return names;
}

// An option given an empty value names nothing: `--db=` (which would otherwise take the next
// argument as its value) or `--db ""`. The option given so, or nothing. Checked before parsing,
// so that every option gives the same answer whatever else it checks.
std::optional<std::string> OptionWithEmptyValue(const std::vector<std::string>& args,
                                                const std::vector<std::string>& options) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            break;
        }
        if (arg.starts_with("--") && arg.size() > 3 && arg.find('=') == arg.size() - 1) {
            return arg.substr(0, arg.size() - 1);
        }
        if (i + 1 < args.size() && args[i + 1].empty() &&
            std::find(options.begin(), options.end(), arg) != options.end()) {
            return arg;
        }
    }
    return std::nullopt;
}

// Every usage error in the same two lines, whoever found it.
int ReportUsageError(OutputSink& err, const std::string& command, const std::string& message) {
    WriteMessage(err, command, message);
    err.Append("Run 'quillon-cli" + (command.empty() ? "" : " " + command) + " --help' for the options.\n");
    err.Flush();
    return kExitUsage;
}

} // namespace
} // namespace quillon::cli

int main(int argc, char** argv) {
    using namespace quillon::cli;
    quillon::UseBinaryStandardStreams();
    quillon::IgnoreBrokenPipes();
    std::ios::sync_with_stdio(false);

    CLI::App app{"Checks IMEI numbers, looks their devices up in the device database tacdex.csv, completes\n"
                 "IMEIs without their check digit, generates numbers that pass the Luhn check and builds\n"
                 "the database from device lists.",
                 "quillon-cli"};
    app.set_version_flag("--version", "quillon-cli " + std::string(quillon::kProgramVersionText),
                         "Print the version and exit");
    app.set_help_flag("-h,--help", "Print this help and exit");
    app.require_subcommand(0, 1); // none is refused below, after unknown words are
    app.footer("'quillon-cli COMMAND --help' describes a command. Exit status: 0 when all went well,\n"
               "1 when a number was not valid (validate) or could not be completed (complete), 2 on a usage,\n"
               "database, input or output error.");

    ValidateOptions validate;
    std::string format = "text";
    std::string validateDb;
    CLI::App* validateCommand = app.add_subcommand("validate", "Check IMEIs and name their devices");
    validateCommand->set_help_flag("-h,--help", "Print this help and exit");
    CLI::Option* validateDbOption =
        validateCommand
            ->add_option(
                "--db", validateDb,
                "Device database (default: the user's own tacdex.csv from import,\nelse the one beside the program)")
            ->type_name("FILE");
    validateCommand->add_option("--format", format, "text for reading (the default), csv or json for scripts")
        ->check(CLI::IsMember({"text", "csv", "json"}).description(""))
        ->type_name("FORMAT");
    validateCommand->add_option("IMEI", validate.inputs,
                                "Numbers to check; none or - reads one per line from standard input");

    GenerateFields generate;
    CLI::App* generateCommand = app.add_subcommand("generate", "Make random IMEIs that pass the Luhn check");
    generateCommand->set_help_flag("-h,--help", "Print this help and exit");
    CLI::Option* generateOptions[] = {
        generateCommand
            ->add_option(
                "--db", generate.db,
                "Device database (default: the user's own tacdex.csv from import,\nelse the one beside the program)")
            ->type_name("FILE"),
        generateCommand
            ->add_option("--model", generate.model,
                         "A catalogue entry (\"Apple iPhone 6X\") or a device of the database as\n"
                         "manufacturer and model (\"Nokia 3310\"), drawing among the codes of\n"
                         "all its lines")
            ->type_name("TEXT"),
        generateCommand->add_option("--custom", generate.custom, "An eight-digit Type Allocation Code to start from")
            ->type_name("PREFIX"),
        generateCommand
            ->add_option("--box", generate.box, "Start from the code of a reporting body, one of\n" + BoxCaptionList())
            ->type_name("CAPTION"),
        generateCommand->add_option("--count", generate.count, "How many valid numbers to print (default: 1)")
            ->type_name("N"),
        generateCommand->add_option("--seed", generate.seed, "Seed for a repeatable run (default: the clock)")
            ->type_name("N"),
        generateCommand
            ->add_option("--report", generate.report,
                         "Also write a report file into this folder; its path goes to\nstandard error")
            ->type_name("DIR"),
    };

    CompleteOptions complete;
    CLI::App* completeCommand =
        app.add_subcommand("complete", "Turn 14-digit IMEIs and 16-digit IMEISVs into 15-digit IMEIs");
    completeCommand->set_help_flag("-h,--help", "Print this help and exit");
    completeCommand->add_option("NUMBER", complete.inputs,
                                "Numbers to complete; none or - reads one per line from standard input");

    ImportOptions importOptions;
    std::string layout, codeColumn, manufacturerColumn, modelColumn, importDb, versionText, output;
    CLI::App* importCommand =
        app.add_subcommand("import", "Build the device database from GSMA, Osmocom or spreadsheet exports");
    importCommand->set_help_flag("-h,--help", "Print this help and exit");
    CLI::Option* layoutOption =
        importCommand
            ->add_option("--layout", layout, "gsma, osmocom, csv or tacdex (default: recognised from the\nheader row)")
            ->check(CLI::IsMember({"gsma", "osmocom", "csv", "tacdex"}).description(""))
            ->type_name("LAYOUT");
    CLI::Option* columnOptions[] = {
        importCommand->add_option("--code-column", codeColumn, "The header's name of the code column")
            ->type_name("NAME"),
        importCommand
            ->add_option("--manufacturer-column", manufacturerColumn, "The header's name of the manufacturer column")
            ->type_name("NAME"),
        importCommand->add_option("--model-column", modelColumn, "The header's name of the model column")
            ->type_name("NAME"),
    };
    importCommand->add_flag("--pad-codes", importOptions.settings.padCodes,
                            "Put back the leading zeros of codes of seven or fewer digits");
    CLI::Option* importDbOption = importCommand
                                      ->add_option("--db", importDb,
                                                   "The base the devices are added to (default: the database in use,\n"
                                                   "the user's own or else tacdex.csv beside the program)")
                                      ->type_name("FILE");
    importCommand->add_flag("--replace", importOptions.replace, "Write the imported devices alone, on no base")
        ->excludes(importDbOption);
    CLI::Option* versionOption =
        importCommand
            ->add_option("--version-text", versionText,
                         "The database version, 1 to 10 printable characters (default:\ntoday's date as YYYY-MM-DD)")
            ->type_name("TEXT");
    CLI::Option* outputOption =
        importCommand
            ->add_option("-o,--output", output,
                         "Where to write (- for standard output; default: tacdex.csv in\nthe user's data folder)")
            ->type_name("FILE");
    importCommand->add_option("FILE", importOptions.files, "Exports to read, in order; - reads standard input")
        ->required()
        ->check(NonEmpty);

    validateCommand->footer("In csv, a field that would begin with =, +, -, @, a tab or a carriage return gets a\n"
                            "leading ' so that a spreadsheet shows it as text. Input lines may be up to 128 MiB long.\n"
                            "Exit status: 0 when every number was valid, 1 when any was not, 2 on a usage,\n"
                            "database, input or output error.");
    generateCommand->footer("The numbers go to standard output, one per line. Exit status: 0, or 2 on a\n"
                            "usage, database, report or output error.");
    importCommand->footer("The summary goes to standard error. Exit status: 0 when the database was written,\n"
                          "rows skipped or not, 2 when nothing was written.");
    completeCommand->footer("Exit status: 0 when every number was completed, 1 when any was not (each\n"
                            "named on standard error), 2 on a usage, input or output error.");

    std::vector<std::string> args = quillon::CommandLineArguments(argc, argv);
    FdOutput out(STDOUT_FILENO);
    FdOutput err(STDERR_FILENO);
    if (const std::optional<std::string> option = OptionWithEmptyValue(args, OptionsTakingValues(app))) {
        const bool named =
            !args.empty() &&
            !app.get_subcommands([&args](const CLI::App* sub) { return sub->get_name() == args.front(); }).empty();
        const std::string command = named ? args.front() : std::string();
        return ReportUsageError(err, command, *option + ": " + kEmptyValue);
    }
    // CLI11 takes the arguments last first.
    std::reverse(args.begin(), args.end());
    try {
        app.parse(args);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help() << std::flush;
        return kExitOk;
    } catch (const CLI::CallForAllHelp&) {
        std::cout << app.help("", CLI::AppFormatMode::All) << std::flush;
        return kExitOk;
    } catch (const CLI::CallForVersion& version) {
        std::cout << version.what() << '\n' << std::flush;
        return kExitOk;
    } catch (const CLI::ParseError& error) {
        const std::vector<CLI::App*> chosen = app.get_subcommands();
        return ReportUsageError(err, chosen.empty() ? std::string() : chosen.front()->get_name(), error.what());
    }

    if (app.get_subcommands().empty()) {
        return ReportUsageError(err, "", "a command is needed: validate, generate, complete or import");
    }

    StandardInput in;
    quillon::SystemClock clock;
    const CommandContext context{quillon::ExecutableDirectory(argc > 0 ? argv[0] : nullptr), in, out, err, clock};
    const CLI::App* chosen = app.get_subcommands().front();
    const std::string command = chosen->get_name();
    try {
        if (chosen == validateCommand) {
            validate.db = IfGiven(validateDbOption, validateDb);
            validate.format = format == "csv" ? Format::Csv : format == "json" ? Format::Json : Format::Text;
            return RunValidateCommand(validate, context);
        }
        if (chosen == generateCommand) {
            GenerateOptions options;
            std::optional<std::string>* const slots[] = {&options.db,    &options.model, &options.custom, &options.box,
                                                         &options.count, &options.seed,  &options.report};
            const std::string* const values[] = {&generate.db,    &generate.model, &generate.custom, &generate.box,
                                                 &generate.count, &generate.seed,  &generate.report};
            for (std::size_t i = 0; i < std::size(slots); ++i) {
                *slots[i] = IfGiven(generateOptions[i], *values[i]);
            }
            return RunGenerateCommand(options, context);
        }
        if (chosen == importCommand) {
            if (layoutOption->count() > 0) {
                importOptions.settings.layout = layout == "gsma"      ? quillon::ImportLayout::Gsma
                                                : layout == "osmocom" ? quillon::ImportLayout::Osmocom
                                                : layout == "csv"     ? quillon::ImportLayout::Csv
                                                                      : quillon::ImportLayout::Tacdex;
            }
            importOptions.settings.codeColumn = IfGiven(columnOptions[0], codeColumn);
            importOptions.settings.manufacturerColumn = IfGiven(columnOptions[1], manufacturerColumn);
            importOptions.settings.modelColumn = IfGiven(columnOptions[2], modelColumn);
            importOptions.db = IfGiven(importDbOption, importDb);
            importOptions.versionText = IfGiven(versionOption, versionText);
            importOptions.output = IfGiven(outputOption, output);
            return RunImportCommand(importOptions, context);
        }
        return RunCompleteCommand(complete, context);
    } catch (const UsageError& error) {
        out.Flush();
        return ReportUsageError(err, command, error.what());
    } catch (const CommandError& error) {
        out.Flush();
        WriteMessage(err, command, error.what());
        return kExitUsage;
    } catch (const std::bad_alloc&) {
        // What was made before stays written; the rest cannot be.
        out.Flush();
        WriteMessage(err, command, "not enough memory to go on; the output ends here");
        return kExitUsage;
    }
}
