#include "imei/Imei.h"

#include "utf8/Utf8.h"

namespace quillon {
namespace {

bool IsDropped(char c) {
    switch (c) {
    case ' ':
    case '-':
    case '/':
    case '.':
    case '\\':
    case '_':
    case '~':
    case '#':
    case '@':
    case ',':
        return true;
    default:
        return false;
    }
}

bool IsDigit(char32_t c) {
    return c >= U'0' && c <= U'9';
}

int DigitValue(char32_t c) {
    return IsDigit(c) ? static_cast<int>(c - U'0') : 0;
}

// Calls f(position, character) for positions 1..limit of the text, counting characters.
template <typename F> void ForEachCharacter(std::string_view text, std::size_t limit, F&& f) {
    if (IsAscii(text)) {
        for (std::size_t i = 0; i < text.size() && i < limit; ++i) {
            f(static_cast<int>(i + 1), static_cast<char32_t>(static_cast<unsigned char>(text[i])));
        }
        return;
    }
    const std::u32string chars = DecodeUtf8(Utf8Left(text, limit));
    for (std::size_t i = 0; i < chars.size() && i < limit; ++i) {
        f(static_cast<int>(i + 1), chars[i]);
    }
}

char32_t LastCharacter(std::string_view text) {
    if (text.empty()) {
        return 0;
    }
    if (static_cast<unsigned char>(text.back()) < 0x80) {
        return static_cast<unsigned char>(text.back());
    }
    const std::u32string chars = DecodeUtf8(text);
    return chars.back();
}

} // namespace

std::string NormaliseIMEI(std::string_view text) {
    // Most input is plain digits: nothing to trim, drop or replace.
    bool allDigits = true;
    for (char c : text) {
        allDigits = allDigits && c >= '0' && c <= '9';
    }
    if (allDigits) {
        return std::string(text);
    }
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    text = text.substr(first, text.find_last_not_of(' ') - first + 1);

    // Every treated character is ASCII and no ASCII byte occurs inside a multi-byte sequence,
    // so working on bytes treats exactly the right characters. A byte that starts no well-formed
    // sequence becomes U+FFFD on the way, so a long line is copied once, not decoded whole.
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char c = text[pos];
        if (static_cast<unsigned char>(c) < 0x80) {
            if (!IsDropped(c)) {
                out.push_back(c == 'X' || c == 'x' || c == '*' ? '0' : c);
            }
            ++pos;
            continue;
        }
        const std::size_t length = Utf8SequenceLength(text, pos);
        if (length == 0) {
            AppendUtf8(out, kReplacementCharacter);
            ++pos;
        } else {
            out.append(text.substr(pos, length));
            pos += length;
        }
    }
    return out;
}

IMEIFields SplitIMEI(std::string_view normalised) {
    IMEIFields fields;
    fields.reportingBodyIdentifier = std::string(Utf8Left(normalised, 2));
    fields.typeAllocationCode = std::string(Utf8Left(normalised, 8));
    fields.serialNumber = std::string(Utf8Mid(normalised, 8, 6));
    const std::size_t length = Utf8Length(normalised);
    fields.checkDigit = length == 0 ? std::string() : std::string(Utf8Mid(normalised, length - 1, 1));
    return fields;
}

std::string FullIMEIPresentation(std::string_view normalised) {
    std::string out;
    out.reserve(normalised.size() + 3);
    out += Utf8Mid(normalised, 0, 6);
    out += '-';
    out += Utf8Mid(normalised, 6, 2);
    out += '-';
    out += Utf8Mid(normalised, 8, 6);
    out += '-';
    out += Utf8Mid(normalised, 14, 1);
    return out;
}

std::string LuhnDigitList::Text() const {
    std::string out;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        out.push_back(static_cast<char>('0' + digits[i]));
    }
    return out;
}

LuhnDigitList LuhnDigits(std::string_view normalised) {
    LuhnDigitList list;
    ForEachCharacter(normalised, 14, [&](int position, char32_t c) {
        list.digits[static_cast<std::size_t>(position - 1)] = LuhnTransform(position, DigitValue(c));
        list.count = static_cast<std::size_t>(position);
    });
    return list;
}

int LuhnSum(std::string_view normalised) {
    const LuhnDigitList list = LuhnDigits(normalised);
    int sum = 0;
    for (std::size_t i = 0; i < list.count; ++i) {
        sum += list.digits[i];
    }
    return sum;
}

int CheckDigitValue(std::string_view normalised) {
    return DigitValue(LastCharacter(normalised));
}

int LuhnTotal(std::string_view normalised) {
    return LuhnSum(normalised) + CheckDigitValue(normalised);
}

bool IsCompleteIMEI(std::string_view normalised) {
    if (normalised.size() != kImeiLength) {
        return false;
    }
    for (char c : normalised) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

std::optional<int> LuhnCheckDigit(std::string_view normalised) {
    const int sum = LuhnSum(normalised);
    if (sum == 0) {
        return std::nullopt;
    }
    return (10 - sum % 10) % 10; // sum + check lies between 10 and 130: a valid total
}

LuhnWorking ComputeLuhnWorking(std::string_view normalised) {
    LuhnWorking working;
    if (IsCompleteIMEI(normalised)) {
        // The usual case, fifteen digits, straight from the bytes.
        for (std::size_t i = 0; i < 14; ++i) {
            const int digit = LuhnTransform(static_cast<int>(i + 1), normalised[i] - '0');
            working.digits.digits[i] = digit;
            working.sum += digit;
        }
        working.digits.count = 14;
        working.checkDigit = normalised[14] - '0';
        working.total = working.sum + working.checkDigit;
        return working;
    }
    working.digits = LuhnDigits(normalised);
    for (std::size_t i = 0; i < working.digits.count; ++i) {
        working.sum += working.digits.digits[i];
    }
    working.checkDigit = CheckDigitValue(normalised);
    working.total = working.sum + working.checkDigit;
    return working;
}

} // namespace quillon
