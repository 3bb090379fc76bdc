#include "ImportRow.h"

#include "devicedb/DeviceTable.h"

#include <algorithm>

namespace quillon {

namespace {

bool IsDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsNotKnown(std::string_view name) {
    constexpr std::string_view kNotKnown = "not known";
    return name.size() == kNotKnown.size() &&
           std::equal(name.begin(), name.end(), kNotKnown.begin(), [](char a, char b) {
               return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a == '_' ? ' ' : a) == b;
           });
}

// A field the record kept, or empty.
std::string_view FieldOr(const SplitRecord& record, std::size_t index) {
    return index < record.ends->size() ? record.Field(index) : std::string_view();
}

} // namespace

std::size_t CleanedLength(std::string_view name) {
    const auto byte = [name](std::size_t i) { return static_cast<unsigned char>(name[i]); };
    const auto c1 = [&](std::size_t i) {
        return byte(i) == 0xC2 && i + 1 < name.size() && byte(i + 1) >= 0x80 && byte(i + 1) <= 0x9F;
    };
    const auto blank = [&](std::size_t i) {
        return byte(i) < 0x20 || byte(i) == 0x7F || byte(i) == ',' || byte(i) == ' ';
    };
    std::size_t begin = 0;
    while (begin < name.size() && (blank(begin) || c1(begin))) {
        begin += c1(begin) ? 2 : 1;
    }
    std::size_t end = name.size();
    while (end > begin && (blank(end - 1) || (end - begin >= 2 && c1(end - 2)))) {
        end -= blank(end - 1) ? 1 : 2;
    }
    std::size_t pairs = 0;
    for (std::size_t i = begin; i < end; ++i) {
        if (c1(i)) {
            ++pairs;
            ++i;
        }
    }
    return end - begin - pairs;
}

bool IsExponentForm(std::string_view text) {
    const std::size_t e = text.find_first_of("eE");
    if (e == std::string_view::npos || e == 0) {
        return false;
    }
    std::string_view mantissa = text.substr(0, e);
    std::string_view exponent = text.substr(e + 1);
    const std::size_t point = mantissa.find_first_of(".,");
    if (point != std::string_view::npos) {
        if (!IsDigits(mantissa.substr(0, point)) ||
            (point + 1 < mantissa.size() && !IsDigits(mantissa.substr(point + 1)))) {
            return false;
        }
    } else if (!IsDigits(mantissa)) {
        return false;
    }
    if (!exponent.empty() && (exponent[0] == '+' || exponent[0] == '-')) {
        exponent.remove_prefix(1);
    }
    return IsDigits(exponent);
}

std::string_view CleanName(std::string_view name, std::string& scratch) {
    bool plain = true;
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F || c == ',' || c == 0xC2) {
            plain = false;
            break;
        }
    }
    if (!plain) {
        scratch.clear();
        for (std::size_t i = 0; i < name.size(); ++i) {
            const auto c = static_cast<unsigned char>(name[i]);
            if (c < 0x20 || c == 0x7F || c == ',') {
                scratch += ' ';
            } else if (c == 0xC2 && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) >= 0x80 &&
                       static_cast<unsigned char>(name[i + 1]) <= 0x9F) {
                scratch += ' ';
                ++i;
            } else {
                scratch += static_cast<char>(c);
            }
        }
        name = scratch;
    }
    name = TrimSpaces(name);
    return IsNotKnown(name) ? std::string_view() : name;
}

RowDevice RowReader::Read(const SplitRecord& record) {
    RowDevice row;
    if (m_columns.fieldCount != 0 && record.Count() != m_columns.fieldCount) {
        row.skipped = SkipReason::FieldCount;
        return row;
    }
    const std::string_view code = TrimSpaces(FieldOr(record, m_columns.code));
    if (!IsDigits(code) || code.size() > 8) {
        row.skipped = IsExponentForm(code) ? SkipReason::ExponentCode : SkipReason::NoCode;
        return row;
    }
    if (code.size() < 8 && !m_padCodes) {
        row.skipped = SkipReason::ShortCode;
        return row;
    }
    const auto field = [&](std::size_t column, std::string& scratch) {
        const std::string_view text = column != kNoColumn ? FieldOr(record, column) : std::string_view();
        // A name that no database can hold is not copied to be cleaned.
        if (text.size() > kMaxDatabaseBytes && CleanedLength(text) > kMaxDatabaseBytes) {
            row.tooLarge = true;
            return std::string_view();
        }
        return CleanName(text, scratch);
    };
    // Leading zeros a spreadsheet dropped come back as the number's value.
    for (const char c : code) {
        row.code = row.code * 10 + static_cast<std::uint32_t>(c - '0');
    }
    row.manufacturer = field(m_columns.brand, m_scratch[0]);
    if (row.manufacturer.empty()) {
        row.manufacturer = field(m_columns.manufacturer, m_scratch[0]);
    }
    row.model = field(m_columns.marketingName, m_scratch[1]);
    if (row.model.empty()) {
        row.model = field(m_columns.model, m_scratch[1]);
    }
    if (row.manufacturer.empty() && row.model.empty() && !row.tooLarge) {
        row.skipped = SkipReason::NoName;
    }
    return row;
}

} // namespace quillon
