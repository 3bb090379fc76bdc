#include "system/TemporaryFiles.h"

#include "system/Files.h"

#include <system_error>

namespace quillon {

namespace {

TemporaryFiles* volatile g_instance = nullptr;

} // namespace

TemporaryFiles::TemporaryFiles() {
    g_instance = this;
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
    for (std::size_t i = 0; i < m_count; ++i) {
        if (!m_paths[i].empty()) {
            std::error_code ignored;
            std::filesystem::remove(m_paths[i], ignored);
        }
    }
    g_instance = nullptr;
}

void TemporaryFiles::Add(const std::filesystem::path& path) {
    if (m_count < kMax) {
        m_paths[m_count++] = path.native();
    }
}

void TemporaryFiles::Forget(const std::filesystem::path& path) {
    for (std::size_t i = 0; i < m_count; ++i) {
        if (m_paths[i] == path.native()) {
            m_paths[i].clear();
        }
    }
}

void TemporaryFiles::OnSignal(int signal) {
    if (TemporaryFiles* files = g_instance) {
        for (std::size_t i = 0; i < files->m_count; ++i) {
            if (!files->m_paths[i].empty()) {
                RemoveFileInSignalHandler(files->m_paths[i].c_str());
            }
        }
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace quillon
