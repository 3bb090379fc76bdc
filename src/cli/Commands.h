#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace quillon::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitInvalid = 1;
inline constexpr int kExitUsage = 2;

struct CommandContext {
    std::vector<std::string> args;          // after the command name
    std::filesystem::path programDirectory; // where tacdex.csv lies by default
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
};

int RunValidateCommand(const CommandContext& context);
int RunGenerateCommand(const CommandContext& context);

} // namespace quillon::cli
