#include "ImportRow.h"

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
        return column != kNoColumn ? CleanName(FieldOr(record, column), scratch) : std::string_view();
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
    if (row.manufacturer.empty() && row.model.empty()) {
        row.skipped = SkipReason::NoName;
    }
    return row;
}

} // namespace quillon
