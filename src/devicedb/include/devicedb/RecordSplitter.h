#pragma once

// Splitting an export's text into records at CR LF, LF or CR, and records into fields at the
// separator, as the text arrives in pieces of any size.

#include "devicedb/DeviceImport.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillon {

// The separators a table's fields may have, in the order that a tie between them goes.
inline constexpr std::array<char, 4> kTableSeparators = {',', ';', '\t', '|'};
// The most frequent of them in a table's first line, given their counts there in that order; a
// comma when none of them is there.
inline char MostFrequentSeparator(const std::array<std::size_t, kTableSeparators.size()>& counts) {
    char best = ',';
    std::size_t most = 0;
    for (std::size_t i = 0; i < kTableSeparators.size(); ++i) {
        if (counts[i] > most) {
            most = counts[i];
            best = kTableSeparators[i];
        }
    }
    return best;
}

// How a field opening with " is read.
enum class Quoting {
    None, // tacdex.csv: quotes are characters like any other
    // RFC 4180, as spreadsheets write it: the field runs to the next lone " and may hold
    // separators and line breaks (each line break read as one space); "" inside it is one quote.
    Rfc4180,
    // The GSMA's export: as Rfc4180, but a line end always ends the record. A quote still open at
    // the line end is a plain character: the field is read again from it as plain text, up to the
    // next separator. A quoted field that closes on its line keeps the separators inside it.
    WithinLine,
};

// A record: its fields as one text with their ends, and the file line where it starts.
struct SplitRecord {
    std::string_view text;
    const std::vector<std::uint32_t>* ends; // of the first fields only, as many as the splitter keeps
    std::size_t count;                      // the fields, all of them
    std::size_t line;
    std::size_t gap = 0;       // between the fields: 1 where `text` still holds the separators
    std::size_t lines = 1;     // the file lines it takes in
    std::size_t quoteLine = 0; // of a record taking in more than one: where its open quote opened
    bool tooLong = false;      // took in more than kMaxRowLines lines, its text not kept
    bool blank = false;        // an empty line, which is no row

    std::size_t Count() const { return count; }
    // One of the fields kept (index < ends->size()).
    std::string_view Field(std::size_t index) const {
        const std::size_t begin = index == 0 ? 0 : (*ends)[index - 1] + gap;
        return text.substr(begin, (*ends)[index] - begin);
    }
};

// `onRecord(const SplitRecord&)` returns false to stop the splitting.
template <typename OnRecord> class RecordSplitter {
public:
    RecordSplitter(char separator, Quoting quoting, std::size_t firstLine, OnRecord onRecord)
        : m_separator(separator),
          m_quoting(quoting),
          m_line(firstLine),
          m_recordLine(firstLine),
          m_onRecord(std::move(onRecord)) {}

    // Only the fields marked here keep their text; the others, and every field past the marks,
    // are counted but read as empty, so that long columns nobody reads cost no copy. Without
    // marks every field is kept.
    void KeepOnly(std::vector<bool> keep) { m_keep = std::move(keep); }
    // The ends of at most this many fields are kept; the fields past them are only counted.
    void KeepEnds(std::size_t count) { m_maxEnds = count; }
    // Quoted records may take in more than kMaxRowLines lines.
    void AllowLongRows(bool allow) { m_longRows = allow; }
    // The text before the first piece ended in CR: an LF first is that line end's.
    void AfterCr() { m_lastCr = true; }

    void Feed(std::string_view text) {
        std::size_t i = 0;
        while (i < text.size() && !m_stopped) {
            if (!(AtRecordStart() && WholeRecord(text, i))) {
                i = Step(text, i);
            }
        }
    }

    // The end of the text. False when a quoted field is still open there (Rfc4180): that record
    // is not handed out.
    bool Finish() {
        if (m_stopped) {
            return true;
        }
        if (m_quoting == Quoting::Rfc4180 && m_state == State::Quoted) {
            return false;
        }
        if (m_state == State::Quoted) {
            ReadAgainAsPlain();
        }
        if (m_any) {
            EndRecord();
        }
        return true;
    }

    bool Stopped() const { return m_stopped; }
    // Where the quoted field open at the end opened.
    std::size_t OpenQuoteLine() const { return m_quoteLine; }
    // The records that took in more than one line, and where the first few opened their quote.
    std::size_t MultiLineRecords() const { return m_multiLine; }
    const std::vector<MultiLineRow>& FirstMultiLineRecords() const { return m_firstMultiLine; }

private:
    enum class State { FieldStart, Unquoted, Quoted, QuoteInQuoted };

    bool AtRecordStart() const { return m_state == State::FieldStart && m_text.empty() && m_count == 0; }

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
        std::size_t count = 0;
        const bool quoting = m_quoting != Quoting::None;
        for (;;) {
            if (i == n || (quoting && s[i] == '"')) {
                return false;
            }
            const std::size_t j = NextSpecial(s, i, n);
            if (j == n) {
                return false;
            }
            if (count++ < m_maxEnds) {
                m_wholeEnds.push_back(static_cast<std::uint32_t>(j - at));
            }
            if (s[j] == m_separator) {
                i = j + 1;
                continue;
            }
            m_lastCr = s[j] == '\r';
            SplitRecord record{text.substr(at, j - at), &m_wholeEnds, count, m_recordLine, 1};
            record.blank = j == at;
            m_stopped = !m_onRecord(record);
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
                if (c == '\n' && m_lastCr && m_text.empty() && m_count == 0) {
                    m_lastCr = false; // the LF of a CR LF that ended the record
                    ++i;
                    continue;
                }
                m_any = m_any || m_count > 0 || (c != '\r' && c != '\n');
                if (m_quoting != Quoting::None && c == '"') {
                    m_state = State::Quoted;
                    m_lastCr = false;
                    m_quoteLine = m_line;
                    if (m_quoting == Quoting::WithinLine) {
                        m_again.assign(1, '"');
                        m_againField = m_count;
                        m_againText = m_text.size();
                    }
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
                const std::size_t j = NextInQuotes(s, i, n);
                if (j > i) {
                    if (Kept()) {
                        m_text.append(s + i, j - i);
                    }
                    if (m_quoting == Quoting::WithinLine) {
                        m_again.append(s + i, j - i);
                    }
                    m_lastCr = false;
                    i = j;
                    continue;
                }
                if (c == '"') {
                    m_state = State::QuoteInQuoted;
                    if (m_quoting == Quoting::WithinLine) {
                        m_again += '"';
                    }
                    m_lastCr = false;
                } else if (m_quoting == Quoting::WithinLine) {
                    ReadAgainAsPlain();
                    EndFieldOrRecord(c);
                } else {
                    if (c == '\r' || !m_lastCr) {
                        LineInQuotes();
                    }
                    m_lastCr = c == '\r';
                }
                ++i;
                break;
            }
            case State::QuoteInQuoted:
                if (c == '"') {
                    if (Kept()) {
                        m_text += '"';
                    }
                    if (m_quoting == Quoting::WithinLine) {
                        m_again += '"';
                    }
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

    // A line break inside a quoted field: the record takes in one more line.
    void LineInQuotes() {
        ++m_line;
        if (m_recordLines++ == 1) {
            m_recordQuoteLine = m_quoteLine;
        }
        if (!m_longRows && m_recordLines > kMaxRowLines) {
            m_tooLong = true; // its text is no longer kept
        }
        if (Kept()) {
            m_text += ' '; // a line break inside a name reads as one space
        }
    }

    // The quote of a field still open at its line's end was a plain character: the field is read
    // again from it, with the fields after it on the line.
    void ReadAgainAsPlain() {
        std::string again;
        again.swap(m_again);
        m_text.resize(m_againText);
        m_count = m_againField;
        if (m_ends.size() > m_count) {
            m_ends.resize(m_count);
        }
        m_state = State::Unquoted;
        if (Kept()) {
            m_text += '"';
        }
        const std::string_view rest = std::string_view(again).substr(1);
        for (std::size_t i = 0; i < rest.size();) {
            i = Step(rest, i);
        }
        if (m_state == State::Quoted) {
            // A second quote cannot stay open where the first one did; should it, it closes here.
            m_state = State::QuoteInQuoted;
        }
        m_ended = false;
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

    static std::size_t NextInQuotes(const char* s, std::size_t i, std::size_t n) {
        while (i < n && s[i] != '"' && s[i] != '\r' && s[i] != '\n') {
            ++i;
        }
        return i;
    }

    bool Kept() const {
        return !m_tooLong && m_count < m_maxEnds && (m_keep.empty() || (m_count < m_keep.size() && m_keep[m_count]));
    }

    void EndFieldOrRecord(char c) {
        if (c == m_separator) {
            if (m_count++ < m_maxEnds) {
                m_ends.push_back(static_cast<std::uint32_t>(m_text.size()));
            }
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
        if (m_count++ < m_maxEnds) {
            m_ends.push_back(static_cast<std::uint32_t>(m_text.size()));
        }
        SplitRecord record{m_text, &m_ends, m_count, m_recordLine};
        record.blank = !m_any;
        if (m_recordLines > 1) {
            record.lines = m_recordLines;
            record.quoteLine = m_recordQuoteLine;
            record.tooLong = m_tooLong;
            ++m_multiLine;
            if (m_firstMultiLine.size() < kFirstLinesKept) {
                m_firstMultiLine.push_back({m_recordQuoteLine, m_recordLines});
            }
        }
        m_stopped = !m_onRecord(record);
        m_text.clear();
        m_ends.clear();
        m_count = 0;
        m_recordLines = 1;
        m_tooLong = false;
        m_any = false;
        m_state = State::FieldStart;
        m_ended = true;
    }

    char m_separator;
    Quoting m_quoting;
    std::size_t m_line;
    std::size_t m_recordLine;
    OnRecord m_onRecord;
    State m_state = State::FieldStart;
    bool m_lastCr = false;
    std::string m_text;
    std::vector<std::uint32_t> m_ends;
    std::size_t m_count = 0; // the fields of the record so far
    bool m_any = false;      // whether the record holds anything before its line end
    std::vector<std::uint32_t> m_wholeEnds;
    std::vector<bool> m_keep;
    std::size_t m_maxEnds = SIZE_MAX;
    bool m_longRows = false;
    bool m_ended = false;
    bool m_stopped = false;
    // The quoted field open now: the line where it opened and (WithinLine) its bytes from the quote.
    std::size_t m_quoteLine = 0;
    std::string m_again;
    std::size_t m_againField = 0;
    std::size_t m_againText = 0;
    // The lines the record takes in, and where the quote open at its first line break opened.
    std::size_t m_recordLines = 1;
    std::size_t m_recordQuoteLine = 0;
    bool m_tooLong = false;
    std::size_t m_multiLine = 0;
    std::vector<MultiLineRow> m_firstMultiLine;
};

} // namespace quillon
