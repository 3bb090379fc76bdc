#pragma once

// Device databases of chosen shapes for tests and benchmarks: codes drawn at random, and codes
// chosen to land on one run of slots of an index hashed the way it once was, with a fixed
// multiply that a file could aim at.

#include <cstdint>
#include <cstring>
#include <random>
#include <string>

namespace quillon::test {

// The number of slots of the index of a table of `devices` device lines.
inline std::uint64_t IndexSize(std::size_t devices) {
    std::uint64_t size = 16;
    while (size < devices * 2) {
        size *= 2;
    }
    return size;
}

// The slot a key took in an index of `size` slots under the fixed hash.
inline std::uint64_t FixedHashSlot(const char (&key)[8], std::uint64_t size) {
    std::uint64_t value = 0;
    std::memcpy(&value, key, sizeof value);
    value *= 0x9E3779B97F4A7C15ull;
    value ^= value >> 29;
    return value & (size - 1);
}

inline void AppendDevice(std::string& text, const char (&code)[8], std::size_t number) {
    text.append(code, 8);
    text += ",Maker ";
    text += std::to_string(number % 97);
    text += ",Model ";
    text += std::to_string(number);
    text += "\r\n";
}

inline void CodeOf(std::uint32_t number, char (&code)[8]) {
    for (int i = 7; i >= 0; --i) {
        code[i] = static_cast<char>('0' + number % 10);
        number /= 10;
    }
}

// `devices` lines of distinct eight-digit codes whose fixed-hash slots all fall in the first
// 64th of the index, then the version line.
inline std::string AimedCodesDatabase(std::size_t devices) {
    std::string text;
    text.reserve(devices * 32);
    const std::uint64_t size = IndexSize(devices);
    char code[8];
    std::size_t made = 0;
    for (std::uint32_t number = 10'000'000; made < devices && number < 100'000'000; ++number) {
        CodeOf(number, code);
        if (FixedHashSlot(code, size) < size / 64) {
            AppendDevice(text, code, ++made);
        }
    }
    text += "99999999,QN-AIMED\r\n";
    return text;
}

// `devices` lines of random eight-digit codes, then the version line.
inline std::string RandomCodesDatabase(std::size_t devices, std::uint32_t seed = 7) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::uint32_t> draw(10'000'000, 99'999'998);
    std::string text;
    text.reserve(devices * 32);
    char code[8];
    for (std::size_t made = 1; made <= devices; ++made) {
        CodeOf(draw(random), code);
        AppendDevice(text, code, made);
    }
    text += "99999999,QN-RANDOM\r\n";
    return text;
}

} // namespace quillon::test
