// Windows: the temporary file is made with CREATE_NEW and synced with FlushFileBuffers; it takes
// the name of an existing file by ReplaceFileW, which keeps that file's attributes and access
// rights, and a free name by MoveFileExW. Junctions and other reparse points count as links.
#include "system/FileWriter.h"
#include "system/Files.h"

#include <windows.h>

#include <string>

namespace quillon {

namespace {

HANDLE Handle(std::intptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}

std::intptr_t Value(HANDLE handle) {
    return reinterpret_cast<std::intptr_t>(handle);
}

std::error_code SystemError(DWORD error) {
    return std::error_code(static_cast<int>(error != 0 ? error : ERROR_GEN_FAILURE), std::system_category());
}

std::error_code LastError() {
    return SystemError(::GetLastError());
}

std::error_code LinkError() {
    return std::make_error_code(std::errc::too_many_symbolic_link_levels);
}

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

int CallReplaceFile(const wchar_t* replaced, const wchar_t* replacement, const wchar_t* backup, unsigned long flags) {
    return ::ReplaceFileW(replaced, replacement, backup, flags, nullptr, nullptr);
}

bool IsReparsePoint(const std::filesystem::path& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// What is at a path, a reparse point there not followed.
struct Found {
    bool exists = false;
    DWORD attributes = 0;
    DWORD type = FILE_TYPE_DISK;
    DWORD error = 0; // why it could not be looked at, when it does not exist
};

Found Inspect(const std::filesystem::path& path) {
    Found found;
    const HANDLE handle = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        found.error = ::GetLastError();
        if (!IsMissing(found.error)) { // there, but not to be opened now: its attributes tell
            found.attributes = ::GetFileAttributesW(path.c_str());
            found.exists = found.attributes != INVALID_FILE_ATTRIBUTES;
            found.attributes = found.exists ? found.attributes : 0;
        }
        return found;
    }
    found.exists = true;
    found.type = ::GetFileType(handle);
    BY_HANDLE_FILE_INFORMATION information{};
    if (found.type == FILE_TYPE_DISK && ::GetFileInformationByHandle(handle, &information)) {
        found.attributes = information.dwFileAttributes;
    }
    ::CloseHandle(handle);
    return found;
}

// The file a link names, as the system resolves it; nothing with `error` set when it cannot.
std::filesystem::path FinalPath(const std::filesystem::path& link, DWORD& error) {
    const HANDLE handle =
        ::CreateFileW(link.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
        return {};
    }
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()),
                                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) {
            error = ::GetLastError();
            ::CloseHandle(handle);
            return {};
        }
        if (length < name.size()) {
            name.resize(length);
            break;
        }
        name.resize(length); // the room it needs, its end included
    }
    ::CloseHandle(handle);
    // "\\?\C:\..." is shown as "C:\...".
    if (name.size() > 6 && name.compare(0, 4, L"\\\\?\\") == 0 && name[5] == L':') {
        name.erase(0, 4);
    }
    return std::filesystem::path(name);
}

} // namespace

std::optional<Problem> FileWriter::OpenSystem() {
    const std::filesystem::path folder = m_folder.empty() ? std::filesystem::path(L".") : m_folder;
    if (m_links == TargetLinks::Refuse && IsReparsePoint(folder)) {
        return Problem{ProblemKind::FileIsLink, folder, 0, LinkError(), {}, PathToUtf8(m_target)};
    }
    if (m_mode == NameMode::Replace) {
        Found found = Inspect(m_target);
        if (found.exists && (found.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            if (m_links == TargetLinks::Refuse) {
                return Problem{ProblemKind::FileIsLink, m_target, 0, LinkError()};
            }
            DWORD error = 0;
            const std::filesystem::path resolved = FinalPath(m_target, error);
            if (resolved.empty()) {
                return IsMissing(error) ? Problem{ProblemKind::LinkDangles, m_target, 0,
                                                  std::make_error_code(std::errc::no_such_file_or_directory)}
                                        : Problem{ProblemKind::FileNotCreated, m_folder, 0, SystemError(error)};
            }
            // The file the link names is replaced in its own folder.
            m_written = resolved;
            m_folder = resolved.parent_path();
            found = Inspect(m_written);
        }
        if ((found.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return Problem{ProblemKind::FileNotReplaced, m_written, 0, std::make_error_code(std::errc::is_a_directory)};
        }
        if (found.exists && found.type != FILE_TYPE_DISK) {
            // A device (NUL, CON, a serial port) or a pipe takes the bytes as they come.
            const HANDLE handle = ::CreateFileW(m_written.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (handle == INVALID_HANDLE_VALUE) {
                return Problem{ProblemKind::FileNotWritten, m_folder, 0, LastError(), {}, PathToUtf8(m_written)};
            }
            m_file = Value(handle);
            m_direct = true;
            return std::nullopt;
        }
    }

    m_temporaries = std::make_unique<TemporaryFiles>();
    for (int attempt = 0; attempt < 16; ++attempt) {
        m_temporary = UniqueTemporaryPath(m_folder, m_prefix);
        m_temporaries->Add(m_temporary);
        // Shared for deleting: the signal handler removes the file while it is open.
        const HANDLE handle =
            ::CreateFileW(m_temporary.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            m_file = Value(handle);
            return std::nullopt;
        }
        const DWORD reason = ::GetLastError();
        m_temporaries->Forget(m_temporary);
        m_temporary.clear();
        if (reason != ERROR_FILE_EXISTS && reason != ERROR_ALREADY_EXISTS) { // else another took the name first
            return Problem{ProblemKind::FileNotCreated, m_folder, 0, SystemError(reason)};
        }
    }
    return Problem{ProblemKind::FileNotCreated, m_folder, 0, SystemError(ERROR_FILE_EXISTS)};
}

std::error_code FileWriter::WriteSystem(std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD piece = bytes.size() > (DWORD{1} << 30) ? (DWORD{1} << 30) : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!::WriteFile(Handle(m_file), bytes.data(), piece, &written, nullptr)) {
            return LastError();
        }
        bytes.remove_prefix(written);
    }
    return {};
}

std::error_code FileWriter::FinishSystem() {
    std::error_code error;
    if (!m_direct && !::FlushFileBuffers(Handle(m_file))) {
        error = LastError();
    }
    if (!::CloseHandle(Handle(m_file)) && !error) {
        error = LastError();
    }
    m_file = -1;
    return error;
}

std::optional<Problem> FileWriter::ReplaceSystem() {
    if (::GetFileAttributesW(m_written.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (::MoveFileExW(m_temporary.c_str(), m_written.c_str(), MOVEFILE_WRITE_THROUGH)) {
            return std::nullopt;
        }
        const DWORD reason = ::GetLastError();
        if (reason != ERROR_ALREADY_EXISTS && reason != ERROR_FILE_EXISTS) {
            return Problem{ProblemKind::FileNotReplaced, m_written, 0, SystemError(reason)};
        }
        // Made meanwhile: replaced like any existing file.
    }
    // The old file steps aside under the backup's name, which is removed only once the new file
    // has the name.
    const std::filesystem::path backup = UniqueTemporaryPath(m_folder, m_prefix + "backup-");
    const ReplaceFileFunction replaceFile = m_replaceFile != nullptr ? m_replaceFile : CallReplaceFile;
    if (replaceFile(m_written.c_str(), m_temporary.c_str(), backup.c_str(),
                    REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS)) {
        ::DeleteFileW(backup.c_str());
        return std::nullopt;
    }
    const DWORD reason = ::GetLastError();
    if (reason == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
        // The old file has the backup's name and the target's name is free: the old file goes back.
        if (::MoveFileExW(backup.c_str(), m_written.c_str(), MOVEFILE_WRITE_THROUGH)) {
            return Problem{ProblemKind::FileNotReplaced, m_written, 0, SystemError(reason)};
        }
        // Neither file is lost: both keep the names they have now.
        const std::filesystem::path kept = m_temporary;
        m_temporaries->Forget(m_temporary);
        m_temporary.clear();
        return Problem{ProblemKind::ReplacedFileKept, m_written,        0,
                       SystemError(reason),           PathToUtf8(kept), PathToUtf8(backup)};
    }
    // ERROR_UNABLE_TO_MOVE_REPLACEMENT and the rest: the old file is still in place.
    return Problem{ProblemKind::FileNotReplaced, m_written, 0, SystemError(reason)};
}

void FileWriter::SyncFolderSystem() {}

void FileWriter::CloseSystem() {
    if (m_file != -1) {
        ::CloseHandle(Handle(m_file));
        m_file = -1;
    }
}

std::optional<Problem> FileLock::OpenSystem(const std::filesystem::path& lockFile, TargetLinks links,
                                            std::intptr_t& handle) {
    // A folder that is a junction or other reparse point is refused as the file itself would be.
    if (links == TargetLinks::Refuse && IsReparsePoint(lockFile.parent_path())) {
        return Problem{ProblemKind::FileIsLink, lockFile.parent_path(), 0, LinkError(), {}, PathToUtf8(lockFile)};
    }
    const HANDLE file = ::CreateFileW(
        lockFile.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_ALWAYS,
        FILE_ATTRIBUTE_NORMAL | (links == TargetLinks::Refuse ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return Problem{ProblemKind::LockNotCreated, lockFile, 0, LastError()};
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (links == TargetLinks::Refuse && ::GetFileInformationByHandle(file, &information) &&
        (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        ::CloseHandle(file);
        return Problem{ProblemKind::FileIsLink, lockFile, 0, LinkError()};
    }
    handle = Value(file);
    return std::nullopt;
}

FileLock::Attempt FileLock::TrySystem(std::intptr_t handle, std::error_code& error) {
    OVERLAPPED whole{};
    if (::LockFileEx(Handle(handle), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                     &whole)) {
        return Attempt::Taken;
    }
    const DWORD reason = ::GetLastError();
    if (reason == ERROR_LOCK_VIOLATION || reason == ERROR_IO_PENDING) {
        return Attempt::Held;
    }
    error = SystemError(reason);
    return Attempt::Failed;
}

void FileLock::CloseSystem(std::intptr_t handle) {
    ::CloseHandle(Handle(handle)); // which releases the lock
}

} // namespace quillon
