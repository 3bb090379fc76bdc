// Linux and other POSIX systems: paths are bytes, argv is already what the user typed.
#include "system/Console.h"
#include "system/Files.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace quillon {

std::FILE* OpenFile(const std::filesystem::path& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

std::FILE* CreateScratchFile(const std::filesystem::path& path) {
    const int file = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (file < 0) {
        return nullptr;
    }
    std::FILE* stream = ::fdopen(file, "w+b"); // the new file is empty: "w" truncates nothing here
    if (stream == nullptr) {
        const int reason = errno;
        ::close(file);
        ::unlink(path.c_str());
        errno = reason;
    }
    return stream;
}

void AdviseLargePages(void* start, std::size_t size) {
#ifdef MADV_HUGEPAGE
    // Only whole pages inside the buffer can be advised.
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto begin = (reinterpret_cast<std::uintptr_t>(start) + page - 1) / page * page;
    const auto end = (reinterpret_cast<std::uintptr_t>(start) + size) / page * page;
    if (end > begin) {
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
#else
    (void)start;
    (void)size;
#endif
}

std::filesystem::path UserDataDirectory() {
    // The XDG rule: a relative or empty XDG_DATA_HOME counts as unset.
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/') {
        return std::filesystem::path(data) / "quillon";
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return std::filesystem::path(home) / ".local" / "share" / "quillon";
    }
    return {};
}

namespace {

// Where the file system has no no-clobber rename: the name is claimed by creating it exclusively,
// then the finished file replaces that empty claim of our own.
RenameOutcome RenameOverExclusiveClaim(const std::filesystem::path& from, const std::filesystem::path& to,
                                       std::error_code& error) {
    const int claim = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (claim < 0) {
        const int reason = errno;
        if (reason == EEXIST) {
            return RenameOutcome::Taken;
        }
        error.assign(reason, std::generic_category());
        return RenameOutcome::Failed;
    }
    ::close(claim);
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        error.assign(errno, std::generic_category());
        ::unlink(to.c_str());
        return RenameOutcome::Failed;
    }
    return RenameOutcome::Renamed;
}

} // namespace

RenameOutcome RenameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to,
                                     std::error_code& error) {
    error.clear();
#if defined(__linux__) && defined(RENAME_NOREPLACE)
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return RenameOutcome::Renamed;
    }
    const int reason = errno;
    if (reason == EEXIST) {
        return RenameOutcome::Taken;
    }
    if (reason != EINVAL && reason != ENOSYS && reason != ENOTSUP) {
        error.assign(reason, std::generic_category());
        return RenameOutcome::Failed;
    }
#endif
    return RenameOverExclusiveClaim(from, to, error);
}

bool RenameReplacing(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& error) {
    error.clear();
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        error.assign(errno, std::generic_category());
        return false;
    }
    return true;
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

std::filesystem::path ExecutableDirectory(const char* argv0) {
    std::error_code error;
    auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || self.empty()) {
        self = std::filesystem::absolute(argv0 != nullptr ? argv0 : "", error);
    }
    return self.parent_path();
}

void UseBinaryStandardStreams() {}

void IgnoreBrokenPipes() {
    std::signal(SIGPIPE, SIG_IGN);
}

bool StandardInputIsOpen() {
    return ::fcntl(STDIN_FILENO, F_GETFD) != -1;
}

std::size_t ReadStandardInput(char* into, std::size_t size, int& error) {
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, into, size);
        if (got >= 0) {
            return static_cast<std::size_t>(got);
        }
        if (errno != EINTR) {
            error = errno;
            return 0;
        }
    }
}

int WriteStandardStream(StandardStream stream, std::string_view bytes) {
    const int fd = stream == StandardStream::Output ? STDOUT_FILENO : STDERR_FILENO;
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno != EINTR) {
                return errno;
            }
            continue;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

void RemoveFileInSignalHandler(const char* path) {
    ::unlink(path);
}

} // namespace quillon
