#include "system/FileWriter.h"

#include "system/Files.h"

#include <algorithm>
#include <thread>
#include <utility>

namespace quillon {

namespace {

void CreateHardLink(const std::filesystem::path& existing, const std::filesystem::path& link, std::error_code& error) {
    std::filesystem::create_hard_link(existing, link, error);
}

} // namespace

FileWriter::FileWriter(std::filesystem::path target, TargetLinks links, NameMode mode, std::string_view temporaryPrefix)
    : m_target(std::move(target)),
      m_links(links),
      m_mode(mode),
      m_prefix(temporaryPrefix),
      m_folder(m_target.parent_path()),
      m_written(m_target),
      m_createHardLink(CreateHardLink) {}

FileWriter::~FileWriter() {
    Discard();
}

std::optional<Problem> FileWriter::Open() {
    if (m_opened) {
        return Problem{ProblemKind::FileNotCreated, m_folder, 0, std::make_error_code(std::errc::file_exists)};
    }
    m_opened = true;
    std::optional<Problem> problem = OpenSystem();
    if (problem) {
        Discard();
        return problem;
    }
    m_buffer.reserve(kBufferSize);
    return std::nullopt;
}

bool FileWriter::Append(std::string_view bytes) {
    if (!m_opened || m_finished) {
        m_writeError = std::make_error_code(std::errc::bad_file_descriptor);
    }
    if (m_writeError) {
        return false;
    }
    if (m_buffer.size() + bytes.size() > kBufferSize && Flush()) {
        return false;
    }
    if (bytes.size() >= kBufferSize) {
        m_writeError = WriteSystem(bytes); // a large piece goes straight through
    } else {
        m_buffer += bytes;
    }
    return !m_writeError;
}

std::error_code FileWriter::Flush() {
    if (!m_writeError && !m_buffer.empty()) {
        m_writeError = WriteSystem(m_buffer);
    }
    m_buffer.clear();
    return m_writeError;
}

void FileWriter::Discard() {
    CloseSystem();
    if (!m_temporary.empty()) {
        std::error_code ignored;
        std::filesystem::remove(m_temporary, ignored);
        m_temporaries->Forget(m_temporary);
        m_temporary.clear();
    }
    m_finished = true;
}

std::optional<Problem> FileWriter::Failed(ProblemKind kind, std::error_code error) {
    Discard();
    return Problem{kind, m_folder, 0, error, {}, m_mode == NameMode::Replace ? PathToUtf8(m_written) : std::string()};
}

std::optional<Problem> FileWriter::FinishWriting() {
    if (!m_opened || m_finished) {
        return Failed(ProblemKind::FileNotWritten, std::make_error_code(std::errc::bad_file_descriptor));
    }
    if (const std::error_code error = Flush()) {
        return Failed(ProblemKind::FileNotWritten, error);
    }
    if (const std::error_code error = FinishSystem()) {
        return Failed(ProblemKind::FileNotWritten, error);
    }
    return std::nullopt;
}

std::optional<Problem> FileWriter::Commit() {
    if (m_mode == NameMode::NeverReplace) {
        return Commit([this](int attempt) { return attempt == 1 ? m_target : std::filesystem::path(); });
    }
    if (std::optional<Problem> problem = FinishWriting()) {
        return problem;
    }
    if (!m_direct) {
        if (std::optional<Problem> problem = ReplaceSystem()) {
            Discard();
            return problem;
        }
        m_temporaries->Forget(m_temporary);
        m_temporary.clear();
        SyncFolderSystem();
    }
    CloseSystem();
    m_finished = true;
    return std::nullopt;
}

std::optional<Problem> FileWriter::Commit(const std::function<std::filesystem::path(int attempt)>& nameFor) {
    if (m_mode != NameMode::NeverReplace) {
        return Failed(ProblemKind::FileNotNamed, std::make_error_code(std::errc::invalid_argument));
    }
    if (std::optional<Problem> problem = FinishWriting()) {
        return problem;
    }
    const auto named = [this](const std::filesystem::path& name) {
        m_temporaries->Forget(m_temporary);
        m_temporary.clear();
        m_written = name;
        SyncFolderSystem();
        CloseSystem();
        m_finished = true;
        return std::nullopt;
    };
    // A hard link fails when the name exists, which makes taking a free name a single step. Where
    // the file system has no hard links, a rename that never replaces an existing name does.
    std::error_code error;
    bool linksWork = true;
    for (int attempt = 1;; ++attempt) {
        const std::filesystem::path name = nameFor(attempt);
        if (name.empty()) {
            break;
        }
        if (linksWork) {
            m_createHardLink(m_temporary, name, error);
            if (!error) {
                std::error_code ignored;
                std::filesystem::remove(m_temporary, ignored);
                return named(name);
            }
            if (error == std::errc::file_exists) {
                continue;
            }
            linksWork = false;
        }
        const RenameOutcome outcome = RenameWithoutReplacing(m_temporary, name, error);
        if (outcome == RenameOutcome::Renamed) {
            return named(name);
        }
        if (outcome == RenameOutcome::Failed) {
            break;
        }
    }
    return Failed(ProblemKind::FileNotNamed, error);
}

const std::filesystem::path& FileWriter::WrittenPath() const {
    return m_written;
}

bool FileWriter::Direct() const {
    return m_direct;
}

std::optional<Problem> FileLock::Take(const std::filesystem::path& lockFile, TargetLinks links,
                                      std::chrono::milliseconds timeout, const std::function<void()>& onWait,
                                      std::unique_ptr<FileLock>& lock) {
    using namespace std::chrono_literals;
    lock.reset();
    std::intptr_t handle = -1;
    if (std::optional<Problem> problem = OpenSystem(lockFile, links, handle)) {
        return problem;
    }
    // Another process holds it: asking again now and then is enough, the wait is for a person's work.
    const auto start = std::chrono::steady_clock::now();
    bool waiting = false;
    for (;;) {
        std::error_code error;
        const Attempt attempt = TrySystem(handle, error);
        if (attempt == Attempt::Taken) {
            lock.reset(new FileLock(handle));
            return std::nullopt;
        }
        if (attempt == Attempt::Failed) {
            CloseSystem(handle);
            return Problem{ProblemKind::LockNotTaken, lockFile, 0, error};
        }
        const auto waited =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        if (waited >= timeout) {
            CloseSystem(handle);
            return Problem{ProblemKind::LockNotTaken, lockFile,
                           static_cast<std::uintmax_t>((waited.count() + 500) / 1000)};
        }
        if (!waiting) {
            waiting = true;
            if (onWait) {
                onWait();
            }
        }
        std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(50ms, timeout - waited));
    }
}

FileLock::~FileLock() {
    CloseSystem(m_handle);
}

std::filesystem::path LockFileFor(const std::filesystem::path& target) {
    std::filesystem::path::string_type name = std::filesystem::path(".").native();
    name += target.filename().native();
    name += std::filesystem::path(".lock").native();
    return target.parent_path() / name;
}

} // namespace quillon
