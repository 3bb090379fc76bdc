// Arbitrary bytes as a device list to import: layout recognition, the quoted-field reader, the
// encodings, the line limit and the merged file. The first byte picks the settings; the rest is
// the export.
#include "FuzzCheck.h"

#include "devicedb/DeviceImport.h"
#include "devicedb/DeviceTable.h"
#include "support/StringSource.h"
#include "utf8/Utf8.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace quillon;

struct Outcome {
    ExportRead read;
    std::vector<std::string> lines;
    std::string merged; // the devices alone, version "V"
};

Outcome Import(const ImportSettings& settings, std::string_view bytes, std::size_t block, bool file,
               std::size_t maxLineBytes) {
    DeviceImport import(maxLineBytes);
    testing::StringSource source(std::string(bytes), file, block);
    Outcome outcome{import.Read(source, settings), {}, {}};
    for (std::size_t i = 0; i < import.DeviceCount(); ++i) {
        outcome.lines.emplace_back(import.Line(i));
    }
    std::size_t skipped = 0;
    for (const SkippedRows& rows : import.Skipped()) {
        QUILLON_FUZZ_CHECK(rows.first.size() == std::min(rows.count, kFirstLinesKept));
        for (const SkippedRows::Where& where : rows.first) {
            QUILLON_FUZZ_CHECK(where.file == 0 && where.line >= 1);
        }
        skipped += rows.count;
    }
    for (std::size_t reason = 0; reason < kSkipReasonCount; ++reason) {
        QUILLON_FUZZ_CHECK(outcome.read.skipped[reason] == import.Skipped()[reason].count);
    }
    QUILLON_FUZZ_CHECK(outcome.read.firstMultiLineRows.size() == std::min(outcome.read.multiLineRows, kFirstLinesKept));
    for (const MultiLineRow& row : outcome.read.firstMultiLineRows) {
        QUILLON_FUZZ_CHECK(row.line >= 1 && row.lines >= 2 &&
                           (settings.longRows || outcome.read.outcome == ExportRead::Outcome::RowTooLong ||
                            row.lines <= kMaxRowLines));
    }
    QUILLON_FUZZ_CHECK(outcome.read.headerFields.size() <= 21);
    for (const std::string& field : outcome.read.headerFields) {
        QUILLON_FUZZ_CHECK(Utf8Length(field) <= kMessageQuoteChars + 1);
    }
    if (outcome.read.outcome == ExportRead::Outcome::Read) {
        // Every row is a device, a repeated code or a skipped row.
        QUILLON_FUZZ_CHECK(outcome.read.rows == import.DeviceCount() + import.RepeatedCodes() + skipped);
        QUILLON_FUZZ_CHECK(outcome.read.multiLineRows <= outcome.read.rows);
    }
    if (import.DeviceCount() > 0) {
        const DeviceImport::Plan plan = import.PlanMerge(nullptr, "V");
        import.WriteMerged(nullptr, "V", [&outcome](std::string_view piece) { outcome.merged += piece;
    });
    QUILLON_FUZZ_CHECK(plan.bytes == outcome.merged.size());
    QUILLON_FUZZ_CHECK(plan.deviceLines == import.DeviceCount() && plan.newDevices == import.DeviceCount());
}
return outcome;
} // namespace

// "TAC,manufacturer,model": eight digits, then trimmed names without commas or control characters,
// at least one of them given.
void CheckDeviceLine(std::string_view line) {
    QUILLON_FUZZ_CHECK(line.size() >= 10 && line[8] == ',');
    QUILLON_FUZZ_CHECK(std::all_of(line.begin(), line.begin() + 8, [](char c) { return c >= '0' && c <= '9'; }));
    QUILLON_FUZZ_CHECK(IsValidUtf8(line));
    const std::string_view names = line.substr(9);
    const std::size_t comma = names.find(',');
    QUILLON_FUZZ_CHECK(comma != std::string_view::npos && names.find(',', comma + 1) == std::string_view::npos);
    QUILLON_FUZZ_CHECK(names.size() > 1);
    for (const std::string_view name : {names.substr(0, comma), names.substr(comma + 1)}) {
        QUILLON_FUZZ_CHECK(name.empty() || (name.front() != ' ' && name.back() != ' '));
        QUILLON_FUZZ_CHECK(std::none_of(name.begin(), name.end(),
                                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::uint8_t pick = data[0];
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    ImportSettings settings;
    if (pick % 5 != 4) {
        settings.layout = static_cast<ImportLayout>(pick % 5);
    }
    settings.padCodes = (pick & 0x08) != 0;
    if ((pick & 0x10) != 0) {
        settings.codeColumn = "Code";
        settings.modelColumn = "Device";
    }
    settings.longRows = (pick & 0x20) != 0;
    if ((pick & 0x40) != 0) {
        settings.codeIndex = pick % 3;
        settings.manufacturerIndex = 1;
        settings.modelIndex = 2;
        if (pick % 3 != 2) {
            settings.firstLineIsHeader = pick % 3 == 0;
        }
    }
    // A short line limit, so that lines past it come often.
    const std::size_t maxLineBytes = (pick & 0x80) != 0 ? 40 : kMaxLineBytes;

    const Outcome whole = Import(settings, bytes, std::size_t{1} << 20, true, maxLineBytes);
    std::set<std::string_view> codes;
    for (const std::string& line : whole.lines) {
        CheckDeviceLine(line);
        QUILLON_FUZZ_CHECK(codes.insert(std::string_view(line).substr(0, 8)).second);
    }
    if (!whole.lines.empty()) {
        // The merged file reads back as those lines and the version line.
        const DeviceTable table = DeviceTable::FromBytes(whole.merged);
        QUILLON_FUZZ_CHECK(table.LineCount() == whole.lines.size() + 1);
        for (std::size_t i = 0; i < whole.lines.size(); ++i) {
            QUILLON_FUZZ_CHECK(table.Line(i + 1) == whole.lines[i]);
        }
        QUILLON_FUZZ_CHECK(table.Line(table.LineCount()) == "99999999,V");
    }

    // Read in small blocks, and as a stream that cannot go back, the same list comes out: the
    // input is within the first 64 KiB by which a stream's encoding is decided.
    if (bytes.size() <= 65536) {
        const std::size_t block = 1 + pick % 7;
        for (const bool file : {true, false}) {
            const Outcome again = Import(settings, bytes, block, file, maxLineBytes);
            QUILLON_FUZZ_CHECK(again.read.outcome == whole.read.outcome);
            QUILLON_FUZZ_CHECK(again.read.line == whole.read.line && again.read.linesTaken == whole.read.linesTaken);
            QUILLON_FUZZ_CHECK(again.read.multiLineRows == whole.read.multiLineRows);
            QUILLON_FUZZ_CHECK(again.read.headerFields == whole.read.headerFields);
            QUILLON_FUZZ_CHECK(again.read.layout == whole.read.layout);
            QUILLON_FUZZ_CHECK(again.read.encoding == whole.read.encoding);
            QUILLON_FUZZ_CHECK(again.read.rows == whole.read.rows);
            QUILLON_FUZZ_CHECK(again.read.replacedSequences == 0);
            QUILLON_FUZZ_CHECK(again.lines == whole.lines);
        }
    }
    return 0;
}
