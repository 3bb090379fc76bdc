#pragma once

#include <filesystem>

namespace quillon {

// Files of a run that must not outlive it: removed when the object ends, and also when SIGINT,
// SIGTERM or SIGHUP ends the program first; the handler then ends it as the signal would. SIGPIPE
// is ignored: a reader going away is a failed write. One object at a time, of at most two files.
class TemporaryFiles {
public:
    TemporaryFiles();
    ~TemporaryFiles();
    TemporaryFiles(const TemporaryFiles&) = delete;
    TemporaryFiles& operator=(const TemporaryFiles&) = delete;

    // Registers a name before its file is created, so that no moment leaves it unknown.
    void Add(const std::filesystem::path& path);
    // The file now has another name (or is gone): it is no longer the run's to remove.
    void Forget(const std::filesystem::path& path);

private:
    void (*m_previous[3])(int) = {};
};

} // namespace quillon
