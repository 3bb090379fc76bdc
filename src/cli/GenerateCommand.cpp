#include "Commands.h"

#include "devicedb/DeviceTable.h"
#include "generation/Generation.h"
#include "generation/ModelCatalogue.h"
#include "generation/Report.h"
#include "imei/ReportingBody.h"
#include "system/Files.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <system_error>

namespace quillon::cli {

namespace {

struct GenerateOptions {
    std::optional<std::string> db;
    std::optional<std::string> model;
    std::optional<std::string> custom;
    std::optional<std::string> box;
    std::optional<std::string> count;
    std::optional<std::string> seed;
    std::optional<std::string> report;
};

// Thrown for anything the user has to fix on the command line; the command exits with 2.
struct UsageError {
    std::string message;
};

std::optional<std::string>* OptionSlot(GenerateOptions& options, std::string_view name) {
    if (name == "--db") {
        return &options.db;
    }
    if (name == "--model") {
        return &options.model;
    }
    if (name == "--custom") {
        return &options.custom;
    }
    if (name == "--box") {
        return &options.box;
    }
    if (name == "--count") {
        return &options.count;
    }
    if (name == "--seed") {
        return &options.seed;
    }
    if (name == "--report") {
        return &options.report;
    }
    return nullptr;
}

// Accepts "--name value" and "--name=value".
GenerateOptions ParseOptions(const std::vector<std::string>& args) {
    GenerateOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        std::optional<std::string>* slot = arg.rfind("--", 0) == 0 ? OptionSlot(options, name) : nullptr;
        if (slot == nullptr) {
            throw UsageError{"unknown argument '" + arg + "'"};
        }
        if (slot->has_value()) {
            throw UsageError{name + " is given more than once"};
        }
        if (equals != std::string::npos) {
            *slot = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            *slot = args[++i];
        } else {
            throw UsageError{name + " needs a value"};
        }
    }
    return options;
}

std::optional<std::uint64_t> ParseWholeNumber(std::string_view text) {
    if (text.empty() || text.size() > 20) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    return value;
}

std::string BoxCaptionList() {
    std::string list;
    for (const GenerationBox& box : GenerationBoxOrder()) {
        list += list.empty() ? "" : ", ";
        list += box.caption;
    }
    return list;
}

// The device entry the window's model list shows as `text`: the first list position 26..n-2 whose
// line gives back that text.
std::optional<std::size_t> FindDeviceEntryPosition(const DeviceTable& table, std::string_view text) {
    const std::size_t lineCount = table.LineCount();
    for (std::size_t line = kFirstDeviceIndex; line + 2 <= lineCount; ++line) {
        if (DeviceEntryText(table.Line(line)) == text) {
            return line;
        }
    }
    return std::nullopt;
}

struct GenerationPlan {
    CandidateRecipe recipe;
    std::string modelText; // as the report names it
};

GenerationPlan PlanGeneration(const GenerateOptions& options, const CommandContext& context) {
    const int sources = (options.model ? 1 : 0) + (options.custom ? 1 : 0) + (options.box ? 1 : 0);
    if (sources > 1) {
        throw UsageError{"choose at most one of --model, --custom and --box"};
    }

    BoxStates boxes{};
    ModelChoice choice;
    std::string imeiText;
    GenerationPlan plan;

    if (options.box) {
        const std::optional<int> box = BoxNumberForCaption(*options.box);
        if (!box) {
            throw UsageError{"unknown box '" + *options.box + "'; the boxes are " + BoxCaptionList()};
        }
        boxes[static_cast<std::size_t>(*box - 1)] = true;
    }

    if (options.custom) {
        if (!IsEightDigitTac(*options.custom)) {
            throw UsageError{"--custom needs a prefix of exactly eight digits 0-9 (a Type Allocation Code such as "
                             "49015420), not '" +
                             *options.custom + "'"};
        }
        choice.kind = ModelChoiceKind::Custom;
        imeiText = *options.custom;
        plan.modelText = kCustomEntry;
    }

    if (options.model) {
        const std::string& text = *options.model;
        plan.modelText = text;
        if (text == kCustomEntry) {
            throw UsageError{"the model \"Custom\" takes its prefix from --custom PREFIX"};
        }
        // The empty entry and the separator choose no model, as in the window.
        if (!text.empty() && text != kSeparatorEntry) {
            choice = ResolveModelChoice(text, 0, DeviceTable{});
            if (choice.kind != ModelChoiceKind::Catalogue) {
                // Only a device entry needs the database, so only then is a missing one an error.
                DeviceDatabase database(options.db ? PathFromUtf8(*options.db)
                                                   : context.programDirectory / "tacdex.csv");
                const DatabaseReadResult read = database.Load();
                if (!read.ok()) {
                    throw UsageError{read.message.empty() ? "cannot read the database " + PathToUtf8(database.Path())
                                                          : read.message};
                }
                const std::optional<std::size_t> position = FindDeviceEntryPosition(database.Table(), text);
                if (position) {
                    choice = ResolveModelChoice(text, *position, database.Table());
                }
                if (choice.kind != ModelChoiceKind::Device) {
                    throw UsageError{"unknown model '" + text +
                                     "': it is neither a catalogue entry nor a device entry of " +
                                     PathToUtf8(database.Path())};
                }
                if (const std::string problem = ModelPrefixProblem(choice, text, imeiText); !problem.empty()) {
                    throw UsageError{problem};
                }
            }
        }
    }

    const std::optional<CandidateRecipe> recipe = MakeCandidateRecipe(boxes, choice, imeiText);
    if (!recipe) {
        throw UsageError{ModelPrefixProblem(choice, plan.modelText, imeiText)};
    }
    plan.recipe = *recipe;
    return plan;
}

} // namespace

int RunGenerateCommand(const CommandContext& context) {
    GenerationPlan plan;
    std::uint64_t count = 1;
    std::uint64_t seed = 0;
    std::optional<std::filesystem::path> reportFolder;
    try {
        const GenerateOptions options = ParseOptions(context.args);
        if (options.count) {
            const std::optional<std::uint64_t> parsed = ParseWholeNumber(*options.count);
            if (!parsed || *parsed < 1) {
                throw UsageError{"--count needs a whole number of 1 or more, not '" + *options.count + "'"};
            }
            count = *parsed;
        }
        if (options.seed) {
            const std::optional<std::uint64_t> parsed = ParseWholeNumber(*options.seed);
            if (!parsed) {
                throw UsageError{"--seed needs a whole number from 0 to 18446744073709551615, not '" + *options.seed +
                                 "'"};
            }
            seed = *parsed;
        } else {
            seed = TimeOfDaySeed();
        }
        if (options.report) {
            std::error_code error;
            if (!std::filesystem::is_directory(PathFromUtf8(*options.report), error)) {
                throw UsageError{"--report needs an existing folder, not '" + *options.report + "'"};
            }
            reportFolder = PathFromUtf8(*options.report);
        }
        plan = PlanGeneration(options, context);
    } catch (const UsageError& error) {
        context.err << "quillon-cli: " << error.message << '\n';
        return kExitUsage;
    }

    SeededRandomSource random(seed);
    std::string generatedList;
    bool outputFailed = false;
    const auto start = std::chrono::steady_clock::now();
    GenerateValid(plan.recipe, count, random, [&](std::string_view number) {
        context.out.write(number.data(), static_cast<std::streamsize>(number.size())).put('\n');
        if (reportFolder) {
            AppendToGeneratedList(generatedList, number);
        }
        outputFailed = !context.out;
        return !outputFailed;
    });
    context.out.flush();
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    if (outputFailed || !context.out) {
        context.err << "quillon-cli: cannot write to standard output\n";
        return kExitUsage;
    }

    if (reportFolder) {
        const std::string text = ReportText(kProgramVersionText, plan.modelText,
                                            SecondsText(static_cast<std::int64_t>(elapsed)), generatedList);
        const ReportWriteResult written = WriteReportFile(*reportFolder, ReportFileName(CurrentLocalDateTime()), text);
        if (!written.ok()) {
            context.err << "quillon-cli: the report was not written: " << written.error << '\n';
            return kExitUsage;
        }
        context.err << PathToUtf8(written.path) << '\n';
    }
    return kExitOk;
}

} // namespace quillon::cli
