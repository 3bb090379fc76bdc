#include "Commands.h"

#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

constexpr std::string_view kUsage =
    "usage: quillon-cli validate [--db FILE] [--format text|csv|json] [IMEI ...]\n"
    "       quillon-cli generate [--db FILE] [--model TEXT | --custom PREFIX | --box CAPTION]\n"
    "                            [--count N] [--seed N] [--report DIR]\n";

std::filesystem::path ProgramDirectory(const char* argv0) {
    std::error_code error;
    auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || self.empty()) {
        self = std::filesystem::absolute(argv0, error);
    }
    return self.parent_path();
}

} // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    if (argc < 2) {
        std::cerr << kUsage;
        return quillon::cli::kExitUsage;
    }
    const std::string_view command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage;
        return quillon::cli::kExitOk;
    }
    quillon::cli::CommandContext context{std::vector<std::string>(argv + 2, argv + argc), ProgramDirectory(argv[0]),
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
