#pragma once

// Recognising an export's layout from its first line or two, read as they arrive: the tacdex.csv
// line, the Osmocom header (after a comment line or not), a header naming the columns, or columns
// given by position. What is kept of a line is only what recognising it needs, whatever its length.

#include "devicedb/DeviceImport.h"
#include "devicedb/RecordSplitter.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

inline constexpr std::size_t kNoColumn = SIZE_MAX;
// The fields of a first line that a message shows, and one more to tell that there were more.
inline constexpr std::size_t kShownHeaderFields = 21;

// How an export's rows are read.
struct ImportColumns {
    ImportLayout layout = ImportLayout::Csv;
    char separator = ',';
    Quoting quoting = Quoting::Rfc4180;
    std::size_t fieldCount = 0; // the fields every row must have; 0: any number
    std::size_t code = kNoColumn;
    std::size_t brand = kNoColumn; // read before the manufacturer, which stands in when it is empty
    std::size_t manufacturer = kNoColumn;
    std::size_t marketingName = kNoColumn; // read before the model, likewise
    std::size_t model = kNoColumn;
};

// The fields of one header line for one separator, as its text arrives (without its line end):
// of each field only its name as compared, while it is short enough to be one looked for, what a
// message quotes of it, and whether it is an eight-digit code.
class HeaderLineFields {
public:
    // `names`: the names looked for, as compared; `longest`: the length of the longest.
    HeaderLineFields(char separator, const std::vector<std::string>* names, std::size_t longest);

    void Feed(std::string_view text);
    void End();

    std::size_t Count() const { return m_index; }
    // The first field named names[k], or kNoColumn.
    std::size_t FirstNamed(std::size_t k) const { return m_firstNamed[k]; }
    // The name as compared of field 0, 1 or 2; empty when it is none looked for.
    std::optional<std::string> LeadingName(std::size_t index) const {
        return index < m_leading.size() ? m_leading[index] : std::nullopt;
    }
    bool AnyCode() const { return m_anyCode; }
    const std::vector<std::string>& Shown() const { return m_shown; }

private:
    void Character(char c);
    bool Saturated() const { return m_unmatchable && m_shownFull && m_codeState == CodeState::No; }
    void EndField();

    enum class State { FieldStart, Unquoted, Quoted, QuoteInQuoted };
    enum class CodeState { Leading, Digits, Trailing, No };

    char m_separator;
    const std::vector<std::string>* m_names;
    std::size_t m_longest;
    State m_state = State::FieldStart;
    bool m_any = false;
    std::size_t m_index = 0;
    // The field being read.
    std::string m_name;
    std::size_t m_spaces = 0; // after m_name, kept only if more follows
    bool m_unmatchable = false;
    std::string m_quote;
    std::size_t m_quoteChars = 0;
    bool m_cut = false;
    bool m_shownFull = false;
    CodeState m_codeState = CodeState::Leading;
    std::size_t m_digits = 0;
    // The line so far.
    std::vector<std::size_t> m_firstNamed;
    std::vector<std::optional<std::string>> m_leading;
    std::vector<std::string> m_shown;
    bool m_anyCode = false;
};

// Reads the first lines of an export until its layout is decided.
class HeaderReader {
public:
    explicit HeaderReader(const ImportSettings& settings);
    HeaderReader(const HeaderReader&) = delete;
    HeaderReader& operator=(const HeaderReader&) = delete;

    // Takes the next piece of text; true once the layout is decided, with `used` the bytes of
    // `text` that the header took: the rows begin after them, with Replay() before them.
    bool Feed(std::string_view text, std::size_t& used);
    // The end of the input: decides on what came.
    void Finish();

    // False: no header of a layout looked for.
    bool Recognised() const { return m_recognised; }
    const ImportColumns& Columns() const { return m_columns; }
    // The first line's fields, as a message quotes them.
    const std::vector<std::string>& FirstLineFields() const { return m_firstLineFields; }
    // Text taken in before the rows began that belongs to them.
    std::string_view Replay() const { return m_replay; }
    std::size_t FirstRowLine() const { return m_firstRowLine; }
    // The header's last line ended in CR, so an LF first is that line end's.
    bool RowsAfterCr() const { return m_rowsAfterCr; }

private:
    enum class Phase { Line1, Line2Start, Line2, Decided };

    bool Allowed(ImportLayout layout) const;
    char Separator() const;
    HeaderLineFields& FieldsFor(char separator);
    // The column of `list`: its first name that a field has.
    std::size_t Find(const HeaderLineFields& fields, const std::vector<std::size_t>& list) const;
    void EndLine1();
    void EndLine2();
    void Decide(const ImportColumns& columns, std::size_t firstRowLine);
    void DecideByPosition();
    bool TakeOsmocom(const HeaderLineFields& fields);

    const ImportSettings& m_settings;
    bool m_byPosition;
    std::vector<std::string> m_names;
    std::size_t m_longest = 0;
    // Indexes into m_names, in the order looked for.
    std::vector<std::size_t> m_code, m_brand, m_manufacturer, m_marketingName, m_model;
    std::size_t m_tac = 0, m_name = 0;

    Phase m_phase = Phase::Line1;
    bool m_lastCr = false;
    std::array<std::size_t, 4> m_counts{}; // of , ; tab | in the first line
    std::vector<HeaderLineFields> m_line1;
    std::optional<HeaderLineFields> m_line2;
    bool m_tacdexOpen;   // whether the first line may still be a tacdex.csv line
    std::string m_start; // the first line's first nine bytes, while it may be
    std::string m_kept;  // the first line whole, when it may be a row (columns by position)

    bool m_recognised = false;
    ImportColumns m_columns;
    std::vector<std::string> m_firstLineFields;
    std::string m_replay;
    std::size_t m_firstRowLine = 1;
    bool m_rowsAfterCr = false;
};

} // namespace quillon
