#pragma once

#include <cstddef>
#include <filesystem>
#include <vector>

namespace quillon {

// Files of a run that must not outlive it: removed when the object that registered them ends, and
// also when SIGINT, SIGTERM or SIGHUP ends the program first; the handler then ends it as the
// signal would, and a signal the program ignores stays ignored. The names are kept in one list for
// the whole process, so writers on several threads can each hold an object at the same time; an
// object removes and forgets only the names it added itself.
class TemporaryFiles {
public:
    // Names listed at a time across the process, and the longest name in characters of the
    // system's path type: the signal handler may not allocate, so their room is made in advance.
    static constexpr std::size_t kCapacity = 64;
    static constexpr std::size_t kMaxPathLength = 4095;

    TemporaryFiles();
    ~TemporaryFiles();
    TemporaryFiles(const TemporaryFiles&) = delete;
    TemporaryFiles& operator=(const TemporaryFiles&) = delete;

    // Registers a name before its file is created, so that no moment leaves it unknown. False when
    // the name is longer than kMaxPathLength or the list is full: a signal then leaves the file
    // behind, though this object still removes it when it ends.
    bool Add(const std::filesystem::path& path);
    // The file now has another name (or is gone): it is no longer the run's to remove.
    void Forget(const std::filesystem::path& path);

private:
    std::vector<std::filesystem::path> m_unlisted; // added, but with no room in the list
};

} // namespace quillon
