#include "system/TemporaryFiles.h"

#include "system/Files.h"

#include <csignal>
#include <cstddef>
#include <iterator>
#include <system_error>

namespace quillon {

namespace {

// SIGHUP when the terminal is closed.
#if defined(SIGHUP)
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
#else
constexpr int kSignals[] = {SIGINT, SIGTERM};
#endif

// Kept ready for the handler, which may only make plain system calls.
std::filesystem::path::string_type g_paths[2];
volatile std::sig_atomic_t g_count = 0;

void OnSignal(int signal) {
    for (std::sig_atomic_t i = 0; i < g_count; ++i) {
        if (!g_paths[i].empty()) {
            RemoveFileInSignalHandler(g_paths[i].c_str());
        }
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

TemporaryFiles::TemporaryFiles() {
    static_assert(std::size(kSignals) <= std::size(decltype(m_previous){}));
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        m_previous[i] = std::signal(kSignals[i], &OnSignal);
        // A signal the caller chose to ignore (SIGINT for a background job) stays ignored.
        if (m_previous[i] == SIG_IGN) {
            std::signal(kSignals[i], SIG_IGN);
        }
    }
}

TemporaryFiles::~TemporaryFiles() {
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        std::signal(kSignals[i], m_previous[i]);
    }
    while (g_count > 0) {
        g_count = g_count - 1;
        std::error_code ignored;
        std::filesystem::remove(g_paths[g_count], ignored); // a forgotten, empty name is no file
        g_paths[g_count].clear();
    }
}

void TemporaryFiles::Add(const std::filesystem::path& path) {
    if (static_cast<std::size_t>(g_count) < std::size(g_paths)) {
        g_paths[g_count] = path.native();
        g_count = g_count + 1; // counted once the name is whole
    }
}

void TemporaryFiles::Forget(const std::filesystem::path& path) {
    for (std::sig_atomic_t i = 0; i < g_count; ++i) {
        if (g_paths[i] == path.native()) {
            g_paths[i].clear();
        }
    }
}

} // namespace quillon
