#pragma once

// Building a device database from device lists kept elsewhere: the GSMA's TAC database export, the
// Osmocom project's CSV export, any spreadsheet's CSV with a header row, and tacdex.csv itself.
// Exports are read as streams in blocks, so memory follows the devices kept, not the input's size;
// the result is merged into a base database or stands alone, and is written in tacdex.csv's layout.

#include "devicedb/DeviceTable.h"
#include "utf8/Utf8.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

enum class ImportLayout { Gsma, Osmocom, Csv, Tacdex };
// "GSMA", "Osmocom", "CSV", "tacdex.csv": as the summary names a layout.
std::string_view ImportLayoutName(ImportLayout layout);

struct ImportSettings {
    std::optional<ImportLayout> layout{}; // none: recognised from the header row
    // Header names of the columns where the header uses other words than those looked for.
    std::optional<std::string> codeColumn{};
    std::optional<std::string> manufacturerColumn{};
    std::optional<std::string> modelColumn{};
    bool padCodes = false; // codes of one to seven digits get their leading zeros back
};

// The header names looked for, as compared: lower case, `_` read as a space, no surrounding spaces.
struct ColumnNames {
    std::vector<std::string_view> code, brand, manufacturer, marketingName, model;
};
const ColumnNames& LookedForColumns();
// A header name as compared.
std::string NormaliseColumnName(std::string_view name);

// A source of bytes: a file, which can be read twice (once to decide its encoding), or a stream.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Up to `size` bytes into `into`; 0 at the end or on an error.
    virtual std::size_t Read(char* into, std::size_t size) = 0;
    // Back to the first byte; false for a stream, whose encoding its first 64 KiB decide.
    virtual bool Rewind() = 0;
    // The errno value of a failed read or rewind; 0 while none failed.
    virtual int Error() const = 0;
    // The number of bytes to come when known (a file's size), else 0: room is made ahead for rows.
    virtual std::uint64_t SizeHint() const { return 0; }
};

// Why rows were skipped, each counted with the file lines where the first five start.
enum class SkipReason {
    NoCode,       // no eight-digit code
    ShortCode,    // one to seven digits: leading zeros lost in a spreadsheet (--pad-codes)
    ExponentCode, // a number in exponent form (3.5E+07): refused, its digits are lost
    NoName,       // neither a manufacturer nor a model
    FieldCount,   // another number of fields than the header
};
inline constexpr std::size_t kSkipReasonCount = 5;
inline constexpr std::size_t kFirstLinesKept = 5;

struct SkippedRows {
    std::size_t count = 0;
    struct Where {
        std::size_t file = 0; // index of the export, from 0
        std::size_t line = 0; // file line where the row starts, from 1
    };
    std::vector<Where> first; // at most kFirstLinesKept
};

// What reading one export found.
struct ExportRead {
    enum class Outcome {
        Read,
        NoHeader,     // no header row of a layout looked for; `headerFields` holds what was found
        ReadFailed,   // `error`
        BeyondLimits, // the devices kept so far would already make too large a database
    };
    Outcome outcome = Outcome::Read;
    ImportLayout layout = ImportLayout::Csv;
    TextEncoding encoding = TextEncoding::Utf8;
    std::size_t rows = 0;                  // data rows, skipped ones included; blank lines are not rows
    std::size_t replacedSequences = 0;     // a stream's bytes after its first 64 KiB that were not UTF-8
    std::vector<std::string> headerFields; // NoHeader: the first line's fields
    int error = 0;
};

// The devices of one or more exports, merged as they are read: a code read twice keeps its first
// position and takes the names of its last row.
class DeviceImport {
public:
    explicit DeviceImport(ImportSettings settings);

    ExportRead Read(ByteSource& source);

    std::size_t DeviceCount() const { return m_records.size(); }
    std::size_t RepeatedCodes() const { return m_repeated; } // rows whose code an earlier row had
    const std::array<SkippedRows, kSkipReasonCount>& Skipped() const { return m_skipped; }
    // The device line of import `index` (0..DeviceCount-1), in first-read order: "TAC,maker,model".
    std::string_view Line(std::size_t index) const;

    // Where the devices stand in the merged file: replacing the line that lookups in `base` use
    // today, or as new lines after the base's lines but before its last device line. Without a
    // base (`--replace`) the file holds the imported devices alone.
    struct Plan {
        std::size_t newDevices = 0;
        std::size_t replacedDevices = 0;
        std::size_t deviceLines = 0;
        std::uint64_t bytes = 0; // CR LF ends and the version line included
        bool withinLimits = true;
        // Imported devices at a line that the window's model list leaves out (lines 1 to 25 and
        // the last device line): their line numbers and codes.
        std::vector<std::pair<std::size_t, std::string>> unlisted;
    };
    Plan PlanMerge(const DeviceTable* base, std::string_view version) const;
    // Hands the merged file to `write` in pieces, in order.
    void WriteMerged(const DeviceTable* base, std::string_view version,
                     const std::function<void(std::string_view)>& write) const;

private:
    struct Record {
        std::uint32_t code;
        std::uint32_t chunk;  // of m_lines
        std::uint32_t offset; // of its line in that chunk
        std::uint32_t length;
    };
    // Room for a line of `length` bytes at the end of the last chunk, or in a new one.
    std::pair<std::uint32_t, std::uint32_t> Room(std::size_t length);
    std::size_t SlotOf(std::uint32_t code, std::size_t mask) const;
    void Add(std::uint32_t code, std::string_view manufacturer, std::string_view model);
    // Add, a few rows later: each code's slot is fetched from memory while the rows before it are
    // added, since codes come in no order and the index is larger than the processor's caches.
    void Queue(std::uint32_t code, std::string_view manufacturer, std::string_view model);
    void AddQueued();
    void Skip(SkipReason reason, std::size_t line);
    // For each device line of `base`, the import that replaces it (or kNone).
    std::vector<std::uint32_t> Replacements(const DeviceTable& base) const;
    bool NearLimits() const;

    friend class ExportParser;

    ImportSettings m_settings;
    // The device lines, in chunks that are never moved once made, so that growing costs no copy.
    std::vector<std::string> m_lines;
    std::size_t m_liveBytes = 0;
    std::vector<Record> m_records;
    // Open addressing from code to record index + 1 (0: free), a power of two at most half full.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_slots;
    struct Queued {
        std::uint32_t code;
        std::uint32_t manufacturerLength;
        std::uint32_t modelLength;
    };
    std::vector<Queued> m_queue;
    std::string m_queuedNames;
    std::size_t m_repeated = 0;
    std::array<SkippedRows, kSkipReasonCount> m_skipped{};
    std::size_t m_fileIndex = 0;
};

// Whether `text` is 1 to 10 printable ASCII characters, as a version text has to be.
bool IsValidVersionText(std::string_view text);

} // namespace quillon
