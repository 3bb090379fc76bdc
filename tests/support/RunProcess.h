#pragma once

#ifdef _WIN32
#include "support/RunProcessWindows.h"
#else

#include "support/TempDir.h"
#include "support/UserData.h"

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace quillon::testing {

struct ProcessResult {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string ShellQuote(const std::string& arg) {
    std::string quoted = "'";
    for (char c : arg) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// Runs a program with arguments (never interpreted by the shell) and optional standard input.
inline ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                                const std::string& input = {}) {
    TempDir dir;
    const auto in = dir.Write("stdin", input);
    std::string command = ShellQuote(program);
    for (const std::string& arg : args) {
        command += " " + ShellQuote(arg);
    }
    command += " <" + ShellQuote(in.string()) + " >" + ShellQuote((dir.path() / "stdout").string()) + " 2>" +
               ShellQuote((dir.path() / "stderr").string());
    const int raw = std::system(command.c_str());
    ProcessResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = ReadFile(dir.path() / "stdout");
    result.err = ReadFile(dir.path() / "stderr");
    return result;
}

} // namespace quillon::testing

#endif
