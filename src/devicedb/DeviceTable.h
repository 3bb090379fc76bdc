#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// Files larger than this are refused, never read.
inline constexpr std::uintmax_t kMaxDatabaseBytes = 64ull * 1024 * 1024;

inline constexpr std::string_view kDatabaseMissingMessage =
    "Fatal Error! IMEI Database not found! Please download and reinstall!";
inline constexpr std::string_view kDatabaseErrorCaption = "Database Version: ERROR! Download and reinstall!";

// The lines of tacdex.csv, held as one UTF-8 buffer with line offsets. Lines are numbered from
// 1; the last line is the version line.
class DeviceTable {
public:
    DeviceTable() = default;
    // Decodes raw file bytes (UTF-8, BOM dropped; otherwise Windows-1252) and splits them at
    // CR LF, LF or CR. A final line end does not start another line.
    static DeviceTable FromBytes(std::string bytes);

    std::size_t LineCount() const { return m_lineCount; } // DeviceLineCount
    // Line `number` (1..LineCount) without its line end; empty outside that range.
    std::string_view Line(std::size_t number) const;

private:
    std::string m_text;
    std::vector<std::uint32_t> m_bounds; // start and end offset of each line, in pairs
    std::size_t m_lineCount = 0;
};

// Field `number` (from 1) of a line divided at every comma; empty when the line has fewer.
std::string_view Field(std::string_view line, std::size_t number);
std::size_t FieldCount(std::string_view line);
// What the model list shows for a device line: fields 2 and 3 joined by one space; a line with
// fewer fields shows the fields it has.
std::string DeviceEntryText(std::string_view line);

enum class DatabaseError { None, Missing, Unreadable, TooLarge };

struct DatabaseReadResult {
    DatabaseError error = DatabaseError::None;
    std::string message; // empty on success
    bool ok() const { return error == DatabaseError::None; }
};

// Reads the whole file. On success the table is replaced; on failure it is left as it was.
DatabaseReadResult ReadDeviceTable(const std::filesystem::path& path, DeviceTable& table);

struct DatabaseCaptions {
    std::string versionText;    // characters 10-19 of the last line
    std::string versionCaption; // "Database Version:   " + versionText
    std::string countCaption;   // "Devices Supported: " + (n - 1)
};
DatabaseCaptions MakeDatabaseCaptions(const DeviceTable& table);

struct DeviceMatch {
    bool found = false;
    std::string manufacturer; // field 2 of the last matching line
    std::string model;        // field 3 of the last matching line
    std::size_t lineNumber = 0;
};
// Scans every line, the version line included; a line matches when its first eight characters
// equal the first eight characters of `imeiText`. The last match wins.
DeviceMatch FindDevice(const DeviceTable& table, std::string_view imeiText);

// The database file together with its last good read.
class DeviceDatabase {
public:
    explicit DeviceDatabase(std::filesystem::path path) : m_path(std::move(path)) {}

    // Start-up load: Missing when the file does not exist; the table is empty then.
    DatabaseReadResult Load();
    // Before each lookup: on failure the table keeps the last good read.
    DatabaseReadResult Reload();

    const DeviceTable& Table() const { return m_table; }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
    DeviceTable m_table;
};

} // namespace quillon
