#pragma once

// Reading a list of IMEIs as both programs read one: each line one input, exactly as
// `quillon-cli validate` reads standard input; or the IMEI column of a table with a header row,
// read as import reads an export (the separator the most frequent of comma, semicolon, tab and
// pipe in the first line, RFC 4180 quoting, UTF-16 and Windows-1252 decoded, header names
// compared as import compares them).

#include "utf8/Utf8.h"
#include "validation/TextStreams.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// The header names of a column of IMEIs, as compared: "imei", "imei1", "imei 1", "imei number".
bool IsImeiColumnName(std::string_view name);

// Which column of a table holds the inputs: by its header name or by its position (from 0); the
// first line that is not blank is the header either way.
struct ListColumn {
    std::optional<std::string> name{};
    std::optional<std::size_t> index{};
};

struct ListInput {
    std::size_t line = 0; // where the input's row starts in the list, from 1
    std::string_view text;
};

struct ListRead {
    enum class Outcome {
        Read,
        ReadFailed,     // `error`
        LineTooLong,    // `line` is longer than the input's line limit
        RowTooLong,     // a quoted field opened on `line` takes in more than kMaxRowLines lines
        QuoteOpenAtEnd, // a quoted field opened on `line` is still open at the end
        NoColumn,       // the header has no such column: `headerFields` holds what it has
        TooManyLines,   // `line` is past the limit given
        Stopped,        // the caller's onInput said so
    };
    Outcome outcome = Outcome::Read;
    std::size_t inputs = 0;
    std::size_t line = 0;
    std::size_t linesTaken = 0; // RowTooLong: the lines up to the row's end
    int error = 0;
    // The header's fields as messages show them, each cut to kMessageQuoteChars characters with
    // "…" after a cut one; at most kShownListHeaderFields.
    std::vector<std::string> headerFields;
};

inline constexpr std::size_t kShownListHeaderFields = 200;
inline constexpr std::size_t kNoLineLimit = SIZE_MAX;

// Reads `in` to its end, handing each input to `onInput` (false stops the reading). Without a
// column each line is one input: its LF and a CR before it removed, a byte-order mark skipped,
// UTF-16 converted, bytes that are not UTF-8 left for the writers to replace. A list whose lines
// go past `maxLines` stops there with TooManyLines, after the inputs before it.
ListRead ReadList(LineInput& in, const std::optional<ListColumn>& column,
                  const std::function<bool(const ListInput&)>& onInput, std::size_t maxLines = kNoLineLimit);

// What the start of a list shows, for a reader that decides for the user how to read it.
struct ListStart {
    // The first line's fields, as ListRead::headerFields.
    std::vector<std::string> fields;
    // The leftmost field whose name is an IMEI column's.
    std::optional<std::size_t> imeiColumn;
    // The first line names no IMEI column but is a header all the same: none of its fields is a
    // number of 14 to 16 digits (once cleaned as an IMEI is), while a field of a later line is.
    bool looksLikeHeader = false;
};
// Reads the first lines of `in` (at most kExaminedListLines), which is then spent.
ListStart ExamineList(LineInput& in);
inline constexpr std::size_t kExaminedListLines = 50;

} // namespace quillon
