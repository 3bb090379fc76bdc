#pragma once

#include <csignal>
#include <cstddef>
#include <filesystem>
#include <iterator>

namespace quillon {

// Files of a run that must not outlive it: removed when the object ends, and also when SIGINT,
// SIGTERM or SIGHUP ends the program first; the handler then ends it as the signal would. Their
// names are kept ready for the handler, which may only make plain system calls. One at a time.
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
    static constexpr std::size_t kMax = 2;
    // SIGHUP when the terminal is closed. SIGPIPE is ignored: a reader going away is a failed write.
#if defined(SIGHUP)
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
#else
    static constexpr int kSignals[] = {SIGINT, SIGTERM};
#endif
    static void OnSignal(int signal);

    std::filesystem::path::string_type m_paths[kMax];
    std::size_t m_count = 0;
    void (*m_previous[std::size(kSignals)])(int) = {};
};

} // namespace quillon
