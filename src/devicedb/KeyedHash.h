#pragma once

// The hash of the device indexes, keyed with secrets drawn once a run, so that no file can choose
// codes that all land on one run of slots: with a fixed hash a file can make every insert and
// lookup walk a cluster of its own making, and loading turns quadratic. The database reader's
// index and the import's share it.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <string_view>

namespace quillon {

struct HashSecrets {
    std::uint64_t first;
    std::uint64_t second;
};

inline const HashSecrets& IndexHashSecrets() {
    static const HashSecrets secrets = [] {
        std::random_device device;
        auto draw = [&device] { return (static_cast<std::uint64_t>(device()) << 32) ^ device(); };
        const std::uint64_t first = draw();
        const std::uint64_t second = draw() | 1;
        return HashSecrets{first, second};
    }();
    return secrets;
}

// Multiplies into 128 bits and folds the halves together: every input bit reaches the low bits
// that pick the slot.
inline std::uint64_t Fold(std::uint64_t a, std::uint64_t b) {
    __extension__ using Wide = unsigned __int128;
    const Wide product = static_cast<Wide>(a) * b;
    return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

inline std::size_t HashKey(std::string_view key, const HashSecrets& secrets) {
    std::uint64_t chunk = 0;
    if (key.size() == 8) {
        // The usual key, eight digits: one chunk.
        std::memcpy(&chunk, key.data(), sizeof chunk);
        return static_cast<std::size_t>(Fold(chunk ^ secrets.first, secrets.second));
    }
    std::uint64_t hash = secrets.first ^ (key.size() * 0x9E3779B97F4A7C15ull);
    while (key.size() > 8) {
        std::memcpy(&chunk, key.data(), sizeof chunk);
        hash = Fold(hash ^ chunk, secrets.second);
        key.remove_prefix(8);
    }
    chunk = 0;
    if (!key.empty()) {
        std::memcpy(&chunk, key.data(), key.size());
    }
    return static_cast<std::size_t>(Fold(hash ^ chunk, secrets.second) + hash);
}

// A code held as its number (0 to 99999999), as the import keeps it.
inline std::size_t HashCode(std::uint32_t code, const HashSecrets& secrets) {
    return static_cast<std::size_t>(Fold(code ^ secrets.first, secrets.second));
}

} // namespace quillon
