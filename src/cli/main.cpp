#include "Commands.h"
#include "system/Console.h"

#include <iostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr std::string_view kUsage =
    "usage: quillon-cli validate [--db FILE] [--format text|csv|json] [IMEI ...]\n"
    "       quillon-cli generate [--db FILE] [--model TEXT | --custom PREFIX | --box CAPTION]\n"
    "                            [--count N] [--seed N] [--report DIR]\n";

} // namespace

int main(int argc, char** argv) {
    quillon::UseBinaryStandardStreams();
    std::ios::sync_with_stdio(false);
    // UTF-8 arguments on every system (on Windows from the wide command line).
    std::vector<std::string> args = quillon::CommandLineArguments(argc, argv);
    if (args.empty()) {
        std::cerr << kUsage;
        return quillon::cli::kExitUsage;
    }
    const std::string command = args.front();
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage;
        return quillon::cli::kExitOk;
    }
    args.erase(args.begin());
    quillon::cli::CommandContext context{std::move(args), quillon::ExecutableDirectory(argc > 0 ? argv[0] : nullptr),
                                         std::cin, std::cout, std::cerr};
    if (command == "validate") {
        return quillon::cli::RunValidateCommand(context);
    }
    if (command == "generate") {
        return quillon::cli::RunGenerateCommand(context);
    }
    std::cerr << "quillon-cli: unknown command '" << command << "'\n" << kUsage;
    return quillon::cli::kExitUsage;
}
