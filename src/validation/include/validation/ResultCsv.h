#pragma once

// Validation results as CSV (RFC 4180, UTF-8, CR LF line ends, a header row): the one writer behind
// quillon-cli's `validate --format csv` and the window's "Save as CSV...", so that the two write the
// same bytes for the same inputs. Every field goes through AppendCsvField, which guards it.

#include "validation/TextStreams.h"
#include "validation/Validation.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace quillon {

inline constexpr std::string_view kValidationCsvHeader = "input,imei,rejected,presentation,reporting_body,boxes,tac,"
                                                         "serial,check,checksum,luhn,valid,found,manufacturer,model";

class ValidationCsv {
public:
    // Writes the header row.
    explicit ValidationCsv(OutputSink& out);
    // One row: the input as read and what validating it found.
    void Write(std::string_view input, const ValidationResult& result);

private:
    OutputSink& m_out;
    std::string m_scratch; // a field put together, kept from row to row
};

// One CSV field. Quoted only when the value holds a comma, quote or line end; made UTF-8 without
// NUL (bytes that are not UTF-8 replaced as RepairedUtf8 replaces them, NUL as U+FFFD); and a
// value that a spreadsheet would take for a formula gets a leading apostrophe.
void AppendCsvField(OutputSink& out, std::string_view value);
// Whether a spreadsheet takes a value for a formula: it begins with =, +, -, @, a tab or a CR.
bool StartsLikeFormula(std::string_view value);
// A cell of tab-separated text for pasting into a spreadsheet: defused as a CSV field is (the
// leading apostrophe), with its tabs and line breaks as spaces so that it stays one cell.
void AppendSpreadsheetCell(std::string& out, std::string_view value);
// The text with each byte sequence that is not UTF-8 replaced by U+FFFD, as the JSON library
// replaces them.
std::string RepairedUtf8(std::string_view piece);

// Calls `take` with consecutive pieces of `value` of about 64 KiB, so that a long line is never
// copied whole. A piece ends before a byte that starts a character (ASCII or a lead byte): a
// decoder starts afresh there whether or not a piece ends, so the pieces come out as the whole.
template <typename Take> void InPieces(std::string_view value, Take take) {
    constexpr std::size_t kPiece = std::size_t{64} << 10;
    while (!value.empty()) {
        std::size_t end = std::min(value.size(), kPiece);
        while (end < value.size() && (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80) {
            ++end;
        }
        take(value.substr(0, end));
        value.remove_prefix(end);
    }
}

} // namespace quillon
