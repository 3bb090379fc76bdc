#include "Commands.h"

#include "imei/Imei.h"

#include <algorithm>
#include <istream>
#include <optional>
#include <ostream>
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
    const std::string prefix = Prefix("complete");
    bool allCompleted = true;
    auto completeOne = [&](std::string_view input) {
        const Completion completion = CompletedImei(input);
        if (!completion.problem.empty()) {
            context.out.flush(); // keeps the two streams in input order on a terminal
            context.err << prefix << "'" << input << "' " << completion.problem << '\n';
            allCompleted = false;
            return;
        }
        context.out << completion.imei << '\n';
    };
    auto completeStandardInput = [&] {
        for (std::string line; std::getline(context.in, line);) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            completeOne(line);
            if (!context.out) {
                break;
            }
        }
    };

    if (options.inputs.empty()) {
        completeStandardInput();
    }
    for (const std::string& input : options.inputs) {
        if (!context.out) {
            break;
        }
        if (input == "-") {
            completeStandardInput(); // a second "-" finds it at its end
        } else {
            completeOne(input);
        }
    }
    context.out.flush();
    if (!context.out) {
        context.err << prefix << "cannot write to standard output\n";
        return kExitUsage;
    }
    if (context.in.bad()) {
        context.err << prefix << "cannot read standard input\n";
        return kExitUsage;
    }
    return allCompleted ? kExitOk : kExitInvalid;
}

} // namespace quillon::cli
