// POSIX: the folder is opened first and every later step goes through it (openat, renameat), so a
// folder swapped for a link meanwhile is not followed; the file's data and the folder's new name
// are synced to disk.
#include "system/FileWriter.h"
#include "system/Files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace quillon {

namespace {

int Descriptor(std::intptr_t handle) {
    return static_cast<int>(handle);
}

std::error_code LastError() {
    return ErrnoCode(errno != 0 ? errno : EIO);
}

std::error_code LinkError() {
    return std::make_error_code(std::errc::too_many_symbolic_link_levels);
}

int OpenFolder(const std::filesystem::path& folder, TargetLinks links) {
    return ::open(folder.empty() ? "." : folder.c_str(),
                  O_RDONLY | O_DIRECTORY | O_CLOEXEC | (links == TargetLinks::Refuse ? O_NOFOLLOW : 0));
}

bool IsLink(const std::filesystem::path& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

// The permission bits fopen gives a new file: 0666 less the umask. Linux shows the umask in
// /proc; setting it to read it would race with threads that create files meanwhile.
mode_t NewFileMode() {
#ifdef __linux__
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, status) != nullptr) {
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        }
        std::fclose(status);
        if (found) {
            return static_cast<mode_t>(0666 & ~mask);
        }
    }
#endif
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

} // namespace

std::optional<Problem> FileWriter::OpenSystem() {
    int folder = OpenFolder(m_folder, m_links);
    if (folder < 0) {
        const int reason = errno;
        if (m_links == TargetLinks::Refuse && (reason == ELOOP || reason == ENOTDIR) && IsLink(m_folder)) {
            return Problem{ProblemKind::FileIsLink, m_folder, 0, LinkError(), {}, PathToUtf8(m_target)};
        }
        return Problem{ProblemKind::FileNotCreated, m_folder, 0, ErrnoCode(reason)};
    }
    m_folderHandle = folder;

    if (m_mode == NameMode::Replace) {
        const std::filesystem::path name = m_target.filename();
        if (name.empty() || name == "." || name == "..") {
            return Problem{ProblemKind::FileNotReplaced, m_target, 0, ErrnoCode(EISDIR)};
        }
        struct stat status {};
        if (::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
            if (S_ISLNK(status.st_mode)) {
                if (m_links == TargetLinks::Refuse) {
                    return Problem{ProblemKind::FileIsLink, m_target, 0, LinkError()};
                }
                std::error_code error;
                m_written = std::filesystem::canonical(m_target, error);
                if (error == std::errc::no_such_file_or_directory) {
                    std::error_code ignored;
                    return Problem{ProblemKind::LinkDangles, m_target, 0, error,
                                   PathToUtf8(std::filesystem::read_symlink(m_target, ignored))};
                }
                if (error) {
                    return Problem{ProblemKind::FileNotCreated, m_folder, 0, error};
                }
                // The file the link names is replaced in its own folder.
                m_folder = m_written.parent_path();
                ::close(folder);
                m_folderHandle = folder = OpenFolder(m_folder, TargetLinks::Follow);
                if (folder < 0 || ::fstatat(folder, m_written.filename().c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
                    return Problem{ProblemKind::FileNotCreated, m_folder, 0, LastError()};
                }
            }
            if (S_ISDIR(status.st_mode)) {
                return Problem{ProblemKind::FileNotReplaced, m_written, 0, ErrnoCode(EISDIR)};
            }
            if (!S_ISREG(status.st_mode)) {
                // A device, a FIFO or a terminal takes the bytes as they come; a FIFO's open waits
                // for its reader.
                const int file =
                    ::openat(folder, m_written.filename().c_str(),
                             O_WRONLY | O_CLOEXEC | O_NOCTTY | (m_links == TargetLinks::Refuse ? O_NOFOLLOW : 0));
                if (file < 0) {
                    return Problem{ProblemKind::FileNotWritten, m_folder, 0, LastError(), {}, PathToUtf8(m_written)};
                }
                m_file = file;
                m_direct = true;
                return std::nullopt;
            }
        } else if (errno != ENOENT) {
            return Problem{ProblemKind::FileNotCreated, m_folder, 0, LastError()};
        }
    }

    m_temporaries = std::make_unique<TemporaryFiles>();
    for (int attempt = 0; attempt < 16; ++attempt) {
        m_temporary = UniqueTemporaryPath(m_folder, m_prefix);
        m_temporaries->Add(m_temporary);
        const int file = ::openat(folder, m_temporary.filename().c_str(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (file >= 0) {
            m_file = file;
            return std::nullopt;
        }
        const int reason = errno;
        m_temporaries->Forget(m_temporary);
        m_temporary.clear();
        if (reason != EEXIST) { // else another file took the name first
            return Problem{ProblemKind::FileNotCreated, m_folder, 0, ErrnoCode(reason)};
        }
    }
    return Problem{ProblemKind::FileNotCreated, m_folder, 0, ErrnoCode(EEXIST)};
}

std::error_code FileWriter::WriteSystem(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(Descriptor(m_file), bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return LastError();
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

std::error_code FileWriter::FinishSystem() {
    const int file = Descriptor(m_file);
    std::error_code error;
    if (!m_direct) {
        // The replaced file's owner, group and permission bits; a new file's are what fopen would
        // have made. Where the file system keeps none of them the file keeps its own (0600).
        struct stat status {};
        if (m_mode == NameMode::Replace &&
            ::fstatat(Descriptor(m_folderHandle), m_written.filename().c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(status.st_mode)) {
            // Owner first: a change of owner clears the set-user-ID and set-group-ID bits.
            if (::geteuid() == 0 && ::fchown(file, status.st_uid, status.st_gid) != 0) {
                // the file is still written, owned by this process's user
            }
            if (::fchmod(file, status.st_mode & 07777) != 0) {
                // as above
            }
        } else if (::fchmod(file, NewFileMode()) != 0) {
            // as above
        }
        // EINVAL: a file system that has nothing to sync.
        if (::fsync(file) != 0 && errno != EINVAL) {
            error = LastError();
        }
    }
    if (::close(file) != 0 && errno != EINTR && !error) {
        error = LastError();
    }
    m_file = -1;
    return error;
}

std::optional<Problem> FileWriter::ReplaceSystem() {
    const int folder = Descriptor(m_folderHandle);
    if (::renameat(folder, m_temporary.filename().c_str(), folder, m_written.filename().c_str()) != 0) {
        return Problem{ProblemKind::FileNotReplaced, m_written, 0, LastError()};
    }
    return std::nullopt;
}

void FileWriter::SyncFolderSystem() {
    if (m_folderHandle >= 0) {
        ::fsync(Descriptor(m_folderHandle)); // the name is taken either way; this makes it last
    }
}

void FileWriter::CloseSystem() {
    if (m_file >= 0) {
        ::close(Descriptor(m_file));
        m_file = -1;
    }
    if (m_folderHandle >= 0) {
        ::close(Descriptor(m_folderHandle));
        m_folderHandle = -1;
    }
}

std::optional<Problem> FileLock::OpenSystem(const std::filesystem::path& lockFile, TargetLinks links,
                                            std::intptr_t& handle) {
    // The lock is made in the folder as opened, so that a folder that is a link is refused too.
    const std::filesystem::path folderPath = lockFile.parent_path();
    const int folder = OpenFolder(folderPath, links);
    if (folder < 0) {
        const int reason = errno;
        if (links == TargetLinks::Refuse && (reason == ELOOP || reason == ENOTDIR) && IsLink(folderPath)) {
            return Problem{ProblemKind::FileIsLink, folderPath, 0, LinkError(), {}, PathToUtf8(lockFile)};
        }
        return Problem{ProblemKind::LockNotCreated, lockFile, 0, ErrnoCode(reason)};
    }
    // Not blocking: a FIFO at the name must not hold the open up.
    const int file =
        ::openat(folder, lockFile.filename().c_str(),
                 O_RDONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | (links == TargetLinks::Refuse ? O_NOFOLLOW : 0), 0666);
    const int reason = errno;
    ::close(folder);
    if (file < 0) {
        if (links == TargetLinks::Refuse && reason == ELOOP) {
            return Problem{ProblemKind::FileIsLink, lockFile, 0, LinkError()};
        }
        return Problem{ProblemKind::LockNotCreated, lockFile, 0, ErrnoCode(reason)};
    }
    handle = file;
    return std::nullopt;
}

FileLock::Attempt FileLock::TrySystem(std::intptr_t handle, std::error_code& error) {
    for (;;) {
        if (::flock(Descriptor(handle), LOCK_EX | LOCK_NB) == 0) {
            return Attempt::Taken;
        }
        if (errno == EWOULDBLOCK) {
            return Attempt::Held;
        }
        if (errno != EINTR) {
            error = LastError();
            return Attempt::Failed;
        }
    }
}

void FileLock::CloseSystem(std::intptr_t handle) {
    ::close(Descriptor(handle)); // which releases the lock
}

} // namespace quillon
