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
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

enum class ImportLayout { Gsma, Osmocom, Csv, Tacdex };
// "GSMA", "Osmocom", "CSV", "tacdex.csv": as the summary names a layout.
std::string_view ImportLayoutName(ImportLayout layout);

// How one export is read.
struct ImportSettings {
    std::optional<ImportLayout> layout{}; // none: recognised from the header row
    // Header names of the columns where the header uses other words than those looked for.
    std::optional<std::string> codeColumn{};
    std::optional<std::string> manufacturerColumn{};
    std::optional<std::string> modelColumn{};
    // The columns by position (from 0), for an export whose header is not recognised or that has
    // none. Columns are by position when codeIndex is given; a name whose index is not given is
    // not read, and the columns named above are not looked for.
    std::optional<std::size_t> codeIndex{};
    std::optional<std::size_t> manufacturerIndex{};
    std::optional<std::size_t> modelIndex{};
    // With columns by position: whether the first line is a header (skipped). Unset: it is a
    // header when no field of it is an eight-digit code.
    std::optional<bool> firstLineIsHeader{};
    bool padCodes = false; // codes of one to seven digits get their leading zeros back
    bool longRows = false; // a quoted row may take in more than kMaxRowLines lines
};

// The lines one row may take in, through quoted line breaks, unless longRows.
inline constexpr std::size_t kMaxRowLines = 10;
// The window's model list leaves out device lines 1 to this, and the last device line.
inline constexpr std::size_t kUnlistedLeadingLines = 25;
// What messages quote of a field or a line at most, in characters.
inline constexpr std::size_t kMessageQuoteChars = 200;

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

// A row taking in more than one line: the line where the quote that took in the line breaks
// opened, and the lines the row takes in.
struct MultiLineRow {
    std::size_t line = 0;
    std::size_t lines = 0;
    bool operator==(const MultiLineRow&) const = default;
};

// What reading one export found.
struct ExportRead {
    enum class Outcome {
        Read,
        NoHeader,     // no header row of a layout looked for; `headerFields` holds what was found
        ReadFailed,   // `error`
        BeyondLimits, // the devices kept so far would already make too large a database
        LineTooLong,  // `line` is longer than kMaxLineBytes
        // A quoted row took in more than kMaxRowLines lines: `line` where its quote opened,
        // `linesTaken` the lines up to its end.
        RowTooLong,
        QuoteOpenAtEnd, // a quoted field still open at the end of the input: `line` where it opened
    };
    using MultiLineRow = quillon::MultiLineRow;
    Outcome outcome = Outcome::Read;
    ImportLayout layout = ImportLayout::Csv;
    TextEncoding encoding = TextEncoding::Utf8;
    std::size_t rows = 0;              // data rows, skipped ones included; blank lines are not rows
    std::size_t replacedSequences = 0; // a stream's bytes after its first 64 KiB that were not UTF-8
    // NoHeader: the first line's fields, at most 21, each cut to kMessageQuoteChars characters
    // with "…" after a cut one.
    std::vector<std::string> headerFields;
    int error = 0;
    std::size_t line = 0;
    std::size_t linesTaken = 0;
    std::size_t multiLineRows = 0;                       // rows taking in more than one line
    std::vector<MultiLineRow> firstMultiLineRows;        // at most kFirstLinesKept
    std::array<std::size_t, kSkipReasonCount> skipped{}; // this export's skipped rows by reason
};

class ImportStore;

// The devices of one or more exports, merged as they are read: a code read twice keeps its first
// position and takes the names of its last row.
class DeviceImport {
public:
    DeviceImport();
    // With another line limit than kMaxLineBytes.
    explicit DeviceImport(std::size_t maxLineBytes);
    ~DeviceImport();
    DeviceImport(DeviceImport&&) noexcept;
    DeviceImport& operator=(DeviceImport&&) noexcept;

    ExportRead Read(ByteSource& source, const ImportSettings& settings);

    std::size_t DeviceCount() const;
    std::size_t RepeatedCodes() const; // rows whose code an earlier row had
    const std::array<SkippedRows, kSkipReasonCount>& Skipped() const;
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
    std::unique_ptr<ImportStore> m_store;
    std::size_t m_maxLineBytes;
};

// Whether `text` is 1 to 10 printable ASCII characters, as a version text has to be.
bool IsValidVersionText(std::string_view text);

} // namespace quillon
