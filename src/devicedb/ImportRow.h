#pragma once

// The rules of one row: its code, its names and how they are cleaned for tacdex.csv.

#include "ImportLayouts.h"
#include "devicedb/DeviceImport.h"
#include "devicedb/RecordSplitter.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

inline std::string_view TrimSpaces(std::string_view text) {
    const std::size_t begin = text.find_first_not_of(' ');
    if (begin == std::string_view::npos) {
        return {};
    }
    return text.substr(begin, text.find_last_not_of(' ') - begin + 1);
}

// A name as tacdex.csv can hold it: commas and control characters (C0, DEL, C1) as spaces, no
// surrounding spaces; the GSMA's placeholder "Not Known" as no name. The result is a view of
// `name` or, where characters change, of `scratch`.
std::string_view CleanName(std::string_view name, std::string& scratch);

// The length of `name` cleaned as CleanName cleans it (its placeholder aside), without making it.
std::size_t CleanedLength(std::string_view name);

// A number as a spreadsheet shows a large one: 3.5E+07, 35E7, 3,5E+07.
bool IsExponentForm(std::string_view text);

// One row read: the device it holds, or why it is skipped.
struct RowDevice {
    std::optional<SkipReason> skipped;
    std::uint32_t code = 0;
    std::string_view manufacturer; // views of the row or of the reader's scratch
    std::string_view model;
    bool tooLarge = false; // a name longer than a database can be
};

class RowReader {
public:
    RowReader(const ImportColumns& columns, bool padCodes) : m_columns(columns), m_padCodes(padCodes) {}
    // A row that is not blank.
    RowDevice Read(const SplitRecord& record);

private:
    const ImportColumns& m_columns;
    bool m_padCodes;
    std::string m_scratch[2]; // the cleaned manufacturer and model where they differ from their fields
};

// Whether a record is a blank line, which is no row.
inline bool IsBlank(const SplitRecord& record) {
    return record.blank;
}

} // namespace quillon
