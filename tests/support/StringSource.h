#pragma once

#include "devicedb/DeviceImport.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

namespace quillon::testing {

// Bytes from a string, handed out `block` at a time so that every read loop runs: a file (can go
// back to its start, knows its size) or a stream (cannot, does not).
class StringSource final : public ByteSource {
public:
    StringSource(std::string bytes, bool file, std::size_t block = 70000)
        : m_bytes(std::move(bytes)),
          m_file(file),
          m_block(block) {}
    std::size_t Read(char* into, std::size_t size) override {
        const std::size_t take = std::min({size, m_bytes.size() - m_at, m_block});
        std::memcpy(into, m_bytes.data() + m_at, take);
        m_at += take;
        return take;
    }
    bool Rewind() override {
        if (m_file) {
            m_at = 0;
        }
        return m_file;
    }
    int Error() const override { return 0; }
    std::uint64_t SizeHint() const override { return m_file ? m_bytes.size() : 0; }

private:
    std::string m_bytes;
    bool m_file;
    std::size_t m_block;
    std::size_t m_at = 0;
};

} // namespace quillon::testing
