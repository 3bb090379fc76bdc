// quillon-cli: builds the command line, reads it and hands the chosen command the program's
// standard streams and clock.
#include "Commands.h"
#include "generation/Report.h"
#include "system/Clock.h"
#include "system/Console.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quillon::cli {
namespace {

// One of a fixed set of names, turned into its value: the names in the message when another is given.
template <typename Value> CLI::Validator Named(std::vector<std::pair<std::string, Value>> names) {
    return CLI::Validator(
        [names](std::string& value) {
            std::string list;
            for (const auto& [name, named] : names) {
                if (name == value) {
                    value = std::to_string(static_cast<int>(named));
                    return std::string();
                }
                list += (list.empty() ? "" : ",") + name;
            }
            return value + " not in {" + list + "}";
        },
        "");
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
    using quillon::ImportLayout;
    using quillon::ImportSettings;
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

    constexpr const char* kDatabaseHelp =
        "Device database (default: the user's own tacdex.csv from import,\nelse the one beside the program)";
    ValidateOptions validate;
    CLI::App* validateCommand = app.add_subcommand("validate", "Check IMEIs and name their devices");
    validateCommand->set_help_flag("-h,--help", "Print this help and exit");
    validateCommand->add_option("--db", validate.db, kDatabaseHelp)->type_name("FILE");
    validateCommand->add_option("--format", validate.format, "text for reading (the default), csv or json for scripts")
        ->transform(Named<Format>({{"text", Format::Text}, {"csv", Format::Csv}, {"json", Format::Json}}))
        ->type_name("FORMAT");
    validateCommand
        ->add_option(
            "--column", validate.column,
            "Read the IMEIs from column NAME of a table with a header row on\nstandard input, not one per line")
        ->type_name("NAME");
    validateCommand->add_option("IMEI", validate.inputs,
                                "Numbers to check; none or - reads one per line from standard input");

    GenerateOptions generate;
    CLI::App* generateCommand = app.add_subcommand("generate", "Make random IMEIs that pass the Luhn check");
    generateCommand->set_help_flag("-h,--help", "Print this help and exit");
    generateCommand->add_option("--db", generate.db, kDatabaseHelp)->type_name("FILE");
    generateCommand
        ->add_option("--model", generate.model,
                     "A catalogue entry (\"Apple iPhone 6X\") or a device of the database as\n"
                     "manufacturer and model (\"Nokia 3310\"), drawing among the codes of\n"
                     "all its lines")
        ->type_name("TEXT");
    generateCommand->add_option("--custom", generate.custom, "An eight-digit Type Allocation Code to start from")
        ->type_name("PREFIX");
    generateCommand
        ->add_option("--box", generate.box, "Start from the code of a reporting body, one of\n" + BoxCaptionList())
        ->type_name("CAPTION");
    generateCommand->add_option("--count", generate.count, "How many valid numbers to print (default: 1)")
        ->type_name("N");
    generateCommand->add_option("--seed", generate.seed, "Seed for a repeatable run (default: the clock)")
        ->type_name("N");
    generateCommand
        ->add_option("--report", generate.report,
                     "Also write a report file into this folder; its path goes to\nstandard error")
        ->type_name("DIR");

    CompleteOptions complete;
    CLI::App* completeCommand =
        app.add_subcommand("complete", "Turn 14-digit IMEIs and 16-digit IMEISVs into 15-digit IMEIs");
    completeCommand->set_help_flag("-h,--help", "Print this help and exit");
    completeCommand->add_option("NUMBER", complete.inputs,
                                "Numbers to complete; none or - reads one per line from standard input");

    ImportOptions importOptions;
    ImportSettings& settings = importOptions.settings;
    CLI::App* importCommand =
        app.add_subcommand("import", "Build the device database from GSMA, Osmocom or spreadsheet exports");
    importCommand->set_help_flag("-h,--help", "Print this help and exit");
    importCommand
        ->add_option("--layout", settings.layout,
                     "gsma, osmocom, csv or tacdex (default: recognised from the\nheader row)")
        ->transform(Named<ImportLayout>({{"gsma", ImportLayout::Gsma},
                                         {"osmocom", ImportLayout::Osmocom},
                                         {"csv", ImportLayout::Csv},
                                         {"tacdex", ImportLayout::Tacdex}}))
        ->type_name("LAYOUT");
    importCommand->add_option("--code-column", settings.codeColumn, "The header's name of the code column")
        ->type_name("NAME");
    importCommand
        ->add_option("--manufacturer-column", settings.manufacturerColumn,
                     "The header's name of the manufacturer column")
        ->type_name("NAME");
    importCommand->add_option("--model-column", settings.modelColumn, "The header's name of the model column")
        ->type_name("NAME");
    importCommand->add_flag("--pad-codes", settings.padCodes,
                            "Put back the leading zeros of codes of seven or fewer digits");
    importCommand->add_flag("--long-rows", settings.longRows,
                            "Let through CSV rows whose quoted cells take in more than 10 lines");
    CLI::Option* importDbOption = importCommand
                                      ->add_option("--db", importOptions.db,
                                                   "The base the devices are added to (default: the database in use,\n"
                                                   "the user's own or else tacdex.csv beside the program)")
                                      ->type_name("FILE");
    importCommand->add_flag("--replace", importOptions.replace, "Write the imported devices alone, on no base")
        ->excludes(importDbOption);
    importCommand
        ->add_option("--version-text", importOptions.versionText,
                     "The database version, 1 to 10 printable characters (default:\ntoday's date as YYYY-MM-DD)")
        ->type_name("TEXT");
    importCommand
        ->add_option("-o,--output", importOptions.output,
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
    StandardOutput out(quillon::StandardStream::Output);
    StandardOutput err(quillon::StandardStream::Error);
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
            return RunValidateCommand(validate, context);
        }
        if (chosen == generateCommand) {
            return RunGenerateCommand(generate, context);
        }
        if (chosen == importCommand) {
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
