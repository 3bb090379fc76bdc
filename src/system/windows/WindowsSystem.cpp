// Windows: wide command line, wide paths, binary standard streams, no-clobber rename.
#include "system/Console.h"
#include "system/Files.h"

#include <windows.h>
// After windows.h, which they need:
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>

namespace quillon {

namespace {

std::string WideToUtf8(const wchar_t* text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) {
        return {};
    }
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.pop_back(); // the terminating zero
    return out;
}

struct LocalFreer {
    void operator()(wchar_t** block) const { ::LocalFree(block); }
};

} // namespace

std::FILE* OpenFile(const std::filesystem::path& path, const char* mode) {
    std::wstring wideMode;
    for (const char* c = mode; *c != '\0'; ++c) {
        wideMode += static_cast<wchar_t>(*c);
    }
    return ::_wfopen(path.c_str(), wideMode.c_str());
}

std::FILE* CreateScratchFile(const std::filesystem::path& path) {
    const int file =
        ::_wopen(path.c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    if (file < 0) {
        return nullptr;
    }
    std::FILE* stream = ::_fdopen(file, "w+b");
    if (stream == nullptr) {
        const int reason = errno;
        ::_close(file);
        ::_wunlink(path.c_str());
        errno = reason;
    }
    return stream;
}

void AdviseLargePages(void*, std::size_t) {}

std::filesystem::path UserDataDirectory() {
    // From the environment, not the shell's folder functions: quillon-cli.exe links nothing more,
    // and a test can name another folder.
    const DWORD size = ::GetEnvironmentVariableW(L"APPDATA", nullptr, 0);
    if (size <= 1) {
        return {};
    }
    std::wstring folder(size, L'\0');
    const DWORD length = ::GetEnvironmentVariableW(L"APPDATA", folder.data(), size);
    if (length == 0 || length >= size) {
        return {};
    }
    folder.resize(length);
    return std::filesystem::path(folder) / L"Quillon";
}

RenameOutcome RenameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to,
                                     std::error_code& error) {
    error.clear();
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the name exists: one atomic step on
    // every Windows file system, FAT32 and exFAT included.
    if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0) {
        return RenameOutcome::Renamed;
    }
    const DWORD reason = ::GetLastError();
    if (reason == ERROR_ALREADY_EXISTS || reason == ERROR_FILE_EXISTS) {
        return RenameOutcome::Taken;
    }
    error.assign(static_cast<int>(reason), std::system_category());
    return RenameOutcome::Failed;
}

bool RenameReplacing(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& error) {
    error.clear();
    if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) {
        return true;
    }
    error.assign(static_cast<int>(::GetLastError()), std::system_category());
    return false;
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    int count = 0;
    const std::unique_ptr<wchar_t*, LocalFreer> wide(::CommandLineToArgvW(::GetCommandLineW(), &count));
    if (!wide) {
        return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
    }
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) {
        args.push_back(WideToUtf8(wide.get()[i]));
    }
    return args;
}

std::filesystem::path ExecutableDirectory(const char* argv0) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            std::error_code error;
            return std::filesystem::absolute(PathFromUtf8(argv0 != nullptr ? argv0 : ""), error).parent_path();
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            break;
        }
        buffer.resize(buffer.size() * 2); // the name was cut short
    }
    return std::filesystem::path(buffer).parent_path();
}

void UseBinaryStandardStreams() {
    std::fflush(stdout);
    std::fflush(stderr);
    ::_setmode(::_fileno(stdin), _O_BINARY);
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
}

void IgnoreBrokenPipes() {}

bool StandardInputIsOpen() {
    return ::_get_osfhandle(0) != -1;
}

// The C runtime's calls take at most an int's worth of bytes at a time; they are not interrupted.
constexpr std::size_t kMaxPiece = std::size_t{1} << 30;

std::size_t ReadStandardInput(char* into, std::size_t size, int& error) {
    const int got = ::_read(0, into, static_cast<unsigned>(std::min(size, kMaxPiece)));
    error = got < 0 ? errno : 0;
    return got < 0 ? 0 : static_cast<std::size_t>(got);
}

int WriteStandardStream(StandardStream stream, std::string_view bytes) {
    while (!bytes.empty()) {
        const int written = ::_write(stream == StandardStream::Output ? 1 : 2, bytes.data(),
                                     static_cast<unsigned>(std::min(bytes.size(), kMaxPiece)));
        if (written < 0) {
            return errno;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

void RemoveFileInSignalHandler(const wchar_t* path) {
    ::_wunlink(path);
}

} // namespace quillon
