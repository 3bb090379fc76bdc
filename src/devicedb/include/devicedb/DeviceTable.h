#pragma once

#include "system/Problem.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// Files larger than this are refused, never read. A Windows-1252 file is also refused when its
// text would grow past this once converted to UTF-8.
inline constexpr std::uintmax_t kMaxDatabaseBytes = 64ull * 1024 * 1024;
// Files of more lines than this are refused: every line costs memory for its offset, whatever its
// length, so a file of nothing but line ends would otherwise take many times its own size.
inline constexpr std::size_t kMaxDatabaseLines = 2'000'000;

// How a table serves lookups: an index built with the table answers each lookup at once; without
// it each lookup scans the lines. The index pays off from the second lookup on the same read.
enum class TableLookup { Indexed, Scan };

// The lines of tacdex.csv, held as one UTF-8 buffer with line offsets. Lines are numbered from
// 1; the last line is the version line, every line before it a device line. Copies share the
// text, so a copy kept for later (the model list's) costs nothing.
class DeviceTable {
public:
    DeviceTable();
    // Decodes raw file bytes (UTF-8, BOM dropped; otherwise Windows-1252) and splits them at
    // CR LF, LF or CR. A final line end does not start another line. No size or line limit.
    static DeviceTable FromBytes(std::string bytes, TableLookup lookup = TableLookup::Indexed);

    std::size_t LineCount() const; // DeviceLineCount
    // Line `number` (1..LineCount) without its line end; empty outside that range.
    std::string_view Line(std::size_t number) const;
    bool HasIndex() const;
    // The last device line whose first eight characters are `key` (or, for a shorter key, that
    // equals it); 0 when none. Uses the index when there is one, else scans.
    std::size_t FindLine(std::string_view key) const;
    // A hint that `key` will be looked up soon: starts fetching its index slot from memory.
    void PrefetchKey(std::string_view key) const;
    // The same by scanning every device line, index or not.
    std::size_t ScanForLine(std::string_view key) const;

    struct Data;

private:
    friend struct DeviceTableBuilder;
    explicit DeviceTable(std::shared_ptr<const Data> data) : m_data(std::move(data)) {}
    std::shared_ptr<const Data> m_data;
};

// Field `number` (from 1) of a line divided at every comma; empty when the line has fewer.
std::string_view Field(std::string_view line, std::size_t number);
std::size_t FieldCount(std::string_view line);
// What the model list shows for a device line: fields 2 and 3 joined by one space; a line with
// fewer fields shows the fields it has.
std::string DeviceEntryText(std::string_view line);

// Reads the whole file. On success the table is replaced; on failure it is left as it was and the
// problem says why. A file with no line at all is refused as empty: it has not even a version line.
// More than `maxBytes` is refused, also when the file turns out longer than its size said.
std::optional<Problem> ReadDeviceTable(const std::filesystem::path& path, DeviceTable& table,
                                       TableLookup lookup = TableLookup::Indexed,
                                       std::uintmax_t maxBytes = kMaxDatabaseBytes);

struct DatabaseSummary {
    std::string version;         // characters 10-19 of the version line
    std::size_t deviceCount = 0; // the lines before it
};
DatabaseSummary SummariseDatabase(const DeviceTable& table);

struct DeviceMatch {
    bool found = false;
    std::string manufacturer; // field 2 of the last matching line
    std::string model;        // field 3 of the last matching line
    std::size_t lineNumber = 0;
};
// A device line matches when its first eight characters equal the first eight characters of
// `imeiText`; the last match wins. The version line is never a device. Kept for the tests and
// fuzz targets, which hold the programs' lookup against it.
DeviceMatch FindDevice(const DeviceTable& table, std::string_view imeiText);

// The database file together with its last good read.
class DeviceDatabase {
public:
    explicit DeviceDatabase(std::filesystem::path path, TableLookup lookup = TableLookup::Indexed)
        : m_path(std::move(path)),
          m_lookup(lookup) {}

    // Start-up load; on failure the table is empty.
    std::optional<Problem> Load();
    // Before each lookup: on failure the table keeps the last good read.
    std::optional<Problem> Reload();
    // After a failed Reload: whether an earlier re-read had already failed with no good read
    // since, so that the user need not be told again.
    bool FailureAlreadyReported() const { return m_failuresInARow > 1; }

    const DeviceTable& Table() const { return m_table; }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
    TableLookup m_lookup;
    DeviceTable m_table;
    std::size_t m_failuresInARow = 0;
};

} // namespace quillon
