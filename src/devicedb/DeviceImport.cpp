#include "devicedb/DeviceImport.h"

#include "system/Files.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <tuple>
#include <utility>

namespace quillon {

namespace {

constexpr std::size_t kBlock = std::size_t{1} << 20;
// A stream's encoding is decided on its start, as much as this.
constexpr std::size_t kStreamHead = 64 * 1024;
constexpr std::uint32_t kNone = UINT32_MAX;
// The window's model list leaves out device lines 1 to this, and the last device line.
constexpr std::size_t kUnlistedLeadingLines = 25;

// Reads until `size` bytes are in or the source ends.
std::size_t ReadBlock(ByteSource& source, std::string& into, std::size_t size) {
    into.resize(size);
    std::size_t filled = 0;
    while (filled < size) {
        const std::size_t got = source.Read(into.data() + filled, size - filled);
        if (got == 0) {
            break;
        }
        filled += got;
    }
    into.resize(filled);
    return filled;
}

// The text with every byte that starts no well-formed sequence replaced by U+FFFD; counts them.
std::string ReplaceMalformed(std::string_view text, std::size_t& replaced) {
    std::string out;
    out.reserve(text.size() + 16);
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = Utf8SequenceLength(text, pos);
        if (length == 0) {
            AppendUtf8(out, kReplacementCharacter);
            ++replaced;
            ++pos;
        } else {
            out.append(text, pos, length);
            pos += length;
        }
    }
    return out;
}

// An export as UTF-8 text in blocks. A file is checked whole for its encoding before its text is
// handed out; a stream is decided on its first 64 KiB.
class Utf8Blocks {
public:
    explicit Utf8Blocks(ByteSource& source) : m_source(source) {}

    // False when the source could not be read.
    bool Start() {
        m_stream = !m_source.Rewind();
        if (m_stream) {
            while (m_head.size() < kStreamHead) {
                std::string more;
                if (ReadBlock(m_source, more, kStreamHead) == 0) {
                    m_atEnd = true;
                    break;
                }
                m_head += more;
            }
            m_decision = DecideEncoding(m_head, m_atEnd);
            return m_source.Error() == 0;
        }
        std::string block;
        ReadBlock(m_source, block, kBlock);
        m_decision = DecideEncoding(block, false);
        if (m_decision.encoding != TextEncoding::Utf16LE && m_decision.encoding != TextEncoding::Utf16BE) {
            // The whole file decides between UTF-8 and Windows-1252, block by block.
            bool valid = true;
            std::string carry;
            std::string_view rest = std::string_view(block).substr(m_decision.markBytes);
            for (;;) {
                std::string joined;
                std::string_view whole = rest;
                if (!carry.empty()) {
                    joined = carry;
                    joined += rest;
                    whole = joined;
                }
                const std::size_t tail = Utf8OpenTail(whole);
                valid = IsValidUtf8(whole.substr(0, whole.size() - tail));
                carry = std::string(whole.substr(whole.size() - tail));
                if (!valid || ReadBlock(m_source, block, kBlock) == 0) {
                    break;
                }
                rest = block;
            }
            valid = valid && carry.empty();
            m_decision.encoding = valid ? TextEncoding::Utf8 : TextEncoding::Windows1252;
            if (m_source.Error() != 0 || !m_source.Rewind()) {
                return false;
            }
        } else if (!m_source.Rewind()) {
            return false;
        }
        return m_source.Error() == 0;
    }

    TextEncoding Encoding() const { return m_decision.encoding; }
    std::size_t Replaced() const { return m_replaced; }

    // The next piece of text; false at the end.
    bool Next(std::string& text) {
        // The block read last time is read into again: no allocation, no page faults per block.
        std::string& raw = m_raw;
        raw.clear();
        if (!m_head.empty()) {
            raw = std::move(m_head);
            m_head.clear();
        } else if (m_atEnd || ReadBlock(m_source, raw, kBlock) == 0) {
            m_atEnd = true;
            if (m_carry.empty()) {
                return false;
            }
        }
        if (m_first) {
            m_first = false;
            raw.erase(0, std::min(raw.size(), m_decision.markBytes));
        }
        const bool last = m_atEnd;
        switch (m_decision.encoding) {
        case TextEncoding::Utf8:
            if (!m_stream) {
                text.swap(raw);
                return true;
            }
            {
                std::string joined = std::move(m_carry);
                joined += raw;
                const std::size_t tail = last ? 0 : Utf8OpenTail(joined);
                m_carry = joined.substr(joined.size() - tail);
                joined.resize(joined.size() - tail);
                text = IsValidUtf8(joined) ? std::move(joined) : ReplaceMalformed(joined, m_replaced);
            }
            return true;
        case TextEncoding::Windows1252:
            text = Cp1252ToUtf8(raw);
            return true;
        case TextEncoding::Utf16LE:
        case TextEncoding::Utf16BE: {
            const bool bigEndian = m_decision.encoding == TextEncoding::Utf16BE;
            std::string joined = std::move(m_carry);
            joined += raw;
            std::size_t keep = last ? 0 : joined.size() % 2;
            if (!last && joined.size() - keep >= 2) {
                // A high surrogate waits for its partner.
                const std::size_t at = joined.size() - keep - 2;
                const auto high = static_cast<unsigned char>(joined[bigEndian ? at : at + 1]);
                if (high >= 0xD8 && high <= 0xDB) {
                    keep += 2;
                }
            }
            m_carry = joined.substr(joined.size() - keep);
            joined.resize(joined.size() - keep);
            text = Utf16ToUtf8(joined, bigEndian);
            return true;
        }
        }
        return false;
    }

private:
    ByteSource& m_source;
    EncodingDecision m_decision;
    std::string m_head;
    std::string m_raw;
    std::string m_carry;
    bool m_stream = false;
    bool m_atEnd = false;
    bool m_first = true;
    std::size_t m_replaced = 0;
};

// A record: its fields as one text with their ends, and the file line where it starts.
struct Record {
    std::string_view text;
    const std::vector<std::uint32_t>* ends;
    std::size_t line;
    std::size_t gap = 0; // between the fields: 1 where `text` still holds the separators

    std::size_t Count() const { return ends->size(); }
    std::string_view Field(std::size_t index) const {
        const std::size_t begin = index == 0 ? 0 : (*ends)[index - 1] + gap;
        return text.substr(begin, (*ends)[index] - begin);
    }
};

// Splits text into records at CR LF, LF or CR and into fields at the separator. With quoting, a
// field that starts with " runs to the next lone " and may hold separators and line breaks; ""
// inside it is one quote (RFC 4180, as spreadsheets write it).
template <typename OnRecord> class RecordSplitter {
public:
    RecordSplitter(char separator, bool quoting, std::size_t firstLine, OnRecord onRecord)
        : m_separator(separator),
          m_quoting(quoting),
          m_line(firstLine),
          m_recordLine(firstLine),
          m_onRecord(std::move(onRecord)) {}

    // Only the fields marked here keep their text; the others are counted but read as empty, so
    // that long columns nobody reads cost no copy. Without marks every field is kept.
    void KeepOnly(std::vector<bool> keep) { m_keep = std::move(keep); }

    void Feed(std::string_view text) {
        std::size_t i = 0;
        while (i < text.size()) {
            if (!(AtRecordStart() && WholeRecord(text, i))) {
                i = Step(text, i);
            }
        }
    }

    void Finish() {
        if (m_state != State::FieldStart || !m_text.empty() || !m_ends.empty()) {
            EndRecord();
        }
    }

private:
    enum class State { FieldStart, Unquoted, Quoted, QuoteInQuoted };

    bool AtRecordStart() const { return m_state == State::FieldStart && m_text.empty() && m_ends.empty(); }

    // The usual record, one that lies wholly in `text` and has no quoted field, handed out as it
    // stands there without a copy; false, with nothing done, for any other.
    bool WholeRecord(std::string_view text, std::size_t& at) {
        const char* const s = text.data();
        const std::size_t n = text.size();
        std::size_t i = at;
        if (m_lastCr && s[i] == '\n') {
            m_lastCr = false; // the LF of a CR LF that ended the record before
            at = i + 1;
            return true;
        }
        m_wholeEnds.clear();
        for (;;) {
            if (i == n || (m_quoting && s[i] == '"')) {
                return false;
            }
            const std::size_t j = NextSpecial(s, i, n);
            if (j == n) {
                return false;
            }
            m_wholeEnds.push_back(static_cast<std::uint32_t>(j - at));
            if (s[j] == m_separator) {
                i = j + 1;
                continue;
            }
            m_lastCr = s[j] == '\r';
            m_onRecord(Record{text.substr(at, j - at), &m_wholeEnds, m_recordLine, 1});
            ++m_line;
            m_recordLine = m_line;
            at = j + 1;
            return true;
        }
    }

    // Runs the state machine from `i` until a record ends or the text does; where it stopped.
    std::size_t Step(std::string_view text, std::size_t i) {
        const char* const s = text.data();
        const std::size_t n = text.size();
        m_ended = false;
        while (i < n && !m_ended) {
            const char c = s[i];
            switch (m_state) {
            case State::FieldStart:
                if (c == '\n' && m_lastCr && m_text.empty() && m_ends.empty()) {
                    m_lastCr = false; // the LF of a CR LF that ended the record
                    ++i;
                    continue;
                }
                if (m_quoting && c == '"') {
                    m_state = State::Quoted;
                    m_lastCr = false;
                    ++i;
                    continue;
                }
                [[fallthrough]];
            case State::Unquoted: {
                const std::size_t j = NextSpecial(s, i, n);
                if (j > i) {
                    if (Kept()) {
                        m_text.append(s + i, j - i);
                    }
                    m_state = State::Unquoted;
                    m_lastCr = false;
                    i = j;
                    continue;
                }
                EndFieldOrRecord(c);
                ++i;
                break;
            }
            case State::Quoted: {
                std::size_t j = i;
                while (j < n && s[j] != '"' && s[j] != '\r' && s[j] != '\n') {
                    ++j;
                }
                if (j > i) {
                    if (Kept()) {
                        m_text.append(s + i, j - i);
                    }
                    m_lastCr = false;
                    i = j;
                    continue;
                }
                if (c == '"') {
                    m_state = State::QuoteInQuoted;
                } else if (c == '\r') {
                    ++m_line;
                    m_text += ' '; // a line break inside a name reads as one space
                } else if (!m_lastCr) {
                    ++m_line;
                    m_text += ' ';
                }
                m_lastCr = c == '\r';
                ++i;
                break;
            }
            case State::QuoteInQuoted:
                if (c == '"') {
                    m_text += '"';
                    m_state = State::Quoted;
                    ++i;
                } else if (c == m_separator || c == '\r' || c == '\n') {
                    EndFieldOrRecord(c);
                    ++i;
                } else {
                    m_state = State::Unquoted; // text after the closing quote is kept
                }
                break;
            }
        }
        return i;
    }

    // The first position from `i` holding the separator, CR or LF (or `n`): eight bytes at a time.
    std::size_t NextSpecial(const char* s, std::size_t i, std::size_t n) const {
        constexpr std::uint64_t kOnes = 0x0101010101010101ull;
        constexpr std::uint64_t kHighs = 0x8080808080808080ull;
        const std::uint64_t separators = kOnes * static_cast<unsigned char>(m_separator);
        auto hasByte = [](std::uint64_t word, std::uint64_t pattern) {
            const std::uint64_t x = word ^ pattern;
            return (x - kOnes) & ~x & kHighs;
        };
        while (i + 8 <= n) {
            std::uint64_t word = 0;
            std::memcpy(&word, s + i, sizeof word);
            if ((hasByte(word, separators) | hasByte(word, kOnes * '\r') | hasByte(word, kOnes * '\n')) != 0) {
                break;
            }
            i += 8;
        }
        while (i < n && s[i] != m_separator && s[i] != '\r' && s[i] != '\n') {
            ++i;
        }
        return i;
    }

    bool Kept() const { return m_keep.empty() || m_ends.size() >= m_keep.size() || m_keep[m_ends.size()]; }

    void EndFieldOrRecord(char c) {
        if (c == m_separator) {
            m_ends.push_back(static_cast<std::uint32_t>(m_text.size()));
            m_state = State::FieldStart;
            m_lastCr = false;
            return;
        }
        EndRecord();
        ++m_line;
        m_recordLine = m_line;
        m_lastCr = c == '\r';
    }

    void EndRecord() {
        m_ends.push_back(static_cast<std::uint32_t>(m_text.size()));
        m_onRecord(Record{m_text, &m_ends, m_recordLine});
        m_text.clear();
        m_ends.clear();
        m_state = State::FieldStart;
        m_ended = true;
    }

    char m_separator;
    bool m_quoting;
    std::size_t m_line;
    std::size_t m_recordLine;
    OnRecord m_onRecord;
    State m_state = State::FieldStart;
    bool m_lastCr = false;
    std::string m_text;
    std::vector<std::uint32_t> m_ends;
    std::vector<std::uint32_t> m_wholeEnds;
    std::vector<bool> m_keep;
    bool m_ended = false;
};

// The fields of one line read on its own, with quoting.
std::vector<std::string> SplitLine(std::string_view line, char separator, bool quoting) {
    std::vector<std::string> fields;
    RecordSplitter splitter(separator, quoting, 1, [&fields](const Record& record) {
        if (fields.empty()) {
            for (std::size_t i = 0; i < record.Count(); ++i) {
                fields.emplace_back(record.Field(i));
            }
        }
    });
    splitter.Feed(line);
    splitter.Finish();
    return fields;
}

// The separator of a header line: the most frequent of comma, semicolon, tab and pipe.
char SeparatorOf(std::string_view line) {
    char best = ',';
    std::ptrdiff_t most = 0;
    for (const char candidate : {',', ';', '\t', '|'}) {
        const std::ptrdiff_t count = std::count(line.begin(), line.end(), candidate);
        if (count > most) {
            most = count;
            best = candidate;
        }
    }
    return best;
}

bool StartsWithCodeAndComma(std::string_view line) {
    if (line.size() < 9 || line[8] != ',') {
        return false;
    }
    return std::all_of(line.begin(), line.begin() + 8, [](char c) { return c >= '0' && c <= '9'; });
}

bool IsDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A number as a spreadsheet shows a large one: 3.5E+07, 35E7, 3,5E+07.
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

std::string_view TrimSpaces(std::string_view text) {
    const std::size_t begin = text.find_first_not_of(' ');
    if (begin == std::string_view::npos) {
        return {};
    }
    return text.substr(begin, text.find_last_not_of(' ') - begin + 1);
}

bool IsNotKnown(std::string_view name) {
    constexpr std::string_view kNotKnown = "not known";
    return name.size() == kNotKnown.size() &&
           std::equal(name.begin(), name.end(), kNotKnown.begin(), [](char a, char b) {
               return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a == '_' ? ' ' : a) == b;
           });
}

// A name as tacdex.csv can hold it: commas and control characters (C0, DEL, C1) as spaces, no
// surrounding spaces; the GSMA's placeholder "Not Known" as no name. The result is a view of
// `name` or, where characters change, of `scratch`.
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

} // namespace

std::string_view ImportLayoutName(ImportLayout layout) {
    switch (layout) {
    case ImportLayout::Gsma:
        return "GSMA";
    case ImportLayout::Osmocom:
        return "Osmocom";
    case ImportLayout::Csv:
        return "CSV";
    case ImportLayout::Tacdex:
        return "tacdex.csv";
    }
    return "CSV";
}

const ColumnNames& LookedForColumns() {
    static const ColumnNames names{{"tac", "type allocation code", "tac code"},
                                   {"brand name", "brand"},
                                   {"manufacturer", "manufacturer (or) applicant"},
                                   {"marketing name"},
                                   {"model name", "model"}};
    return names;
}

std::string NormaliseColumnName(std::string_view name) {
    std::string out;
    for (const char c : name) {
        out += c == '_' ? ' ' : (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return std::string(TrimSpaces(out));
}

bool IsValidVersionText(std::string_view text) {
    return !text.empty() && text.size() <= 10 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

// Reads one export into a DeviceImport.
class ExportParser {
public:
    ExportParser(DeviceImport& into, ExportRead& result) : m_into(into), m_result(result) {}

    void Run(ByteSource& source) {
        Utf8Blocks blocks(source);
        if (!blocks.Start()) {
            Fail(source.Error());
            return;
        }
        m_result.encoding = blocks.Encoding();
        // The first two lines as they stand: a header, or a comment and a header.
        std::string head;
        std::string piece;
        bool more = true;
        while (more && LineEnds(head) < 2) {
            more = blocks.Next(piece);
            if (more) {
                head += piece;
            }
        }
        if (source.Error() != 0) {
            Fail(source.Error());
            return;
        }
        const std::size_t skip = Recognise(head);
        if (m_result.outcome != ExportRead::Outcome::Read) {
            return;
        }
        const bool tacdex = m_result.layout == ImportLayout::Tacdex;
        std::size_t firstLine = 1;
        std::string_view rest = head;
        for (std::size_t n = 0; n < skip; ++n) {
            rest.remove_prefix(LineLength(rest));
            ++firstLine;
        }
        RecordSplitter splitter(m_separator, !tacdex, firstLine, [this, tacdex](const Record& record) {
            if (tacdex) {
                HoldBack(record);
            } else {
                Take(record);
            }
        });
        if (!tacdex) {
            std::vector<bool> keep(m_fieldCount, false);
            for (const std::size_t column : {m_code, m_brand, m_manufacturer, m_marketingName, m_model}) {
                if (column < keep.size()) {
                    keep[column] = true;
                }
            }
            splitter.KeepOnly(std::move(keep));
        }
        splitter.Feed(rest);
        std::string().swap(head);
        while (more && !m_stopped && blocks.Next(piece)) {
            splitter.Feed(piece);
        }
        if (source.Error() != 0) {
            Fail(source.Error());
            return;
        }
        if (!m_stopped) {
            splitter.Finish();
        }
        // A tacdex.csv's last line is its version line, not a device: the held line is dropped.
        m_result.replacedSequences = blocks.Replaced();
        if (m_stopped) {
            m_result.outcome = ExportRead::Outcome::BeyondLimits;
        }
    }

private:
    void Fail(int error) {
        m_result.outcome = ExportRead::Outcome::ReadFailed;
        m_result.error = error;
    }

    static std::size_t LineEnds(std::string_view text) {
        std::size_t count = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) {
                ++count;
            }
        }
        return count;
    }
    // The length of the first line with its line end.
    static std::size_t LineLength(std::string_view text) {
        const std::size_t end = text.find_first_of("\r\n");
        if (end == std::string_view::npos) {
            return text.size();
        }
        return end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    static std::string_view FirstLine(std::string_view text) { return text.substr(0, text.find_first_of("\r\n")); }

    bool Allowed(ImportLayout layout) const {
        const ImportSettings& settings = m_into.m_settings;
        if (settings.layout) {
            return *settings.layout == layout;
        }
        const bool columnsNamed = settings.codeColumn || settings.manufacturerColumn || settings.modelColumn;
        return !columnsNamed || layout == ImportLayout::Gsma || layout == ImportLayout::Csv;
    }

    bool IsOsmocomHeader(std::string_view line) {
        const std::vector<std::string> fields = SplitLine(line, ',', true);
        if (fields.size() < 3 || NormaliseColumnName(fields[0]) != "tac" || NormaliseColumnName(fields[1]) != "name" ||
            NormaliseColumnName(fields[2]) != "name") {
            return false;
        }
        m_result.layout = ImportLayout::Osmocom;
        m_separator = ',';
        m_fieldCount = fields.size();
        m_code = 0;
        m_manufacturer = 1;
        m_model = 2;
        return true;
    }

    // Finds the columns by name; false when the header lacks a code, manufacturer or model column.
    bool FindColumnsByName(const std::vector<std::string>& fields) {
        const ImportSettings& settings = m_into.m_settings;
        const ColumnNames& names = LookedForColumns();
        auto find = [&fields](const std::vector<std::string_view>& wanted) {
            for (const std::string_view name : wanted) {
                for (std::size_t i = 0; i < fields.size(); ++i) {
                    if (NormaliseColumnName(fields[i]) == name) {
                        return i;
                    }
                }
            }
            return std::size_t{kNone};
        };
        auto named = [&find](const std::optional<std::string>& given, const std::vector<std::string_view>& wanted) {
            if (given) {
                const std::string name = NormaliseColumnName(*given);
                return find({name});
            }
            return find(wanted);
        };
        m_code = named(settings.codeColumn, names.code);
        if (settings.manufacturerColumn) {
            m_manufacturer = named(settings.manufacturerColumn, {});
        } else {
            m_brand = find(names.brand);
            m_manufacturer = find(names.manufacturer);
        }
        if (settings.modelColumn) {
            m_model = named(settings.modelColumn, {});
        } else {
            m_marketingName = find(names.marketingName);
            m_model = find(names.model);
        }
        m_fieldCount = fields.size();
        return m_code != kNone && (m_brand != kNone || m_manufacturer != kNone) &&
               (m_marketingName != kNone || m_model != kNone);
    }

    // Decides the layout from the first lines; how many lines to skip before the rows.
    std::size_t Recognise(std::string_view head) {
        const std::string_view first = FirstLine(head);
        if (Allowed(ImportLayout::Tacdex) && StartsWithCodeAndComma(first)) {
            m_result.layout = ImportLayout::Tacdex;
            m_separator = ',';
            m_code = 0;
            m_manufacturer = 1;
            m_model = 2;
            return 0;
        }
        if (Allowed(ImportLayout::Osmocom) && IsOsmocomHeader(first)) {
            return 1;
        }
        const char separator = SeparatorOf(first);
        const std::vector<std::string> fields = SplitLine(first, separator, true);
        const bool pipe = separator == '|';
        if ((Allowed(ImportLayout::Csv) || (pipe && Allowed(ImportLayout::Gsma))) && FindColumnsByName(fields)) {
            m_separator = separator;
            const bool gsmaNames = m_brand != kNone || m_marketingName != kNone;
            m_result.layout = pipe && Allowed(ImportLayout::Gsma) && (gsmaNames || !Allowed(ImportLayout::Csv))
                                  ? ImportLayout::Gsma
                                  : ImportLayout::Csv;
            return 1;
        }
        // The Osmocom export may open with one line of comment, its licence notice.
        const std::string_view second = FirstLine(head.substr(LineLength(head)));
        if (Allowed(ImportLayout::Osmocom) && IsOsmocomHeader(second)) {
            return 2;
        }
        m_result.outcome = ExportRead::Outcome::NoHeader;
        m_result.headerFields = fields;
        return 0;
    }

    void HoldBack(const Record& record) {
        if (record.Count() == 1 && record.text.empty()) {
            return;
        }
        if (m_held) {
            Take(Record{m_heldText, &m_heldEnds, m_heldLine, m_heldGap});
        }
        m_held = true;
        m_heldText.assign(record.text);
        m_heldEnds = *record.ends;
        m_heldLine = record.line;
        m_heldGap = record.gap;
    }

    std::string_view FieldOr(const Record& record, std::size_t index) const {
        return index < record.Count() ? record.Field(index) : std::string_view();
    }

    void Take(const Record& record) {
        if (record.Count() == 1 && record.text.empty()) {
            return; // a blank line is no row
        }
        ++m_result.rows;
        const bool tacdex = m_result.layout == ImportLayout::Tacdex;
        if (!tacdex && record.Count() != m_fieldCount) {
            m_into.Skip(SkipReason::FieldCount, record.line);
            return;
        }
        std::string code(TrimSpaces(FieldOr(record, m_code)));
        if (!IsDigits(code) || code.size() > 8) {
            m_into.Skip(IsExponentForm(code) ? SkipReason::ExponentCode : SkipReason::NoCode, record.line);
            return;
        }
        if (code.size() < 8) {
            if (!m_into.m_settings.padCodes) {
                m_into.Skip(SkipReason::ShortCode, record.line);
                return;
            }
            code.insert(0, 8 - code.size(), '0');
        }
        std::string_view manufacturer = m_brand != kNone ? CleanName(FieldOr(record, m_brand), m_scratch[0]) : "";
        if (manufacturer.empty() && m_manufacturer != kNone) {
            manufacturer = CleanName(FieldOr(record, m_manufacturer), m_scratch[0]);
        }
        std::string_view model =
            m_marketingName != kNone ? CleanName(FieldOr(record, m_marketingName), m_scratch[1]) : "";
        if (model.empty() && m_model != kNone) {
            model = CleanName(FieldOr(record, m_model), m_scratch[1]);
        }
        if (manufacturer.empty() && model.empty()) {
            m_into.Skip(SkipReason::NoName, record.line);
            return;
        }
        std::uint32_t value = 0;
        for (const char c : code) {
            value = value * 10 + static_cast<std::uint32_t>(c - '0');
        }
        m_into.Queue(value, manufacturer, model);
        if (m_into.NearLimits()) {
            m_stopped = true;
        }
    }

    DeviceImport& m_into;
    ExportRead& m_result;
    char m_separator = ',';
    std::size_t m_fieldCount = 0;
    std::size_t m_code = kNone;
    std::size_t m_brand = kNone;
    std::size_t m_manufacturer = kNone;
    std::size_t m_marketingName = kNone;
    std::size_t m_model = kNone;
    bool m_stopped = false;
    bool m_held = false;
    std::string m_heldText;
    std::vector<std::uint32_t> m_heldEnds;
    std::size_t m_heldLine = 0;
    std::size_t m_heldGap = 0;
    std::string m_scratch[2]; // the cleaned manufacturer and model where they differ from their fields
};

DeviceImport::DeviceImport(ImportSettings settings) : m_settings(std::move(settings)), m_slots(1024, {0, 0}) {}

ExportRead DeviceImport::Read(ByteSource& source) {
    ExportRead result;
    // Room for as many devices as the rows could hold, taken from memory only as it is used: the
    // list then grows without copying itself.
    const std::uint64_t rows = std::min<std::uint64_t>(source.SizeHint() / 16, kMaxDatabaseLines);
    if (m_records.capacity() < m_records.size() + rows) {
        m_records.reserve(m_records.size() + static_cast<std::size_t>(rows));
        AdviseLargePages(m_records.data(), m_records.capacity() * sizeof(Record));
    }
    ExportParser(*this, result).Run(source);
    AddQueued();
    if (result.outcome == ExportRead::Outcome::Read && NearLimits()) {
        result.outcome = ExportRead::Outcome::BeyondLimits;
    }
    ++m_fileIndex;
    return result;
}

std::string_view DeviceImport::Line(std::size_t index) const {
    const Record& record = m_records[index];
    return std::string_view(m_lines[record.chunk]).substr(record.offset, record.length);
}

void DeviceImport::Skip(SkipReason reason, std::size_t line) {
    SkippedRows& rows = m_skipped[static_cast<std::size_t>(reason)];
    ++rows.count;
    if (rows.first.size() < kFirstLinesKept) {
        rows.first.push_back({m_fileIndex, line});
    }
}

bool DeviceImport::NearLimits() const {
    // Every device kept takes a line of the result: past either limit no base can make it fit.
    return m_records.size() + 1 > kMaxDatabaseLines || m_liveBytes + 2 * m_records.size() > kMaxDatabaseBytes;
}

std::size_t DeviceImport::SlotOf(std::uint32_t code, std::size_t mask) const {
    // The high half of one multiply spreads codes that differ in any digit over all slots.
    return static_cast<std::size_t>((code * 0x9E3779B97F4A7C15ull) >> 32) & mask;
}

std::pair<std::uint32_t, std::uint32_t> DeviceImport::Room(std::size_t length) {
    constexpr std::size_t kChunk = std::size_t{8} << 20;
    if (m_lines.empty() || m_lines.back().capacity() - m_lines.back().size() < length) {
        m_lines.emplace_back();
        m_lines.back().reserve(std::max(kChunk, length));
        AdviseLargePages(m_lines.back().data(), m_lines.back().capacity());
    }
    return {static_cast<std::uint32_t>(m_lines.size() - 1), static_cast<std::uint32_t>(m_lines.back().size())};
}

void DeviceImport::Queue(std::uint32_t code, std::string_view manufacturer, std::string_view model) {
    constexpr std::size_t kAhead = 16;
    __builtin_prefetch(&m_slots[SlotOf(code, m_slots.size() - 1)]);
    m_queue.push_back(
        {code, static_cast<std::uint32_t>(manufacturer.size()), static_cast<std::uint32_t>(model.size())});
    m_queuedNames.append(manufacturer).append(model);
    if (m_queue.size() == kAhead) {
        AddQueued();
    }
}

void DeviceImport::AddQueued() {
    std::size_t at = 0;
    for (const Queued& row : m_queue) {
        const std::string_view names(m_queuedNames);
        Add(row.code, names.substr(at, row.manufacturerLength),
            names.substr(at + row.manufacturerLength, row.modelLength));
        at += row.manufacturerLength + row.modelLength;
    }
    m_queue.clear();
    m_queuedNames.clear();
}

void DeviceImport::Add(std::uint32_t code, std::string_view manufacturer, std::string_view model) {
    char digits[9];
    for (std::uint32_t rest = code, i = 8; i-- > 0; rest /= 10) {
        digits[i] = static_cast<char>('0' + rest % 10);
    }
    digits[8] = ',';
    const std::size_t length = 9 + manufacturer.size() + 1 + model.size();
    auto append = [&](std::string& chunk) {
        chunk.append(digits, 9).append(manufacturer).append(1, ',').append(model);
    };

    const std::size_t mask = m_slots.size() - 1;
    std::size_t slot = SlotOf(code, mask);
    while (m_slots[slot].second != 0 && m_slots[slot].first != code) {
        slot = (slot + 1) & mask;
    }
    if (m_slots[slot].second != 0) {
        // A code read again keeps its place and takes the new names; in its old room when they fit.
        ++m_repeated;
        Record& record = m_records[m_slots[slot].second - 1];
        m_liveBytes -= record.length;
        if (length <= record.length) {
            std::string line;
            line.reserve(length);
            append(line);
            m_lines[record.chunk].replace(record.offset, length, line);
        } else {
            std::tie(record.chunk, record.offset) = Room(length);
            append(m_lines[record.chunk]);
        }
        record.length = static_cast<std::uint32_t>(length);
        m_liveBytes += length;
        return;
    }
    const auto [chunk, offset] = Room(length);
    append(m_lines[chunk]);
    m_liveBytes += length;
    m_records.push_back({code, chunk, offset, static_cast<std::uint32_t>(length)});
    m_slots[slot] = {code, static_cast<std::uint32_t>(m_records.size())};
    if (m_records.size() * 2 > m_slots.size()) {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> grown;
        grown.reserve(m_slots.size() * 2);
        AdviseLargePages(grown.data(), grown.capacity() * sizeof grown[0]);
        grown.assign(m_slots.size() * 2, {0, 0});
        const std::size_t grownMask = grown.size() - 1;
        for (std::size_t index = 0; index < m_records.size(); ++index) {
            std::size_t at = SlotOf(m_records[index].code, grownMask);
            while (grown[at].second != 0) {
                at = (at + 1) & grownMask;
            }
            grown[at] = {m_records[index].code, static_cast<std::uint32_t>(index + 1)};
        }
        m_slots.swap(grown);
    }
}

std::vector<std::uint32_t> DeviceImport::Replacements(const DeviceTable& base) const {
    const std::size_t baseDevices = base.LineCount() == 0 ? 0 : base.LineCount() - 1;
    std::vector<std::uint32_t> replacement(baseDevices + 1, kNone);
    for (std::size_t index = 0; index < m_records.size(); ++index) {
        const std::size_t line = base.FindLine(Line(index).substr(0, 8));
        if (line != 0) {
            replacement[line] = static_cast<std::uint32_t>(index);
        }
    }
    return replacement;
}

namespace {

// Visits the merged file's device lines in order: `visit(lineNumber, text, importIndex or kNone)`.
template <typename Visit>
void VisitMerged(const DeviceImport& import, const DeviceTable* base, const std::vector<std::uint32_t>& replacement,
                 const Visit& visit) {
    const std::size_t baseDevices = base == nullptr || base->LineCount() == 0 ? 0 : base->LineCount() - 1;
    std::size_t number = 0;
    auto baseLine = [&](std::size_t line) {
        const std::uint32_t index = replacement[line];
        visit(++number, index == kNone ? base->Line(line) : import.Line(index), index);
    };
    for (std::size_t line = 1; line + 1 <= baseDevices; ++line) {
        baseLine(line);
    }
    std::vector<bool> placed(import.DeviceCount(), false);
    for (std::size_t line = 1; line <= baseDevices; ++line) {
        if (replacement[line] != kNone) {
            placed[replacement[line]] = true;
        }
    }
    for (std::size_t index = 0; index < import.DeviceCount(); ++index) {
        if (!placed[index]) {
            visit(++number, import.Line(index), static_cast<std::uint32_t>(index));
        }
    }
    if (baseDevices > 0) {
        baseLine(baseDevices);
    }
}

} // namespace

DeviceImport::Plan DeviceImport::PlanMerge(const DeviceTable* base, std::string_view version) const {
    Plan plan;
    const std::vector<std::uint32_t> replacement = base ? Replacements(*base) : std::vector<std::uint32_t>{};
    plan.replacedDevices = static_cast<std::size_t>(
        std::count_if(replacement.begin(), replacement.end(), [](std::uint32_t i) { return i != kNone; }));
    plan.newDevices = m_records.size() - plan.replacedDevices;
    const std::size_t baseDevices = base == nullptr || base->LineCount() == 0 ? 0 : base->LineCount() - 1;
    plan.deviceLines = baseDevices + plan.newDevices;
    VisitMerged(*this, base, replacement, [&](std::size_t number, std::string_view text, std::uint32_t index) {
        plan.bytes += text.size() + 2;
        if (index != kNone && (number <= kUnlistedLeadingLines || number == plan.deviceLines)) {
            plan.unlisted.emplace_back(number, std::string(text.substr(0, 8)));
        }
    });
    plan.bytes += 9 + version.size() + 2;
    plan.withinLimits = plan.deviceLines + 1 <= kMaxDatabaseLines && plan.bytes <= kMaxDatabaseBytes;
    return plan;
}

void DeviceImport::WriteMerged(const DeviceTable* base, std::string_view version,
                               const std::function<void(std::string_view)>& write) const {
    const std::vector<std::uint32_t> replacement = base ? Replacements(*base) : std::vector<std::uint32_t>{};
    VisitMerged(*this, base, replacement, [&](std::size_t, std::string_view text, std::uint32_t) {
        write(text);
        write("\r\n");
    });
    write("99999999,");
    write(version);
    write("\r\n");
}

} // namespace quillon
