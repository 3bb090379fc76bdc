#include "validation/ImeiList.h"

#include "devicedb/DeviceImport.h"
#include "devicedb/ImportBlocks.h"
#include "devicedb/RecordSplitter.h"
#include "imei/Imei.h"

#include <algorithm>
#include <array>

namespace quillon {
namespace {

// A field as messages quote it.
std::string Shown(std::string_view field) {
    if (Utf8Length(field) <= kMessageQuoteChars) {
        return std::string(field);
    }
    return std::string(Utf8Left(field, kMessageQuoteChars)) + "\xE2\x80\xA6";
}

std::vector<std::string> ShownFields(const SplitRecord& record) {
    std::vector<std::string> fields;
    for (std::size_t i = 0; i < std::min(record.Count(), kShownListHeaderFields); ++i) {
        fields.push_back(Shown(record.Field(i)));
    }
    return fields;
}

// Whether a field holds a number as long as an IMEI's, give or take a digit.
bool HoldsImeiNumber(std::string_view field) {
    if (field.size() > 64) {
        return false;
    }
    const std::string cleaned = NormaliseIMEI(field);
    return cleaned.size() >= 14 && cleaned.size() <= 16 &&
           std::all_of(cleaned.begin(), cleaned.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Splits the text of `in` into records as import splits an export, handing each to `onRecord`
// (false stops), and says how the splitting ended.
template <typename OnRecord> ListRead SplitTable(LineInput& in, OnRecord onRecord) {
    ListRead read;
    LineInputBytes bytes(in);
    ImportBlocks blocks(bytes, in.MaxLineBytes());
    if (!blocks.Start()) {
        read.outcome = ListRead::Outcome::ReadFailed;
        read.error = bytes.Error();
        return read;
    }
    auto sink = [&](const SplitRecord& record) {
        if (record.tooLong) {
            read.outcome = ListRead::Outcome::RowTooLong;
            read.line = record.quoteLine;
            read.linesTaken = record.lines;
            return false;
        }
        return record.blank || onRecord(record, read);
    };
    std::optional<RecordSplitter<decltype(sink)>> splitter;
    // The separator is the first line's most frequent: its text is held until its end arrives.
    std::array<std::size_t, kTableSeparators.size()> counts{};
    std::string firstLine;
    auto start = [&] {
        splitter.emplace(MostFrequentSeparator(counts), Quoting::Rfc4180, 1, sink);
        splitter->Feed(firstLine);
        std::string().swap(firstLine);
    };
    std::string text;
    while ((!splitter || !splitter->Stopped()) && blocks.Next(text)) {
        if (splitter) {
            splitter->Feed(text);
            continue;
        }
        const std::size_t end = std::min(text.find('\n'), text.find('\r'));
        const std::string_view line = std::string_view(text).substr(0, end);
        for (std::size_t k = 0; k < kTableSeparators.size(); ++k) {
            counts[k] += static_cast<std::size_t>(std::count(line.begin(), line.end(), kTableSeparators[k]));
        }
        firstLine += text;
        if (end != std::string::npos) {
            start();
        }
    }
    if (!splitter) {
        start();
    }
    if (splitter->Stopped()) {
        return read;
    }
    if (blocks.LongLine() != 0) {
        read.outcome = ListRead::Outcome::LineTooLong;
        read.line = blocks.LongLine();
    } else if (bytes.Error() != 0) {
        read.outcome = ListRead::Outcome::ReadFailed;
        read.error = bytes.Error();
    } else if (!splitter->Finish()) {
        read.outcome = ListRead::Outcome::QuoteOpenAtEnd;
        read.line = splitter->OpenQuoteLine();
    }
    return read;
}

ListRead ReadLines(LineInput& in, const std::function<bool(const ListInput&)>& onInput, std::size_t maxLines) {
    ListRead read;
    in.ReadAsText();
    std::string_view line;
    while (in.Next(line)) {
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (in.LinesTaken() > maxLines) {
            read.outcome = ListRead::Outcome::TooManyLines;
            read.line = in.LinesTaken();
            return read;
        }
        ++read.inputs;
        if (!onInput(ListInput{in.LinesTaken(), line})) {
            read.outcome = ListRead::Outcome::Stopped;
            return read;
        }
    }
    if (in.LineTooLong()) {
        read.outcome = ListRead::Outcome::LineTooLong;
        read.line = in.LinesTaken() + 1;
    } else if (in.Error() != 0) {
        read.outcome = ListRead::Outcome::ReadFailed;
        read.error = in.Error();
    }
    return read;
}

} // namespace

bool IsImeiColumnName(std::string_view name) {
    return name == "imei" || name == "imei1" || name == "imei 1" || name == "imei number";
}

ListRead ReadList(LineInput& in, const std::optional<ListColumn>& column,
                  const std::function<bool(const ListInput&)>& onInput, std::size_t maxLines) {
    if (!column) {
        return ReadLines(in, onInput, maxLines);
    }
    std::optional<std::size_t> index;
    const std::string wanted = column->name ? NormaliseColumnName(*column->name) : std::string();
    ListRead read = SplitTable(in, [&](const SplitRecord& record, ListRead& reading) {
        if (!index) {
            for (std::size_t i = 0; i < record.Count() && !column->index && !index; ++i) {
                if (NormaliseColumnName(record.Field(i)) == wanted) {
                    index = i;
                }
            }
            if (column->index && *column->index < record.Count()) {
                index = column->index;
            }
            if (!index) {
                reading.outcome = ListRead::Outcome::NoColumn;
                reading.headerFields = ShownFields(record);
                return false;
            }
            return true;
        }
        if (record.line > maxLines) {
            reading.outcome = ListRead::Outcome::TooManyLines;
            reading.line = record.line;
            return false;
        }
        ++reading.inputs;
        // A row that ends before the column holds an empty input: it is shown, not lost.
        const std::string_view value = *index < record.Count() ? record.Field(*index) : std::string_view();
        if (!onInput(ListInput{record.line, value})) {
            reading.outcome = ListRead::Outcome::Stopped;
            return false;
        }
        return true;
    });
    if (read.outcome == ListRead::Outcome::Read && !index) {
        read.outcome = ListRead::Outcome::NoColumn; // not even a header row
    }
    return read;
}

ListStart ExamineList(LineInput& in) {
    ListStart start;
    bool header = false;
    bool numberInHeader = false;
    bool numberLater = false;
    SplitTable(in, [&](const SplitRecord& record, ListRead&) {
        if (record.line > kExaminedListLines) {
            return false;
        }
        bool number = false;
        for (std::size_t i = 0; i < record.Count() && !number; ++i) {
            number = HoldsImeiNumber(record.Field(i));
        }
        if (header) {
            numberLater = numberLater || number;
            return !numberLater;
        }
        header = true;
        numberInHeader = number;
        start.fields = ShownFields(record);
        for (std::size_t i = 0; i < record.Count() && !start.imeiColumn; ++i) {
            if (IsImeiColumnName(NormaliseColumnName(record.Field(i)))) {
                start.imeiColumn = i;
            }
        }
        return !start.imeiColumn && !numberInHeader;
    });
    start.looksLikeHeader = header && !start.imeiColumn && !numberInHeader && numberLater;
    return start;
}

} // namespace quillon
