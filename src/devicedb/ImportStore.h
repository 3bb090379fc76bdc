#pragma once

// The devices imported so far: one line each, "TAC,manufacturer,model", in the order their codes
// were first read, with an index from code to device.

#include "KeyedHash.h"
#include "devicedb/DeviceImport.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillon {

class ImportStore {
public:
    ImportStore();

    // Room ahead for as many devices as `bytes` of rows could hold.
    void Reserve(std::uint64_t bytes);
    // Adds a device a few rows later: each code's slot is fetched from memory while the rows before
    // it are added, since codes come in no order and the index is larger than the processor's
    // caches. A code read again keeps its place and takes the new names.
    void Queue(std::uint32_t code, std::string_view manufacturer, std::string_view model);
    void AddQueued();
    void Skip(SkipReason reason, std::size_t line);
    // Whether the devices kept would already make too large a database.
    bool NearLimits() const;
    // The next rows come from the next export.
    void NextFile() { ++m_fileIndex; }

    std::size_t DeviceCount() const { return m_records.size(); }
    std::size_t RepeatedCodes() const { return m_repeated; }
    const std::array<SkippedRows, kSkipReasonCount>& Skipped() const { return m_skipped; }
    std::string_view Line(std::size_t index) const {
        const Record& record = m_records[index];
        return std::string_view(m_chunks[record.chunk]).substr(record.offset, record.length);
    }
    // The bytes the lines take in memory, replaced ones not yet given back included.
    std::size_t HeldBytes() const { return m_heldBytes; }

private:
    struct Record {
        std::uint32_t code;
        std::uint32_t chunk;  // of m_chunks
        std::uint32_t offset; // of its line in that chunk
        std::uint32_t length;
    };
    struct Queued {
        std::uint32_t code;
        std::uint32_t manufacturerLength;
        std::uint32_t modelLength;
    };

    void Add(std::uint32_t code, std::string_view manufacturer, std::string_view model);
    // Room for a line of `length` bytes at the end of the last chunk, or in a new one.
    std::pair<std::uint32_t, std::uint32_t> Room(std::vector<std::string>& chunks, std::size_t length);
    std::size_t SlotOf(std::uint32_t code) const { return HashCode(code, m_secrets) & (m_slots.size() - 1); }
    void GrowIndex();
    // Copies the live lines into new chunks once the replaced ones take more room than they do.
    void Compact();

    HashSecrets m_secrets = IndexHashSecrets();
    // The device lines, in chunks that are never moved once made, so that growing costs no copy.
    std::vector<std::string> m_chunks;
    std::size_t m_liveBytes = 0;
    std::size_t m_heldBytes = 0;
    std::vector<Record> m_records;
    // Open addressing from code to record index + 1 (0: free), a power of two at most half full.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_slots;
    std::vector<Queued> m_queue;
    std::string m_queuedNames;
    std::size_t m_repeated = 0;
    std::array<SkippedRows, kSkipReasonCount> m_skipped{};
    std::size_t m_fileIndex = 0;
};

} // namespace quillon
