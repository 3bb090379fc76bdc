#include "Commands.h"
#include "present/ProblemText.h"

#include "devicedb/DeviceTable.h"
#include "generation/Generation.h"
#include "generation/ModelCatalogue.h"
#include "generation/Report.h"
#include "imei/ReportingBody.h"
#include "system/Files.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace quillon::cli {

namespace {

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

struct GenerationPlan {
    CandidateRecipe recipe;
    std::string modelText; // as the report names it
    std::unique_ptr<DeviceTextCodes> deviceCodes;
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
            throw UsageError{"--box: unknown reporting body '" + *options.box + "'; they are " + BoxCaptionList()};
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
            throw UsageError{"--model Custom takes its prefix from --custom PREFIX"};
        }
        // An empty text names nothing: a model left out is --model left out, as with --box.
        if (text.empty()) {
            throw UsageError{"--model: '' names no model; give a catalogue entry or a device of the database as "
                             "manufacturer and model, or leave --model out"};
        }
        // The separator chooses no model, as in the window.
        if (text != kSeparatorEntry) {
            choice = ResolveModelChoice(text, 0, DeviceTable{});
            if (choice.kind != ModelChoiceKind::Catalogue) {
                // Only a device needs the database, so only then is a missing one an error.
                const std::filesystem::path path = DatabasePath(options.db, context.programDirectory);
                DeviceDatabase database(path);
                if (const std::optional<Problem> problem = database.Load()) {
                    // Not a usage error: the command line may be right and the file wrong.
                    throw CommandError{ProblemText(*problem, PathQuoting::Quoted)};
                }
                plan.deviceCodes = std::make_unique<DeviceTextCodes>(database.Table(), text);
                if (plan.deviceCodes->LinesShowingText() == 0) {
                    throw UsageError{"--model: '" + text +
                                     "' is neither a catalogue entry nor a device of the database " + QuotedPath(path)};
                }
                if (plan.deviceCodes->Codes().empty()) {
                    throw UsageError{ProblemText(*DevicePrefixProblem(text, plan.deviceCodes->FirstCode())) +
                                     " (database " + QuotedPath(path) + ")"};
                }
                choice = plan.deviceCodes->Choice();
            }
        }
    }

    const std::optional<CandidateRecipe> recipe = MakeCandidateRecipe(boxes, choice, imeiText);
    if (!recipe) {
        const std::optional<Problem> problem = ModelPrefixProblem(choice, plan.modelText, imeiText);
        throw UsageError{problem ? ProblemText(*problem) : std::string()};
    }
    plan.recipe = *recipe;
    return plan;
}

} // namespace

int RunGenerateCommand(const GenerateOptions& options, const CommandContext& context) {
    std::uint64_t count = 1;
    std::uint64_t seed = 0;
    std::optional<std::filesystem::path> reportFolder;
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
            throw UsageError{"--seed needs a whole number from 0 to 18446744073709551615, not '" + *options.seed + "'"};
        }
        seed = *parsed;
    } else {
        seed = context.clock.TimeOfDaySeed();
    }
    if (options.report) {
        std::error_code error;
        if (!std::filesystem::is_directory(PathFromUtf8(*options.report), error)) {
            throw UsageError{"--report needs an existing folder, not '" + *options.report + "'"};
        }
        reportFolder = PathFromUtf8(*options.report);
    }
    const GenerationPlan plan = PlanGeneration(options, context);

    std::optional<ReportWriter> report;
    if (reportFolder) {
        report.emplace(*reportFolder);
        if (const std::optional<Problem> problem = report->Open()) {
            throw CommandError{"--report: " + ProblemText(*problem)};
        }
    }

    SeededRandomSource random(seed);
    OutputSink& out = context.out;
    bool reportFailed = false;
    const auto start = context.clock.Now();
    GenerateValid(plan.recipe, count, random, [&](std::string_view number) {
        out.Append(number);
        out.Append('\n');
        reportFailed = report && !report->Append(number);
        return !out.Failed() && !reportFailed;
    });
    out.Flush();
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(context.clock.Now() - start).count();
    if (out.Failed()) {
        WriteMessage(context.err, "generate", "cannot write to standard output: " + SystemErrorText(out.Error()));
        return kExitUsage;
    }
    if (reportFailed) {
        WriteMessage(context.err, "generate",
                     "the report was not written: cannot write into the folder " + DescribeFolder(*reportFolder) +
                         ": " + SystemErrorText(report->Error()));
        return kExitUsage;
    }

    if (report) {
        const ReportWriteResult written =
            report->Finish(ReportHeader(kProgramVersionText, plan.modelText, SecondsText(elapsed)),
                           ReportFileName(context.clock.LocalNow()));
        if (!written.ok()) {
            WriteMessage(context.err, "generate", "the report was not written: " + ProblemText(*written.problem));
            return kExitUsage;
        }
        context.err.Append(PathToUtf8(written.path));
        context.err.Append('\n');
        context.err.Flush();
    }
    return kExitOk;
}

} // namespace quillon::cli
