#include "devicedb/DeviceImport.h"

#include "ImportLayouts.h"
#include "ImportRow.h"
#include "ImportStore.h"
#include "devicedb/ImportBlocks.h"
#include "devicedb/RecordSplitter.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace quillon {

namespace {

// Reads one export's text, piece by piece, into the store: the header first, then the rows.
class ExportReader {
public:
    ExportReader(ImportStore& store, const ImportSettings& settings, ExportRead& result)
        : m_store(store),
          m_settings(settings),
          m_result(result),
          m_header(settings) {}

    // Takes the next piece of text; false once the reading is over before the input's end.
    bool Feed(std::string_view text) {
        if (m_over) {
            return false;
        }
        if (!m_splitter) {
            std::size_t used = 0;
            if (!m_header.Feed(text, used)) {
                return true;
            }
            if (!StartRows()) {
                return false;
            }
            text.remove_prefix(used);
        }
        m_splitter->Feed(text);
        return !m_over;
    }

    // The end of the input.
    void Finish() {
        if (!m_splitter) {
            m_header.Finish();
            if (!StartRows()) {
                return;
            }
        }
        if (!m_over && !m_splitter->Finish()) {
            m_result.outcome = ExportRead::Outcome::QuoteOpenAtEnd;
            m_result.line = m_splitter->OpenQuoteLine();
        }
        // A tacdex.csv's last line is its version line, not a device: the held line is dropped.
    }

    // What the rows' splitting counted, whatever ended the reading.
    void Close() {
        if (m_splitter) {
            m_result.multiLineRows = m_splitter->MultiLineRecords();
            m_result.firstMultiLineRows = m_splitter->FirstMultiLineRecords();
        }
    }

private:
    struct Sink {
        ExportReader* reader;
        bool operator()(const SplitRecord& record) const { return reader->OnRecord(record); }
    };

    bool StartRows() {
        if (!m_header.Recognised()) {
            m_result.outcome = ExportRead::Outcome::NoHeader;
            m_result.headerFields = m_header.FirstLineFields();
            m_over = true;
            return false;
        }
        m_columns = m_header.Columns();
        m_result.layout = m_columns.layout;
        m_splitter.emplace(m_columns.separator, m_columns.quoting, m_header.FirstRowLine(), Sink{this});
        std::size_t last = 0;
        for (const std::size_t column :
             {m_columns.code, m_columns.brand, m_columns.manufacturer, m_columns.marketingName, m_columns.model}) {
            if (column != kNoColumn) {
                last = std::max(last, column);
            }
        }
        // Rows of another number of fields than the header are only counted: one end past the
        // header's tells them.
        const std::size_t kept = m_columns.fieldCount != 0 ? std::min(last + 1, m_columns.fieldCount) : last + 1;
        std::vector<bool> keep(kept, false);
        for (const std::size_t column :
             {m_columns.code, m_columns.brand, m_columns.manufacturer, m_columns.marketingName, m_columns.model}) {
            if (column < keep.size()) {
                keep[column] = true;
            }
        }
        m_splitter->KeepOnly(std::move(keep));
        m_splitter->KeepEnds(m_columns.fieldCount != 0 ? m_columns.fieldCount + 1 : last + 1);
        m_splitter->AllowLongRows(m_settings.longRows);
        if (m_header.RowsAfterCr()) {
            m_splitter->AfterCr();
        }
        m_rows.emplace(m_columns, m_settings.padCodes);
        m_splitter->Feed(m_header.Replay());
        return !m_over;
    }

    bool OnRecord(const SplitRecord& record) {
        if (record.tooLong) {
            m_result.outcome = ExportRead::Outcome::RowTooLong;
            m_result.line = record.quoteLine;
            m_result.linesTaken = record.lines;
            m_over = true;
        } else if (m_columns.layout == ImportLayout::Tacdex) {
            HoldBack(record);
        } else {
            Take(record);
        }
        return !m_over;
    }

    // A tacdex.csv row is taken when the next one comes: its last line is its version line.
    void HoldBack(const SplitRecord& record) {
        if (IsBlank(record)) {
            return;
        }
        if (m_held) {
            Take(SplitRecord{m_heldText, &m_heldEnds, m_heldCount, m_heldLine, m_heldGap});
        }
        m_held = true;
        m_heldText.assign(record.text);
        m_heldEnds = *record.ends;
        m_heldCount = record.count;
        m_heldLine = record.line;
        m_heldGap = record.gap;
    }

    void Take(const SplitRecord& record) {
        if (IsBlank(record)) {
            return;
        }
        ++m_result.rows;
        const RowDevice row = m_rows->Read(record);
        if (row.skipped) {
            m_store.Skip(*row.skipped, record.line);
            ++m_result.skipped[static_cast<std::size_t>(*row.skipped)];
            return;
        }
        // A device line larger than a database can be would stop the reading anyway.
        if (row.tooLarge || row.manufacturer.size() + row.model.size() + 12 > kMaxDatabaseBytes) {
            m_result.outcome = ExportRead::Outcome::BeyondLimits;
            m_over = true;
            return;
        }
        m_store.Queue(row.code, row.manufacturer, row.model);
        if (m_store.NearLimits()) {
            m_result.outcome = ExportRead::Outcome::BeyondLimits;
            m_over = true;
        }
    }

    ImportStore& m_store;
    const ImportSettings& m_settings;
    ExportRead& m_result;
    HeaderReader m_header;
    ImportColumns m_columns;
    std::optional<RecordSplitter<Sink>> m_splitter;
    std::optional<RowReader> m_rows;
    bool m_over = false;
    bool m_held = false;
    std::string m_heldText;
    std::vector<std::uint32_t> m_heldEnds;
    std::size_t m_heldCount = 0;
    std::size_t m_heldLine = 0;
    std::size_t m_heldGap = 0;
};

} // namespace

DeviceImport::DeviceImport() : DeviceImport(kMaxLineBytes) {}

DeviceImport::DeviceImport(std::size_t maxLineBytes)
    : m_store(std::make_unique<ImportStore>()),
      m_maxLineBytes(maxLineBytes) {}

DeviceImport::~DeviceImport() = default;
DeviceImport::DeviceImport(DeviceImport&&) noexcept = default;
DeviceImport& DeviceImport::operator=(DeviceImport&&) noexcept = default;

ExportRead DeviceImport::Read(ByteSource& source, const ImportSettings& settings) {
    ExportRead result;
    m_store->Reserve(source.SizeHint());
    ImportBlocks blocks(source, m_maxLineBytes);
    if (!blocks.Start()) {
        result.outcome = ExportRead::Outcome::ReadFailed;
        result.error = source.Error();
    } else {
        result.encoding = blocks.Encoding();
        ExportReader reader(*m_store, settings, result);
        std::string piece;
        bool more = true;
        while (more && blocks.Next(piece)) {
            more = reader.Feed(piece);
        }
        if (more) {
            if (source.Error() != 0) {
                result.outcome = ExportRead::Outcome::ReadFailed;
                result.error = source.Error();
            } else if (blocks.LongLine() != 0) {
                result.outcome = ExportRead::Outcome::LineTooLong;
                result.line = blocks.LongLine();
            } else {
                reader.Finish();
            }
        }
        reader.Close();
        result.replacedSequences = blocks.Replaced();
    }
    m_store->AddQueued();
    if (result.outcome == ExportRead::Outcome::Read && m_store->NearLimits()) {
        result.outcome = ExportRead::Outcome::BeyondLimits;
    }
    m_store->NextFile();
    return result;
}

std::size_t DeviceImport::DeviceCount() const {
    return m_store->DeviceCount();
}

std::size_t DeviceImport::RepeatedCodes() const {
    return m_store->RepeatedCodes();
}

const std::array<SkippedRows, kSkipReasonCount>& DeviceImport::Skipped() const {
    return m_store->Skipped();
}

std::string_view DeviceImport::Line(std::size_t index) const {
    return m_store->Line(index);
}

bool IsValidVersionText(std::string_view text) {
    return !text.empty() && text.size() <= 10 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

} // namespace quillon
