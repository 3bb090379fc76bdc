#include "system/TemporaryFiles.h"

#include "system/Files.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <iterator>
#include <mutex>
#include <string_view>
#include <system_error>

namespace quillon {

namespace {

// SIGHUP when the terminal is closed.
#if defined(SIGHUP)
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
#else
constexpr int kSignals[] = {SIGINT, SIGTERM};
#endif

using PathChar = std::filesystem::path::value_type;
using PathView = std::basic_string_view<PathChar>;

// A place in the list. Add and Forget change it under g_mutex; the handler reads it without a
// lock, so a name is whole before its place is marked listed, and the handler claims a place
// before it reads the name, which keeps Forget and Add from reusing it meanwhile.
enum SlotState : int { kFree, kFilling, kListed, kRemoving };
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free state");

struct Slot {
    std::atomic<int> state{kFree};
    const TemporaryFiles* owner = nullptr; // under g_mutex
    PathChar path[TemporaryFiles::kMaxPathLength + 1] = {};
};

Slot g_slots[TemporaryFiles::kCapacity];
std::mutex g_mutex;
std::size_t g_objects = 0; // under g_mutex: the handlers are in place while any object lives
void (*g_previous[std::size(kSignals)])(int) = {};

void OnSignal(int signal) {
    for (Slot& slot : g_slots) {
        int listed = kListed;
        if (slot.state.compare_exchange_strong(listed, kRemoving)) {
            RemoveFileInSignalHandler(slot.path);
        }
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

TemporaryFiles::TemporaryFiles() {
    const std::lock_guard<std::mutex> lock(g_mutex);
    if (g_objects++ > 0) {
        return;
    }
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        g_previous[i] = std::signal(kSignals[i], &OnSignal);
        // A signal the caller chose to ignore (SIGINT for a background job) stays ignored.
        if (g_previous[i] == SIG_IGN) {
            std::signal(kSignals[i], SIG_IGN);
        }
    }
}

TemporaryFiles::~TemporaryFiles() {
    const std::lock_guard<std::mutex> lock(g_mutex);
    std::error_code ignored;
    for (Slot& slot : g_slots) {
        if (slot.owner == this && slot.state.load() == kListed) {
            std::filesystem::remove(std::filesystem::path(slot.path), ignored);
            int listed = kListed;
            if (slot.state.compare_exchange_strong(listed, kFree)) {
                slot.owner = nullptr;
            }
        }
    }
    for (const std::filesystem::path& path : m_unlisted) {
        std::filesystem::remove(path, ignored);
    }
    if (--g_objects == 0) {
        for (std::size_t i = 0; i < std::size(kSignals); ++i) {
            std::signal(kSignals[i], g_previous[i]);
        }
    }
}

bool TemporaryFiles::Add(const std::filesystem::path& path) {
    const std::lock_guard<std::mutex> lock(g_mutex);
    const PathView name = path.native();
    if (name.size() <= kMaxPathLength) {
        for (Slot& slot : g_slots) {
            int free = kFree;
            if (slot.state.compare_exchange_strong(free, kFilling)) {
                std::copy(name.begin(), name.end(), slot.path);
                slot.path[name.size()] = PathChar{};
                slot.owner = this;
                slot.state.store(kListed); // listed once the name is whole
                return true;
            }
        }
    }
    m_unlisted.push_back(path);
    return false;
}

void TemporaryFiles::Forget(const std::filesystem::path& path) {
    const std::lock_guard<std::mutex> lock(g_mutex);
    for (Slot& slot : g_slots) {
        if (slot.owner == this && slot.state.load() == kListed && PathView(slot.path) == path.native()) {
            int listed = kListed;
            if (slot.state.compare_exchange_strong(listed, kFree)) { // else the handler has it: the end is near
                slot.owner = nullptr;
            }
            return;
        }
    }
    std::erase(m_unlisted, path);
}

} // namespace quillon
