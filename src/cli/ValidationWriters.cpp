#include "ValidationWriters.h"

#include "CommandSupport.h"

#include "imei/Imei.h"
#include "imei/ReportingBody.h"
#include "utf8/Utf8.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>

namespace quillon::cli {
namespace {

// Captions of the checked boxes in the order the window shows them, PTCRB first, each preceded by
// `separator` but the first.
void AppendCheckedBoxes(OutputSink& out, const BoxStates& boxes, std::string_view separator, std::string_view open = {},
                        std::string_view close = {}) {
    bool first = true;
    for (const GenerationBox& box : GenerationBoxOrder()) {
        if (boxes[static_cast<std::size_t>(box.boxNumber - 1)]) {
            if (!first) {
                out.Append(separator);
            }
            out.Append(open);
            out.Append(box.caption);
            out.Append(close);
            first = false;
        }
    }
}

std::string_view Flag(bool b) {
    return b ? "true" : "false";
}

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

// The JSON library's text for a string that is not well-formed UTF-8: its bad bytes replaced.
std::string JsonDump(std::string_view piece) {
    return nlohmann::json(std::string(piece)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// Text for a terminal: control characters and bytes that are not UTF-8 escaped as in messages,
// so that no input can steer the terminal.
void AppendForTerminal(OutputSink& out, std::string_view value) {
    const bool plain = std::all_of(value.begin(), value.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x20 && byte < 0x7F;
    });
    if (plain) {
        out.Append(value);
        return;
    }
    InPieces(value, [&out](std::string_view piece) { out.Append(EscapeForMessage(piece)); });
}

void AppendNumber(OutputSink& out, int value) {
    char digits[16];
    const auto [end, error] = std::to_chars(std::begin(digits), std::end(digits), value);
    out.Append(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

// The Luhn working as the JSON keys give it: the transformed digits, and the sum with the total in
// parentheses, "52(60)".
void AppendLuhnDigits(OutputSink& out, const LuhnWorking& luhn) {
    for (std::size_t i = 0; i < luhn.digits.count; ++i) {
        out.Append(static_cast<char>('0' + luhn.digits.digits[i]));
    }
}

void AppendLuhnSum(OutputSink& out, const LuhnWorking& luhn) {
    AppendNumber(out, luhn.sum);
    out.Append('(');
    AppendNumber(out, luhn.total);
    out.Append(')');
}

void AppendText(OutputSink& out, std::string_view input, const ValidationResult& r, bool first) {
    if (!first) {
        out.Append('\n');
    }
    if (input != r.normalised) {
        out.Append("Input: ");
        AppendForTerminal(out, input);
        out.Append('\n');
    }
    if (r.rejected) {
        if (r.normalised.empty()) {
            out.Append("Result: not an IMEI (nothing left to check once blanks and separators are dropped)\n");
            return;
        }
        out.Append("IMEI: ");
        AppendForTerminal(out, r.normalised);
        out.Append("\nResult: not an IMEI (");
        AppendNumber(out, static_cast<int>(std::min<std::size_t>(Utf8Length(r.normalised), 1'000'000'000)));
        out.Append(" characters; an IMEI has 15 digits)\n");
        return;
    }
    // Fifteen digits, the usual input, and what is cut from them need no escaping.
    const bool digits = IsCompleteIMEI(r.normalised);
    auto field = [&](std::string_view value) {
        if (digits) {
            out.Append(value);
        } else {
            AppendForTerminal(out, value);
        }
    };
    out.Append("IMEI: ");
    field(r.normalised);
    out.Append(" (");
    field(r.presentation);
    out.Append(")\nResult: ");
    if (r.valid) {
        out.Append(digits ? "valid" : "valid Luhn total, but an IMEI has 15 digits 0-9");
    } else if (const std::optional<int> check = LuhnCheckDigit(r.normalised); digits) {
        if (check) {
            out.Append("not valid (the check digit should be ");
            out.Append(static_cast<char>('0' + *check));
            out.Append(")");
        } else {
            out.Append("not valid (no check digit can make it valid)");
        }
    } else {
        out.Append("not valid (an IMEI has 15 digits 0-9)");
    }
    out.Append("\nReporting body: ");
    // The program's own words, or the input's first two characters when no body has them.
    field(r.reportingBodyText.empty() ? std::string_view("unknown") : std::string_view(r.reportingBodyText));
    out.Append("\nType Allocation Code: ");
    field(r.tac);
    out.Append("\nSerial number: ");
    field(r.serial);
    out.Append("\nDevice: ");
    if (r.device.found) {
        AppendForTerminal(out, r.device.manufacturer);
        if (!r.device.model.empty()) {
            out.Append(' ');
            AppendForTerminal(out, r.device.model);
        }
    } else {
        out.Append("not in the database");
    }
    out.Append("\nLuhn check: digit sum ");
    AppendNumber(out, r.luhn.sum);
    out.Append(" + check digit ");
    AppendNumber(out, r.luhn.checkDigit);
    out.Append(" = ");
    AppendNumber(out, r.luhn.total);
    out.Append(IsValidLuhnTotal(r.luhn.total) ? ", a multiple of 10\n"
               : r.luhn.total == 0            ? ", not valid: a total of 0 never is\n"
                                              : ", not a multiple of 10\n");
}

// What a byte asks of the CSV field that holds it: quotes; a look at the text (NUL, or a byte past
// ASCII, which may not be UTF-8); or, as the field's first byte, the apostrophe of a formula.
enum : unsigned char { kCsvQuote = 1, kCsvRepair = 2, kCsvFormula = 4 };
constexpr std::array<unsigned char, 256> kCsvBytes = [] {
    std::array<unsigned char, 256> bytes{};
    bytes[','] = bytes['"'] = bytes['\n'] = kCsvQuote;
    bytes['\r'] = kCsvQuote | kCsvFormula;
    bytes['='] = bytes['+'] = bytes['-'] = bytes['@'] = bytes['\t'] = kCsvFormula;
    bytes[0] = kCsvRepair;
    for (std::size_t b = 0x80; b < bytes.size(); ++b) {
        bytes[b] = kCsvRepair;
    }
    return bytes;
}();

// Which of kCsvQuote and kCsvRepair the bytes of `value` ask for. Eight bytes at a time while none
// of them is below '-' or past ASCII, as in the usual digits and words (the last eight overlapping
// the ones before): every byte that asks for anything is one of those. From the first word that
// holds one on, byte by byte.
[[gnu::always_inline]] inline unsigned CsvAsks(std::string_view value) {
    auto mayAsk = [](const char* at) {
        constexpr std::uint64_t kOnes = 0x0101010101010101;
        constexpr std::uint64_t kHighs = kOnes * 0x80;
        std::uint64_t word = 0;
        std::memcpy(&word, at, sizeof word);
        return ((word | ((word - kOnes * '-') & ~word)) & kHighs) != 0;
    };
    std::size_t from = 0;
    if (value.size() >= 8) {
        while (from + 8 <= value.size() && !mayAsk(value.data() + from)) {
            from += 8;
        }
        if (from + 8 > value.size()) {
            from = value.size() - 8;
            if (!mayAsk(value.data() + from)) {
                return 0;
            }
        }
    }
    unsigned asks = 0;
    for (const char c : value.substr(from)) {
        asks |= kCsvBytes[static_cast<unsigned char>(c)];
    }
    return asks & (kCsvQuote | kCsvRepair);
}

// Text as CSV carries it: NUL, which JSON writes as \u0000 but CSV has no way to escape, as U+FFFD;
// with `quoted`, each quote doubled.
void AppendCsvText(OutputSink& out, std::string_view text, bool quoted) {
    auto withoutNul = [&out](std::string_view part) {
        for (std::size_t nul = part.find('\0'); nul != std::string_view::npos; nul = part.find('\0')) {
            out.Append(part.substr(0, nul));
            out.Append("\xEF\xBF\xBD");
            part.remove_prefix(nul + 1);
        }
        out.Append(part);
    };
    for (std::size_t quote = quoted ? text.find('"') : std::string_view::npos; quote != std::string_view::npos;
         quote = text.find('"')) {
        withoutNul(text.substr(0, quote + 1));
        out.Append('"');
        text.remove_prefix(quote + 1);
    }
    withoutNul(text);
}

// A field whose bytes ask for anything: quoted, and made UTF-8 without NUL, its bytes that are not
// UTF-8 replaced as in JSON. Neither changes what the field begins with as a formula.
[[gnu::noinline]] void AppendCsvFieldSlowly(OutputSink& out, std::string_view value, unsigned asks, bool formula) {
    const bool quoted = (asks & kCsvQuote) != 0;
    if (quoted) {
        out.Append('"');
    }
    if (formula) {
        out.Append('\'');
    }
    if ((asks & kCsvRepair) != 0 && !IsValidUtf8(value)) {
        InPieces(value, [&](std::string_view piece) {
            AppendCsvText(out, nlohmann::json::parse(JsonDump(piece)).get<std::string>(), quoted);
        });
    } else {
        AppendCsvText(out, value, quoted);
    }
    if (quoted) {
        out.Append('"');
    }
}

// One CSV field: the one place that guards them all. Quoted only when the value holds a comma,
// quote or line end; made UTF-8 without NUL; and a value that a spreadsheet would take for a
// formula (it begins with =, +, -, @, a tab or a carriage return) gets a leading apostrophe.
[[gnu::always_inline]] inline void AppendCsvField(OutputSink& out, std::string_view value) {
    const unsigned asks = CsvAsks(value);
    const bool formula = !value.empty() && (kCsvBytes[static_cast<unsigned char>(value.front())] & kCsvFormula) != 0;
    if (asks != 0) {
        AppendCsvFieldSlowly(out, value, asks, formula);
        return;
    }
    if (formula) {
        out.Append('\'');
    }
    out.Append(value);
}

constexpr std::string_view kCsvHeader = "input,imei,rejected,presentation,reporting_body,boxes,tac,serial,check,"
                                        "checksum,luhn,valid,found,manufacturer,model";

// A CSV row, field by field, every one of them through AppendCsvField; the box list is put
// together in `scratch` first.
class CsvRow {
public:
    CsvRow(OutputSink& out, std::string& scratch) : m_out(out), m_scratch(scratch) {}

    [[gnu::always_inline]] void Field(std::string_view value) {
        if (!m_first) {
            m_out.Append(',');
        }
        m_first = false;
        AppendCsvField(m_out, value);
    }
    void Number(int value) {
        char digits[16];
        const auto [end, error] = std::to_chars(std::begin(digits), std::end(digits), value);
        Field(std::string_view(digits, static_cast<std::size_t>(end - digits)));
    }
    // The transformed digits of the Luhn working.
    void LuhnDigits(const LuhnWorking& luhn) {
        std::array<char, std::tuple_size_v<decltype(luhn.digits.digits)>> digits{};
        for (std::size_t i = 0; i < luhn.digits.count; ++i) {
            digits[i] = static_cast<char>('0' + luhn.digits.digits[i]);
        }
        Field(std::string_view(digits.data(), luhn.digits.count));
    }
    // The sum with the total in parentheses, "52(60)".
    void LuhnSum(const LuhnWorking& luhn) {
        char text[32];
        char* end = std::to_chars(text, text + 12, luhn.sum).ptr;
        *end++ = '(';
        end = std::to_chars(end, end + 12, luhn.total).ptr;
        *end++ = ')';
        Field(std::string_view(text, static_cast<std::size_t>(end - text)));
    }
    // The captions of the checked boxes joined by |.
    void Boxes(const BoxStates& boxes) {
        m_scratch.clear();
        for (const GenerationBox& box : GenerationBoxOrder()) {
            if (boxes[static_cast<std::size_t>(box.boxNumber - 1)]) {
                m_scratch += m_scratch.empty() ? "" : "|";
                m_scratch += box.caption;
            }
        }
        Field(m_scratch);
    }
    void End() { m_out.Append("\r\n"); }

private:
    OutputSink& m_out;
    std::string& m_scratch;
    bool m_first = true;
};

void AppendCsv(OutputSink& out, std::string& scratch, std::string_view input, const ValidationResult& r) {
    CsvRow row(out, scratch);
    row.Field(input);
    row.Field(r.normalised);
    row.Field(Flag(r.rejected));
    if (r.rejected) {
        // Nothing from presentation to luhn, valid false, nothing from found to model.
        for (const std::string_view value : {"", "", "", "", "", "", "", "", "false", "", "", ""}) {
            row.Field(value);
        }
        row.End();
        return;
    }
    row.Field(r.presentation);
    // The program's own words, which begin with the body's digits, or the input's first two
    // characters when no body has them.
    row.Field(r.reportingBodyText);
    row.Boxes(r.boxes);
    row.Field(r.tac);
    row.Field(r.serial);
    row.LuhnDigits(r.luhn);
    row.LuhnSum(r.luhn);
    row.Number(r.luhn.checkDigit);
    row.Field(Flag(r.valid));
    row.Field(Flag(r.device.found));
    row.Field(r.device.found ? std::string_view(r.device.manufacturer) : std::string_view());
    row.Field(r.device.found ? std::string_view(r.device.model) : std::string_view());
    row.End();
}

// A JSON string as the JSON library writes it (UTF-8 kept, control characters escaped). Text that
// is not well-formed UTF-8 goes through the library, which replaces the bad bytes.
void AppendJsonString(OutputSink& out, std::string_view value) {
    if (!IsValidUtf8(value)) {
        out.Append('"');
        InPieces(value, [&out](std::string_view piece) {
            const std::string dumped = JsonDump(piece);
            out.Append(std::string_view(dumped).substr(1, dumped.size() - 2));
        });
        out.Append('"');
        return;
    }
    out.Append('"');
    std::size_t plain = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const auto c = static_cast<unsigned char>(value[i]);
        if (c >= 0x20 && c != '"' && c != '\\') {
            continue;
        }
        out.Append(value.substr(plain, i - plain));
        plain = i + 1;
        switch (c) {
        case '"':
            out.Append("\\\"");
            break;
        case '\\':
            out.Append("\\\\");
            break;
        case '\b':
            out.Append("\\b");
            break;
        case '\f':
            out.Append("\\f");
            break;
        case '\n':
            out.Append("\\n");
            break;
        case '\r':
            out.Append("\\r");
            break;
        case '\t':
            out.Append("\\t");
            break;
        default: {
            constexpr char kHex[] = "0123456789abcdef";
            const char escaped[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
            out.Append(std::string_view(escaped, sizeof escaped));
        }
        }
    }
    out.Append(value.substr(plain));
    out.Append('"');
}

void AppendJson(OutputSink& out, std::string_view input, const ValidationResult& r) {
    out.Append("{\"input\":");
    AppendJsonString(out, input);
    out.Append(",\"imei\":");
    AppendJsonString(out, r.normalised);
    out.Append(",\"rejected\":");
    out.Append(Flag(r.rejected));
    if (r.rejected) {
        out.Append(",\"valid\":false}\n");
        return;
    }
    out.Append(",\"presentation\":");
    AppendJsonString(out, r.presentation);
    out.Append(",\"reporting_body\":");
    AppendJsonString(out, r.reportingBodyText);
    out.Append(",\"boxes\":[");
    AppendCheckedBoxes(out, r.boxes, ",", "\"", "\"");
    out.Append("],\"tac\":");
    AppendJsonString(out, r.tac);
    out.Append(",\"serial\":");
    AppendJsonString(out, r.serial);
    out.Append(",\"check\":\"");
    AppendLuhnDigits(out, r.luhn);
    out.Append("\",\"checksum\":\"");
    AppendLuhnSum(out, r.luhn);
    out.Append("\",\"luhn\":");
    AppendNumber(out, r.luhn.checkDigit);
    out.Append(",\"valid\":");
    out.Append(Flag(r.valid));
    out.Append(",\"found\":");
    out.Append(Flag(r.device.found));
    out.Append(",\"manufacturer\":");
    AppendJsonString(out, r.device.found ? std::string_view(r.device.manufacturer) : std::string_view());
    out.Append(",\"model\":");
    AppendJsonString(out, r.device.found ? std::string_view(r.device.model) : std::string_view());
    out.Append("}\n");
}

} // namespace

ValidationWriter::ValidationWriter(Format format, OutputSink& out) : m_format(format), m_out(out) {
    if (format == Format::Csv) {
        out.Append(kCsvHeader);
        out.Append("\r\n");
    }
}

bool ValidationWriter::Write(std::string_view input, const ValidationResult& result) {
    switch (m_format) {
    case Format::Text:
        AppendText(m_out, input, result, m_first);
        break;
    case Format::Csv:
        AppendCsv(m_out, m_scratch, input, result);
        break;
    case Format::Json:
        AppendJson(m_out, input, result);
        break;
    }
    m_first = false;
    return result.valid && !result.rejected;
}

} // namespace quillon::cli
