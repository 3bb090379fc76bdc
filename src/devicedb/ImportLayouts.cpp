#include "ImportLayouts.h"

#include "ImportRow.h"

#include <algorithm>
#include <cstring>

namespace quillon {

namespace {

constexpr std::array<char, 4> kSeparators = kTableSeparators;

bool StartsWithCodeAndComma(std::string_view line) {
    if (line.size() < 9 || line[8] != ',') {
        return false;
    }
    return std::all_of(line.begin(), line.begin() + 8, [](char c) { return c >= '0' && c <= '9'; });
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

HeaderLineFields::HeaderLineFields(char separator, const std::vector<std::string>* names, std::size_t longest)
    : m_separator(separator),
      m_names(names),
      m_longest(longest),
      m_firstNamed(names->size(), kNoColumn) {}

void HeaderLineFields::Feed(std::string_view text) {
    const char* const s = text.data();
    const std::size_t n = text.size();
    m_any = m_any || n > 0;
    // The next position holding `c`, or the end.
    auto next = [s, n](char c, std::size_t from) {
        const void* hit = std::memchr(s + from, c, n - from);
        return hit != nullptr ? static_cast<std::size_t>(static_cast<const char*>(hit) - s) : n;
    };
    std::size_t i = 0;
    while (i < n) {
        const char c = s[i];
        switch (m_state) {
        case State::FieldStart:
            if (c == '"') {
                m_state = State::Quoted;
                ++i;
                continue;
            }
            m_state = State::Unquoted;
            [[fallthrough]];
        case State::Unquoted:
            if (c == m_separator) {
                EndField();
                ++i;
            } else if (Saturated()) {
                i = next(m_separator, i); // nothing more of this field matters
            } else {
                Character(c);
                ++i;
            }
            break;
        case State::Quoted:
            if (c == '"') {
                m_state = State::QuoteInQuoted;
                ++i;
            } else if (Saturated()) {
                i = next('"', i);
            } else {
                Character(c);
                ++i;
            }
            break;
        case State::QuoteInQuoted:
            if (c == '"') {
                Character('"');
                m_state = State::Quoted;
                ++i;
            } else if (c == m_separator) {
                EndField();
                ++i;
            } else {
                m_state = State::Unquoted; // text after the closing quote is kept
            }
            break;
        }
    }
}

void HeaderLineFields::End() {
    if (m_any) {
        EndField();
    }
    m_any = false;
}

void HeaderLineFields::Character(char c) {
    if (!m_unmatchable) {
        // As NormaliseColumnName compares names: lower case, `_` as a space, no surrounding spaces.
        const char compared = c == '_' ? ' ' : (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (compared == ' ') {
            m_spaces += m_name.empty() ? 0 : 1;
        } else if (m_name.size() + m_spaces + 1 > m_longest) {
            m_unmatchable = true;
            m_name.clear();
        } else {
            m_name.append(m_spaces, ' ');
            m_spaces = 0;
            m_name += compared;
        }
    }
    if (!m_shownFull) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80 && m_quoteChars++ == kMessageQuoteChars) {
            m_cut = true;
            m_shownFull = true;
        } else {
            m_quote += c;
        }
    }
    // As a row's code is read: spaces around it trimmed.
    switch (m_codeState) {
    case CodeState::Leading:
    case CodeState::Digits:
        if (c >= '0' && c <= '9') {
            m_codeState = ++m_digits <= 8 ? CodeState::Digits : CodeState::No;
        } else if (c == ' ') {
            m_codeState = m_codeState == CodeState::Digits ? CodeState::Trailing : CodeState::Leading;
        } else {
            m_codeState = CodeState::No;
        }
        break;
    case CodeState::Trailing:
        m_codeState = c == ' ' ? CodeState::Trailing : CodeState::No;
        break;
    case CodeState::No:
        break;
    }
}

void HeaderLineFields::EndField() {
    if (m_index < 3) {
        m_leading.push_back(m_unmatchable ? std::nullopt : std::optional<std::string>(m_name));
    }
    if (!m_unmatchable) {
        for (std::size_t k = 0; k < m_names->size(); ++k) {
            if (m_firstNamed[k] == kNoColumn && (*m_names)[k] == m_name) {
                m_firstNamed[k] = m_index;
            }
        }
    }
    m_anyCode = m_anyCode || (m_digits == 8 && m_codeState != CodeState::No && m_codeState != CodeState::Leading);
    if (m_index < kShownHeaderFields) {
        m_shown.push_back(m_cut ? m_quote + "\xE2\x80\xA6" : m_quote);
    }
    ++m_index;
    m_state = State::FieldStart;
    m_name.clear();
    m_spaces = 0;
    m_unmatchable = false;
    m_quote.clear();
    m_quoteChars = 0;
    m_cut = false;
    m_shownFull = m_index >= kShownHeaderFields;
    m_codeState = CodeState::Leading;
    m_digits = 0;
}

HeaderReader::HeaderReader(const ImportSettings& settings)
    : m_settings(settings),
      m_byPosition(settings.codeIndex.has_value()),
      m_tacdexOpen(!m_byPosition && Allowed(ImportLayout::Tacdex)) {
    auto add = [this](std::string_view name) {
        m_names.emplace_back(name);
        m_longest = std::max(m_longest, name.size());
        return m_names.size() - 1;
    };
    auto list = [&add](std::vector<std::size_t>& into, const std::vector<std::string_view>& names) {
        for (const std::string_view name : names) {
            into.push_back(add(name));
        }
    };
    const ColumnNames& looked = LookedForColumns();
    if (settings.codeColumn) {
        m_code.push_back(add(NormaliseColumnName(*settings.codeColumn)));
    } else {
        list(m_code, looked.code);
    }
    if (settings.manufacturerColumn) {
        m_manufacturer.push_back(add(NormaliseColumnName(*settings.manufacturerColumn)));
    } else {
        list(m_brand, looked.brand);
        list(m_manufacturer, looked.manufacturer);
    }
    if (settings.modelColumn) {
        m_model.push_back(add(NormaliseColumnName(*settings.modelColumn)));
    } else {
        list(m_marketingName, looked.marketingName);
        list(m_model, looked.model);
    }
    m_tac = add("tac");
    m_name = add("name");
    for (const char separator : kSeparators) {
        m_line1.emplace_back(separator, &m_names, m_longest);
    }
}

bool HeaderReader::Allowed(ImportLayout layout) const {
    if (m_settings.layout) {
        return *m_settings.layout == layout;
    }
    const bool columnsNamed = m_settings.codeColumn || m_settings.manufacturerColumn || m_settings.modelColumn;
    return !columnsNamed || layout == ImportLayout::Gsma || layout == ImportLayout::Csv;
}

char HeaderReader::Separator() const {
    return MostFrequentSeparator(m_counts);
}

HeaderLineFields& HeaderReader::FieldsFor(char separator) {
    const auto at = std::find(kSeparators.begin(), kSeparators.end(), separator);
    return m_line1[static_cast<std::size_t>(at - kSeparators.begin())];
}

bool HeaderReader::Feed(std::string_view text, std::size_t& used) {
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n && m_phase != Phase::Decided) {
        if (m_phase == Phase::Line2Start) {
            m_phase = Phase::Line2;
            if (m_lastCr && text[i] == '\n') {
                ++i; // the LF of the first line's CR LF
                continue;
            }
        }
        std::size_t end = i;
        while (end < n && text[end] != '\r' && text[end] != '\n') {
            ++end;
        }
        const std::string_view piece = text.substr(i, end - i);
        if (m_phase == Phase::Line1) {
            if (m_tacdexOpen) {
                const std::size_t take = std::min(piece.size(), 9 - m_start.size());
                m_start.append(piece.substr(0, take));
                if (m_start.size() == 9) {
                    m_tacdexOpen = false;
                    if (StartsWithCodeAndComma(m_start)) {
                        ImportColumns columns;
                        columns.layout = ImportLayout::Tacdex;
                        columns.quoting = Quoting::None;
                        columns.code = 0;
                        columns.manufacturer = 1;
                        columns.model = 2;
                        m_replay = m_start;
                        Decide(columns, 1);
                        used = i + take;
                        return true;
                    }
                }
            }
            for (std::size_t k = 0; k < kSeparators.size(); ++k) {
                m_counts[k] += static_cast<std::size_t>(std::count(piece.begin(), piece.end(), kSeparators[k]));
                m_line1[k].Feed(piece);
            }
            if (m_byPosition) {
                m_kept += piece;
            }
        } else {
            m_line2->Feed(piece);
        }
        if (end == n) {
            i = n;
            break;
        }
        m_lastCr = text[end] == '\r';
        i = end + 1;
        if (m_phase == Phase::Line1) {
            if (m_byPosition) {
                m_kept += text[end];
            }
            EndLine1();
        } else {
            EndLine2();
        }
    }
    used = i;
    return m_phase == Phase::Decided;
}

void HeaderReader::Finish() {
    if (m_phase == Phase::Line1) {
        m_lastCr = false;
        EndLine1();
    }
    if (m_phase != Phase::Decided) {
        m_lastCr = false;
        if (!m_line2) {
            m_line2.emplace(',', &m_names, m_longest);
        }
        EndLine2();
    }
}

std::size_t HeaderReader::Find(const HeaderLineFields& fields, const std::vector<std::size_t>& list) const {
    for (const std::size_t name : list) {
        if (fields.FirstNamed(name) != kNoColumn) {
            return fields.FirstNamed(name);
        }
    }
    return kNoColumn;
}

bool HeaderReader::TakeOsmocom(const HeaderLineFields& fields) {
    if (fields.Count() < 3 || fields.LeadingName(0) != m_names[m_tac] || fields.LeadingName(1) != m_names[m_name] ||
        fields.LeadingName(2) != m_names[m_name]) {
        return false;
    }
    ImportColumns columns;
    columns.layout = ImportLayout::Osmocom;
    columns.fieldCount = fields.Count();
    columns.code = 0;
    columns.manufacturer = 1;
    columns.model = 2;
    Decide(columns, m_phase == Phase::Line1 ? 2 : 3);
    return true;
}

void HeaderReader::EndLine1() {
    m_tacdexOpen = false;
    for (HeaderLineFields& fields : m_line1) {
        fields.End();
    }
    const char separator = Separator();
    const HeaderLineFields& fields = FieldsFor(separator);
    m_firstLineFields = fields.Shown();
    if (m_byPosition) {
        DecideByPosition();
        return;
    }
    if (Allowed(ImportLayout::Osmocom) && TakeOsmocom(FieldsFor(','))) {
        return;
    }
    const bool pipe = separator == '|';
    if (Allowed(ImportLayout::Csv) || (pipe && Allowed(ImportLayout::Gsma))) {
        ImportColumns columns;
        columns.separator = separator;
        columns.fieldCount = fields.Count();
        columns.code = Find(fields, m_code);
        columns.brand = Find(fields, m_brand);
        columns.manufacturer = Find(fields, m_manufacturer);
        columns.marketingName = Find(fields, m_marketingName);
        columns.model = Find(fields, m_model);
        if (columns.code != kNoColumn && (columns.brand != kNoColumn || columns.manufacturer != kNoColumn) &&
            (columns.marketingName != kNoColumn || columns.model != kNoColumn)) {
            const bool gsmaNames = columns.brand != kNoColumn || columns.marketingName != kNoColumn;
            const bool gsma = pipe && Allowed(ImportLayout::Gsma) && (gsmaNames || !Allowed(ImportLayout::Csv));
            columns.layout = gsma ? ImportLayout::Gsma : ImportLayout::Csv;
            columns.quoting = gsma ? Quoting::WithinLine : Quoting::Rfc4180;
            Decide(columns, 2);
            return;
        }
    }
    if (Allowed(ImportLayout::Osmocom)) {
        // The Osmocom export may open with one line of comment, its licence notice.
        m_phase = Phase::Line2Start;
        m_line2.emplace(',', &m_names, m_longest);
        m_line1.clear();
        return;
    }
    m_phase = Phase::Decided;
}

void HeaderReader::EndLine2() {
    m_line2->End();
    if (!TakeOsmocom(*m_line2)) {
        m_phase = Phase::Decided;
    }
}

void HeaderReader::Decide(const ImportColumns& columns, std::size_t firstRowLine) {
    m_columns = columns;
    m_recognised = true;
    m_firstRowLine = firstRowLine;
    m_rowsAfterCr = firstRowLine > 1 && m_lastCr;
    m_phase = Phase::Decided;
    m_line1.clear();
    m_line2.reset();
}

void HeaderReader::DecideByPosition() {
    ImportColumns columns;
    columns.layout = m_settings.layout.value_or(ImportLayout::Csv);
    switch (columns.layout) {
    case ImportLayout::Gsma:
        columns.separator = '|';
        columns.quoting = Quoting::WithinLine;
        break;
    case ImportLayout::Osmocom:
        columns.separator = ',';
        break;
    case ImportLayout::Tacdex:
        columns.separator = ',';
        columns.quoting = Quoting::None;
        break;
    case ImportLayout::Csv:
        columns.separator = Separator();
        break;
    }
    columns.code = *m_settings.codeIndex;
    columns.manufacturer = m_settings.manufacturerIndex.value_or(kNoColumn);
    columns.model = m_settings.modelIndex.value_or(kNoColumn);
    const bool header = m_settings.firstLineIsHeader.value_or(!FieldsFor(columns.separator).AnyCode());
    if (header) {
        Decide(columns, 2);
    } else {
        m_replay = std::move(m_kept);
        Decide(columns, 1);
    }
    std::string().swap(m_kept);
}

} // namespace quillon
