#include "Commands.h"
#include "present/ListText.h"
#include "present/ProblemText.h"

#include "devicedb/DeviceTable.h"
#include "validation/ImeiList.h"
#include "validation/Validation.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::cli {

// Validates the inputs, where "-" (or no input at all) stands for each line of standard input.
// Exit status 0 when every input was valid, 1 when any was not, 2 when the database could not be
// read, the input not read or the output not written (with the reason on standard error).
int RunValidateCommand(const ValidateOptions& options, const CommandContext& context) {
    if (options.column && !options.inputs.empty()) {
        throw UsageError("--column reads the IMEIs from standard input: give no IMEI arguments with it");
    }
    const std::filesystem::path database = DatabasePath(options.db, context.programDirectory);
    DeviceDatabase db(database);
    if (const std::optional<Problem> problem = db.Load()) {
        WriteMessage(context.err, "validate", ProblemText(*problem, PathQuoting::Quoted));
        return kExitUsage;
    }
    const DeviceTable& table = db.Table();
    const std::vector<std::string>& inputs = options.inputs;
    const bool readsStandardInput = inputs.empty() || std::find(inputs.begin(), inputs.end(), "-") != inputs.end();
    // A closed standard input would otherwise read as empty, or as whatever file took its place.
    if (readsStandardInput && !context.in.IsOpen()) {
        WriteMessage(context.err, "validate", "cannot read standard input: it is closed");
        return kExitUsage;
    }
    OutputSink& out = context.out;
    ValidationWriter writer(options.format, out);
    ValidationResult result;
    bool allValid = true;
    auto validateOne = [&](std::string_view input) {
        RunValidationInto(input, table, BoxStates{}, result);
        allValid = writer.Write(input, result) && allValid;
    };

    auto validateStandardInput = [&] {
        context.in.ReadAsText();
        std::string_view line;
        while (!out.Failed() && context.in.Next(line)) {
            if (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
            }
            // With a large database the lookup waits on memory: the next line's code (when it is
            // plain digits) starts on its way while this line is worked on.
            table.PrefetchKey(context.in.Peek(8));
            validateOne(line);
        }
    };
    if (options.column) {
        const ListRead read = ReadList(context.in, ListColumn{.name = *options.column}, [&](const ListInput& input) {
            validateOne(input.text);
            return !out.Failed();
        });
        out.Flush();
        if (out.Failed()) {
            WriteMessage(context.err, "validate", "cannot write to standard output: " + SystemErrorText(out.Error()));
            return kExitUsage;
        }
        if (const std::string problem = ListReadText(read, *options.column); !problem.empty()) {
            WriteMessage(context.err, "validate", "standard input " + problem);
            return kExitUsage;
        }
        return allValid ? kExitOk : kExitInvalid;
    }
    if (inputs.empty()) {
        validateStandardInput();
    }
    bool standardInputRead = false;
    for (const std::string& input : inputs) {
        if (out.Failed() || context.in.Error() != 0 || context.in.LineTooLong()) {
            break;
        }
        if (input != "-") {
            validateOne(input);
        } else if (!standardInputRead) { // a second "-" finds it at its end
            validateStandardInput();
            standardInputRead = true;
        }
    }
    out.Flush();
    if (out.Failed()) {
        WriteMessage(context.err, "validate", "cannot write to standard output: " + SystemErrorText(out.Error()));
        return kExitUsage;
    }
    if (ReportInputProblem(context.err, "validate", context.in)) {
        return kExitUsage;
    }
    return allValid ? kExitOk : kExitInvalid;
}

} // namespace quillon::cli
