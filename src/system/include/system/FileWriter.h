#pragma once

// The one way the programs write a file: the bytes go to a hidden temporary file beside the
// target, created exclusively and removed again by TemporaryFiles if a signal ends the program;
// they are flushed to disk, and only then does the file take the target's name. A reader sees
// the old file or the whole new one, never a part, also after a power cut.

#include "system/Problem.h"
#include "system/TemporaryFiles.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace quillon {

enum class TargetLinks {
    Follow, // a symbolic link at the target is followed: the file it names is replaced, in its own folder
    Refuse, // a link, junction or other reparse point at the target or at its folder is refused
};

enum class NameMode {
    Replace,      // the finished file replaces the target, keeping its permission bits (and, as root,
                  // owner and group); a target that exists and is not a regular file (a device, a
                  // FIFO, a terminal) is written into directly as a stream and never replaced
    NeverReplace, // the finished file takes the first of the caller's names that no file has
};

class FileWriter {
public:
    // The step that gives the finished file a further name, failing when a file has that name
    // (std::filesystem::create_hard_link by default). File systems without hard links (FAT32 and
    // exFAT) make it fail otherwise; the writer then names the file by a rename that never replaces.
    using HardLinkFunction = void (*)(const std::filesystem::path& existing, const std::filesystem::path& link,
                                      std::error_code& error);
#ifdef _WIN32
    // ReplaceFileW's place: nonzero on success, otherwise the reason in GetLastError().
    using ReplaceFileFunction = int (*)(const wchar_t* replaced, const wchar_t* replacement, const wchar_t* backup,
                                        unsigned long flags);
#endif

    // The bytes gathered before they go to the file.
    static constexpr std::size_t kBufferSize = std::size_t{1} << 20;

    // Nothing is created before Open. `target` is the file to be written (Replace) or a name in the
    // folder the file goes into (NeverReplace, whose names come with Commit).
    explicit FileWriter(std::filesystem::path target, TargetLinks links = TargetLinks::Follow,
                        NameMode mode = NameMode::Replace, std::string_view temporaryPrefix = ".quillon-");
    ~FileWriter(); // an unfinished temporary file is removed
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    // Creates the temporary file (or opens a non-regular target as a stream). Problem kinds:
    // FileNotCreated (folder, error), FileIsLink (the link's path), LinkDangles (a followed link
    // that names no file), FileNotReplaced (the target is a folder), FileNotWritten (a
    // non-regular target that does not open).
    std::optional<Problem> Open();
    // Buffered; false once a write has failed (the problem then comes from Commit).
    bool Append(std::string_view bytes);
    // Replace mode: flushes, syncs to disk, renames over the target (ReplaceFileW on Windows),
    // syncs the folder. On failure the target is as it was and the temporary file is gone, with
    // one exception on Windows (ReplacedFileKept: both files are kept, under the names it gives).
    // Problem kinds: FileNotWritten (folder, error, subject: the target), FileIsLink,
    // FileNotReplaced (target, error), ReplacedFileKept.
    std::optional<Problem> Commit();
    // NeverReplace mode: `nameFor(1)`, `nameFor(2)`, ... are tried (full paths in the target's
    // folder) until one is free; an empty path ends the attempts. Problem kinds: FileNotWritten
    // (folder, error), FileNotNamed (folder, the last attempt's error; none when no name was free).
    std::optional<Problem> Commit(const std::function<std::filesystem::path(int attempt)>& nameFor);

    // The file the bytes went to: the target, the file a followed link names, or the name taken.
    const std::filesystem::path& WrittenPath() const;
    // Whether the target was not a regular file and was written into directly.
    bool Direct() const;

    // The link step of NeverReplace's Commit; tests pass one that fails as FAT32 does.
    void SetHardLinkFunction(HardLinkFunction createHardLink) {
        m_createHardLink = createHardLink;
    }
#ifdef _WIN32
    // ReplaceFileW, or a stand-in for it that fails as it can.
    void SetReplaceFileFunction(ReplaceFileFunction replaceFile) {
        m_replaceFile = replaceFile;
    }
#endif

private:
    // Per system (posix/PosixFileWriter.cpp, windows/WindowsFileWriter.cpp):
    std::optional<Problem> OpenSystem(); // m_folder set; opens the folder, the target or the temporary file
    std::error_code WriteSystem(std::string_view bytes); // all of them, or the reason
    std::error_code FinishSystem();                      // owner and mode, sync and close of a temporary file
    std::optional<Problem> ReplaceSystem();              // the finished temporary file takes the target's name
    void SyncFolderSystem();                             // a new name in the folder survives a power cut
    void CloseSystem();                                  // closes what is open, quietly

    std::error_code Flush();
    // The bytes written out, synced and the file closed, before it takes its name; why not.
    std::optional<Problem> FinishWriting();
    void Discard(); // closes and removes the temporary file
    std::optional<Problem> Failed(ProblemKind kind, std::error_code error);

    std::filesystem::path m_target;
    TargetLinks m_links;
    NameMode m_mode;
    std::string m_prefix;
    std::filesystem::path m_folder;    // where the temporary file lies
    std::filesystem::path m_temporary; // empty while there is none
    std::filesystem::path m_written;
    std::string m_buffer;
    std::error_code m_writeError; // the first failed write's reason
    std::intptr_t m_file = -1;    // the file descriptor or HANDLE written to
    std::intptr_t m_folderHandle = -1;
    bool m_opened = false;
    bool m_direct = false;
    bool m_finished = false;
    HardLinkFunction m_createHardLink = nullptr;
#ifdef _WIN32
    ReplaceFileFunction m_replaceFile = nullptr;
#endif
    std::unique_ptr<TemporaryFiles> m_temporaries; // made with the temporary file
};

// An advisory lock on an empty file (created when missing, left in place afterwards): flock on
// POSIX, LockFileEx on Windows. Released when the object ends.
class FileLock {
public:
    // Waits up to `timeout`; `onWait` is called once, before waiting, when another holds the lock.
    // Problem kinds: LockNotTaken (path = the lock file, limit = seconds waited; error: a failure
    // other than a held lock), FileIsLink, LockNotCreated (the lock file could not be made, error).
    static std::optional<Problem> Take(const std::filesystem::path& lockFile, TargetLinks links,
                                       std::chrono::milliseconds timeout, const std::function<void()>& onWait,
                                       std::unique_ptr<FileLock>& lock);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    enum class Attempt { Taken, Held, Failed };
    explicit FileLock(std::intptr_t handle) : m_handle(handle) {}
    // Per system:
    static std::optional<Problem> OpenSystem(const std::filesystem::path& lockFile, TargetLinks links,
                                             std::intptr_t& handle);
    static Attempt TrySystem(std::intptr_t handle, std::error_code& error);
    static void CloseSystem(std::intptr_t handle);

    std::intptr_t m_handle;
};

// The lock file beside `target`: ".NAME.lock" in its folder.
std::filesystem::path LockFileFor(const std::filesystem::path& target);

} // namespace quillon
