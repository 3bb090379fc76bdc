#pragma once

// RunProcess for Windows: CreateProcessW with a command line quoted the way CommandLineToArgvW
// reads it back, standard streams through files, arguments passed as UTF-16.
#include "support/TempDir.h"
#include "support/UserData.h"

#include <windows.h>

#include <string>
#include <vector>

namespace quillon::testing {

struct ProcessResult {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::wstring WideFromUtf8(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

// One argument in double quotes; backslashes are doubled only where a quote follows them.
inline std::wstring QuoteArgument(const std::wstring& arg) {
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

inline HANDLE InheritableFile(const std::filesystem::path& path, bool write) {
    SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return ::CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ, &security,
                         write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

inline ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                                const std::string& input = {}) {
    TempDir dir;
    const auto inPath = dir.Write("stdin", input);
    const auto outPath = dir.path() / "stdout";
    const auto errPath = dir.path() / "stderr";
    std::wstring commandLine = QuoteArgument(WideFromUtf8(program));
    for (const std::string& arg : args) {
        commandLine += L" " + QuoteArgument(WideFromUtf8(arg));
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = InheritableFile(inPath, false);
    startup.hStdOutput = InheritableFile(outPath, true);
    startup.hStdError = InheritableFile(errPath, true);
    PROCESS_INFORMATION process{};
    const std::wstring application = WideFromUtf8(program);
    ProcessResult result;
    if (::CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                         &process)) {
        ::WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        if (::GetExitCodeProcess(process.hProcess, &code)) {
            result.status = static_cast<int>(code);
        }
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    ::CloseHandle(startup.hStdInput);
    ::CloseHandle(startup.hStdOutput);
    ::CloseHandle(startup.hStdError);
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    return result;
}

} // namespace quillon::testing
