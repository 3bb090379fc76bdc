#include "utf8/Utf8.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace quillon {
namespace {

// Length of the well-formed sequence starting at `pos`, or 0 when the byte there does not start one.
std::size_t SequenceLength(std::string_view s, std::size_t pos) {
    const auto b0 = static_cast<unsigned char>(s[pos]);
    if (b0 < 0x80) {
        return 1;
    }
    const std::size_t left = s.size() - pos;
    auto cont = [&](std::size_t i) { return i < left && (static_cast<unsigned char>(s[pos + i]) & 0xC0) == 0x80; };
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        return cont(1) ? 2 : 0;
    }
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        if (!cont(1) || !cont(2)) {
            return 0;
        }
        const auto b1 = static_cast<unsigned char>(s[pos + 1]);
        if ((b0 == 0xE0 && b1 < 0xA0) || (b0 == 0xED && b1 > 0x9F)) {
            return 0; // overlong or surrogate
        }
        return 3;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        if (!cont(1) || !cont(2) || !cont(3)) {
            return 0;
        }
        const auto b1 = static_cast<unsigned char>(s[pos + 1]);
        if ((b0 == 0xF0 && b1 < 0x90) || (b0 == 0xF4 && b1 > 0x8F)) {
            return 0;
        }
        return 4;
    }
    return 0;
}

// Byte offset of character index `count` (or the end of the text).
std::size_t OffsetOfCharacter(std::string_view text, std::size_t count) {
    std::size_t pos = 0;
    for (std::size_t n = 0; n < count && pos < text.size(); ++n) {
        const std::size_t len = SequenceLength(text, pos);
        pos += len == 0 ? 1 : len;
    }
    return pos;
}

} // namespace

void AppendUtf8(std::string& out, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        c = kReplacementCharacter;
    }
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::u32string DecodeUtf8(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t len = SequenceLength(text, pos);
        const auto b0 = static_cast<unsigned char>(text[pos]);
        auto cont = [&](std::size_t i) {
            return static_cast<char32_t>(static_cast<unsigned char>(text[pos + i]) & 0x3F);
        };
        switch (len) {
        case 1:
            out.push_back(b0);
            break;
        case 2:
            out.push_back((static_cast<char32_t>(b0 & 0x1F) << 6) | cont(1));
            break;
        case 3:
            out.push_back((static_cast<char32_t>(b0 & 0x0F) << 12) | (cont(1) << 6) | cont(2));
            break;
        case 4:
            out.push_back((static_cast<char32_t>(b0 & 0x07) << 18) | (cont(1) << 12) | (cont(2) << 6) | cont(3));
            break;
        default:
            out.push_back(kReplacementCharacter);
            break;
        }
        pos += len == 0 ? 1 : len;
    }
    return out;
}

bool IsAscii(std::string_view bytes) {
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

bool IsValidUtf8(std::string_view bytes) {
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        // Skip ASCII runs quickly: most database files are plain ASCII.
        while (pos + 8 <= bytes.size()) {
            std::uint64_t chunk = 0;
            std::memcpy(&chunk, bytes.data() + pos, sizeof chunk);
            if ((chunk & 0x8080808080808080ull) != 0) {
                break;
            }
            pos += 8;
        }
        if (pos >= bytes.size()) {
            break;
        }
        const std::size_t len = SequenceLength(bytes, pos);
        if (len == 0) {
            return false;
        }
        pos += len;
    }
    return true;
}

std::size_t Utf8Length(std::string_view text) {
    std::size_t count = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t len = SequenceLength(text, pos);
        pos += len == 0 ? 1 : len;
        ++count;
    }
    return count;
}

std::string_view Utf8Left(std::string_view text, std::size_t count) {
    return text.substr(0, OffsetOfCharacter(text, count));
}

std::string_view Utf8Mid(std::string_view text, std::size_t start, std::size_t count) {
    const std::size_t from = OffsetOfCharacter(text, start);
    const std::string_view rest = text.substr(from);
    return rest.substr(0, OffsetOfCharacter(rest, count));
}

namespace {

// 0x80..0x9F; zero marks the five unassigned bytes, kept as the C1 control of the same value.
constexpr std::array<char16_t, 32> kCp1252High = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                                  0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char32_t Cp1252Character(unsigned char b) {
    return b >= 0x80 && b <= 0x9F && kCp1252High[b - 0x80] != 0 ? kCp1252High[b - 0x80] : b;
}

} // namespace

std::size_t Utf8SequenceLength(std::string_view text, std::size_t pos) {
    return SequenceLength(text, pos);
}

std::size_t Cp1252ToUtf8Size(std::string_view bytes) {
    std::size_t size = 0;
    for (char ch : bytes) {
        const char32_t c = Cp1252Character(static_cast<unsigned char>(ch));
        size += c < 0x80 ? 1 : (c < 0x800 ? 2 : 3);
    }
    return size;
}

std::string Cp1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(Cp1252ToUtf8Size(bytes));
    for (char ch : bytes) {
        AppendUtf8(out, Cp1252Character(static_cast<unsigned char>(ch)));
    }
    return out;
}

std::size_t Utf8OpenTail(std::string_view text) {
    std::size_t back = 0;
    while (back < 3 && back < text.size() &&
           (static_cast<unsigned char>(text[text.size() - 1 - back]) & 0xC0) == 0x80) {
        ++back;
    }
    // A sequence already whole is not open: a file may end in "Café" without a line end.
    const auto lead = back < text.size() ? static_cast<unsigned char>(text[text.size() - 1 - back]) : 0;
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    return back + 1 < length ? back + 1 : 0;
}

EncodingDecision DecideEncoding(std::string_view bytes, bool complete) {
    if (bytes.starts_with("\xFF\xFE")) {
        return {TextEncoding::Utf16LE, 2};
    }
    if (bytes.starts_with("\xFE\xFF")) {
        return {TextEncoding::Utf16BE, 2};
    }
    if (LooksLikeUtf16(bytes)) {
        return {bytes[0] == '\0' ? TextEncoding::Utf16BE : TextEncoding::Utf16LE, 0};
    }
    const std::size_t mark = bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    std::string_view rest = bytes.substr(mark);
    if (!complete) {
        rest.remove_suffix(Utf8OpenTail(rest)); // a sequence that the cut may have split
    }
    return {IsValidUtf8(rest) ? TextEncoding::Utf8 : TextEncoding::Windows1252, mark};
}

bool MayLookLikeUtf16(std::string_view start) {
    if (start.size() < 2) {
        return true;
    }
    // Which half of each pair is NUL must be the same all along, and the other half never is.
    const std::size_t nulAt = start[0] == '\0' ? 0 : 1;
    for (std::size_t i = 0; i + 1 < start.size(); i += 2) {
        if (start[i + nulAt] != '\0' || start[i + 1 - nulAt] == '\0') {
            return false;
        }
    }
    return true;
}

bool LooksLikeUtf16(std::string_view text) {
    text = text.substr(0, kEncodingHeadBytes);
    return text.size() >= 4 && MayLookLikeUtf16(text);
}

void AppendUtf16AsUtf8(std::string& out, std::string_view bytes, bool bigEndian) {
    auto unit = [&](std::size_t i) -> char32_t {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? (char32_t{a} << 8) | b : (char32_t{b} << 8) | a;
    };
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        const char32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
            const char32_t low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        AppendUtf8(out, u >= 0xD800 && u <= 0xDFFF ? kReplacementCharacter : u);
    }
    if (i < bytes.size()) {
        AppendUtf8(out, kReplacementCharacter);
    }
}

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    AppendUtf16AsUtf8(out, bytes, bigEndian);
    return out;
}

std::string DecodeText(std::string bytes) {
    const EncodingDecision decision = DecideEncoding(bytes);
    switch (decision.encoding) {
    case TextEncoding::Utf8:
        bytes.erase(0, decision.markBytes);
        return bytes;
    case TextEncoding::Windows1252:
        return Cp1252ToUtf8(std::string_view(bytes).substr(decision.markBytes));
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE:
        return Utf16ToUtf8(std::string_view(bytes).substr(decision.markBytes),
                           decision.encoding == TextEncoding::Utf16BE);
    }
    return bytes;
}

std::string_view EncodingName(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8:
        return "UTF-8";
    case TextEncoding::Windows1252:
        return "Windows-1252";
    case TextEncoding::Utf16LE:
        return "UTF-16 LE";
    case TextEncoding::Utf16BE:
        return "UTF-16 BE";
    }
    return "UTF-8";
}

} // namespace quillon
