#pragma once

// UTF-8 test text written in UTF-16, as a spreadsheet's "Unicode text" or iconv writes it.
#include "utf8/Utf8.h"

#include <string>
#include <string_view>

namespace quillon::testing {

inline std::string Utf16(std::string_view utf8, bool bigEndian, bool mark) {
    std::string out;
    auto unit = [&](char32_t u) {
        out += static_cast<char>(bigEndian ? u >> 8 : u & 0xFF);
        out += static_cast<char>(bigEndian ? u & 0xFF : u >> 8);
    };
    if (mark) {
        unit(0xFEFF);
    }
    for (const char32_t c : DecodeUtf8(utf8)) {
        if (c >= 0x10000) {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit(c);
        }
    }
    return out;
}

} // namespace quillon::testing
