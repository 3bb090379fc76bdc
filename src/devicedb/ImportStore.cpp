#include "ImportStore.h"

#include "devicedb/DeviceTable.h"
#include "system/Files.h"

#include <algorithm>
#include <cstring>
#include <tuple>

namespace quillon {

namespace {

constexpr std::size_t kChunk = std::size_t{8} << 20;
// Replaced lines are given back once they take more than the live ones and at least this.
constexpr std::size_t kCompactAfter = std::size_t{4} << 20;

} // namespace

ImportStore::ImportStore() : m_slots(1024, {0, 0}) {}

void ImportStore::Reserve(std::uint64_t bytes) {
    // Taken from memory only as it is used: the list then grows without copying itself.
    const std::uint64_t rows = std::min<std::uint64_t>(bytes / 16, kMaxDatabaseLines);
    if (m_records.capacity() < m_records.size() + rows) {
        m_records.reserve(m_records.size() + static_cast<std::size_t>(rows));
        AdviseLargePages(m_records.data(), m_records.capacity() * sizeof(Record));
    }
}

void ImportStore::Skip(SkipReason reason, std::size_t line) {
    SkippedRows& rows = m_skipped[static_cast<std::size_t>(reason)];
    ++rows.count;
    if (rows.first.size() < kFirstLinesKept) {
        rows.first.push_back({m_fileIndex, line});
    }
}

bool ImportStore::NearLimits() const {
    // Every device kept takes a line of the result: past either limit no base can make it fit.
    return m_records.size() + 1 > kMaxDatabaseLines || m_liveBytes + 2 * m_records.size() > kMaxDatabaseBytes;
}

std::pair<std::uint32_t, std::uint32_t> ImportStore::Room(std::vector<std::string>& chunks, std::size_t length) {
    if (chunks.empty() || chunks.back().capacity() - chunks.back().size() < length) {
        chunks.emplace_back();
        chunks.back().reserve(std::max(kChunk, length));
        AdviseLargePages(chunks.back().data(), chunks.back().capacity());
    }
    m_heldBytes += length;
    return {static_cast<std::uint32_t>(chunks.size() - 1), static_cast<std::uint32_t>(chunks.back().size())};
}

void ImportStore::Queue(std::uint32_t code, std::string_view manufacturer, std::string_view model) {
    constexpr std::size_t kAhead = 16;
    __builtin_prefetch(&m_slots[SlotOf(code)]);
    m_queue.push_back(
        {code, static_cast<std::uint32_t>(manufacturer.size()), static_cast<std::uint32_t>(model.size())});
    m_queuedNames.append(manufacturer).append(model);
    if (m_queue.size() == kAhead) {
        AddQueued();
    }
}

void ImportStore::AddQueued() {
    std::size_t at = 0;
    for (const Queued& row : m_queue) {
        const std::string_view names(m_queuedNames);
        Add(row.code, names.substr(at, row.manufacturerLength),
            names.substr(at + row.manufacturerLength, row.modelLength));
        at += row.manufacturerLength + row.modelLength;
    }
    m_queue.clear();
    m_queuedNames.clear();
}

void ImportStore::Add(std::uint32_t code, std::string_view manufacturer, std::string_view model) {
    char digits[9];
    for (std::uint32_t rest = code, i = 8; i-- > 0; rest /= 10) {
        digits[i] = static_cast<char>('0' + rest % 10);
    }
    digits[8] = ',';
    const std::size_t length = 9 + manufacturer.size() + 1 + model.size();
    auto write = [&](char* at) {
        std::memcpy(at, digits, 9);
        std::memcpy(at + 9, manufacturer.data(), manufacturer.size());
        at[9 + manufacturer.size()] = ',';
        std::memcpy(at + 10 + manufacturer.size(), model.data(), model.size());
    };
    auto append = [&](std::string& chunk) {
        chunk.append(digits, 9).append(manufacturer).append(1, ',').append(model);
    };

    const std::size_t mask = m_slots.size() - 1;
    std::size_t slot = SlotOf(code);
    while (m_slots[slot].second != 0 && m_slots[slot].first != code) {
        slot = (slot + 1) & mask;
    }
    if (m_slots[slot].second != 0) {
        // A code read again keeps its place and takes the new names; in its old room when they fit.
        ++m_repeated;
        Record& record = m_records[m_slots[slot].second - 1];
        m_liveBytes -= record.length;
        if (length <= record.length) {
            write(m_chunks[record.chunk].data() + record.offset);
        } else {
            std::tie(record.chunk, record.offset) = Room(m_chunks, length);
            append(m_chunks[record.chunk]);
        }
        record.length = static_cast<std::uint32_t>(length);
        m_liveBytes += length;
        if (m_heldBytes - m_liveBytes > std::max(m_liveBytes, kCompactAfter)) {
            Compact();
        }
        return;
    }
    const auto [chunk, offset] = Room(m_chunks, length);
    append(m_chunks[chunk]);
    m_liveBytes += length;
    m_records.push_back({code, chunk, offset, static_cast<std::uint32_t>(length)});
    m_slots[slot] = {code, static_cast<std::uint32_t>(m_records.size())};
    if (m_records.size() * 2 > m_slots.size()) {
        GrowIndex();
    }
}

void ImportStore::GrowIndex() {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> grown;
    grown.reserve(m_slots.size() * 2);
    AdviseLargePages(grown.data(), grown.capacity() * sizeof grown[0]);
    grown.assign(m_slots.size() * 2, {0, 0});
    m_slots.swap(grown);
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t index = 0; index < m_records.size(); ++index) {
        std::size_t at = SlotOf(m_records[index].code);
        while (m_slots[at].second != 0) {
            at = (at + 1) & mask;
        }
        m_slots[at] = {m_records[index].code, static_cast<std::uint32_t>(index + 1)};
    }
}

void ImportStore::Compact() {
    std::vector<std::string> chunks;
    m_heldBytes = 0;
    for (Record& record : m_records) {
        const std::string_view line = Line(static_cast<std::size_t>(&record - m_records.data()));
        const auto [chunk, offset] = Room(chunks, line.size());
        chunks[chunk].append(line);
        record.chunk = chunk;
        record.offset = offset;
    }
    m_chunks.swap(chunks);
}

} // namespace quillon
