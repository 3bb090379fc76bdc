#include "Commands.h"

#include "imei/Imei.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

namespace quillon::cli {
namespace {

constexpr std::size_t kImeiWithoutCheckDigit = kImeiLength - 1; // 14
constexpr std::size_t kImeisvLength = kImeiLength + 1;          // 16: 14 digits and a 2-digit software version

// The 15-digit IMEI for a 14-digit IMEI or a 16-digit IMEISV (blanks and separators allowed, as
// validation allows them), or why there is none. X and * are refused: read as 0 they would
// complete a number nobody wrote.
struct Completion {
    std::string imei;
    std::string problem;
};
Completion CompletedImei(std::string_view input) {
    const std::string digits = NormaliseIMEI(input);
    if (input.find_first_of("Xx*") != std::string_view::npos ||
        (digits.size() != kImeiWithoutCheckDigit && digits.size() != kImeisvLength) ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return {{}, "is not a 14-digit IMEI or a 16-digit IMEISV"};
    }
    std::string imei = digits.substr(0, kImeiWithoutCheckDigit);
    const std::optional<int> check = LuhnCheckDigit(imei);
    if (!check) {
        return {{}, "cannot be completed: no check digit makes it valid"};
    }
    imei += static_cast<char>('0' + *check);
    return {imei, {}};
}

} // namespace

int RunCompleteCommand(const CompleteOptions& options, const CommandContext& context) {
    OutputSink& out = context.out;
    bool allCompleted = true;
    // A line of standard input has a line of output in any case, empty when it is refused, so that
    // scripts can pair them.
    auto completeOne = [&](std::string_view input, bool line) {
        const Completion completion = CompletedImei(input);
        if (!completion.problem.empty()) {
            out.Flush(); // keeps the two streams in input order on a terminal
            // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on "'" + std::string.
            std::string message(1, '\'');
            message.append(input).append("' ").append(completion.problem);
            WriteMessage(context.err, "complete", message);
            allCompleted = false;
        }
        if (completion.problem.empty() || line) {
            out.Append(completion.imei);
            out.Append('\n');
        }
    };
    auto completeStandardInput = [&] {
        context.in.ReadAsText();
        std::string_view line;
        // Each answer goes out before the next line is read, so that at a terminal it shows at once.
        for (out.Flush(); context.in.Next(line); out.Flush()) {
            if (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
            }
            completeOne(line, true);
            if (out.Failed()) {
                break;
            }
        }
    };

    if (options.inputs.empty()) {
        completeStandardInput();
    }
    for (const std::string& input : options.inputs) {
        if (out.Failed() || context.in.LineTooLong()) {
            break;
        }
        if (input == "-") {
            completeStandardInput(); // a second "-" finds it at its end
        } else {
            completeOne(input, false);
        }
    }
    out.Flush();
    if (out.Failed()) {
        WriteMessage(context.err, "complete", "cannot write to standard output: " + SystemErrorText(out.Error()));
        return kExitUsage;
    }
    if (ReportInputProblem(context.err, "complete", context.in)) {
        return kExitUsage;
    }
    return allCompleted ? kExitOk : kExitInvalid;
}

} // namespace quillon::cli
