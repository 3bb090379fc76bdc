#include "validation/ResultCsv.h"

#include "imei/ReportingBody.h"
#include "utf8/Utf8.h"

#include <nlohmann/json.hpp>

#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <tuple>

namespace quillon {

std::string RepairedUtf8(std::string_view piece) {
    const std::string dumped =
        nlohmann::json(std::string(piece)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return nlohmann::json::parse(dumped).get<std::string>();
}

namespace {

std::string_view Flag(bool b) {
    return b ? "true" : "false";
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
        InPieces(value, [&](std::string_view piece) { AppendCsvText(out, RepairedUtf8(piece), quoted); });
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
[[gnu::always_inline]] inline void AppendField(OutputSink& out, std::string_view value) {
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
        AppendField(m_out, value);
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

} // namespace

void AppendCsvField(OutputSink& out, std::string_view value) {
    AppendField(out, value);
}

void ValidationCsv::Write(std::string_view input, const ValidationResult& r) {
    OutputSink& out = m_out;
    std::string& scratch = m_scratch;
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

ValidationCsv::ValidationCsv(OutputSink& out) : m_out(out) {
    out.Append(kValidationCsvHeader);
    out.Append("\r\n");
}

bool StartsLikeFormula(std::string_view value) {
    return !value.empty() && (kCsvBytes[static_cast<unsigned char>(value.front())] & kCsvFormula) != 0;
}

void AppendSpreadsheetCell(std::string& out, std::string_view value) {
    if (StartsLikeFormula(value)) {
        out += '\'';
    }
    for (const char c : value) {
        out += c == '\t' || c == '\r' || c == '\n' ? ' ' : c;
    }
}

} // namespace quillon
