// The import reader on hostile and awkward exports: long lines, stray quotes, rows over many
// lines, codes aimed at the index, records cut by every read, and settings given per export.
#include "../../src/devicedb/ImportRow.h"
#include "../../src/devicedb/ImportStore.h"
#include "devicedb/DeviceImport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace quillon {
namespace {

// Bytes handed out at most `block` at a time; a file can go back to its start, a stream cannot.
// The read at byte `failAt` fails with EIO.
class PieceSource final : public ByteSource {
public:
    PieceSource(std::string bytes, bool file, std::size_t block, std::size_t failAt = SIZE_MAX)
        : m_bytes(std::move(bytes)),
          m_file(file),
          m_block(block),
          m_failAt(failAt) {}
    std::size_t Read(char* into, std::size_t size) override {
        if (m_at >= m_failAt) {
            m_error = EIO;
            return 0;
        }
        const std::size_t take = std::min({size, m_block, m_bytes.size() - m_at, m_failAt - m_at});
        std::memcpy(into, m_bytes.data() + m_at, take);
        m_at += take;
        return take;
    }
    bool Rewind() override {
        m_at = m_file ? 0 : m_at;
        return m_file;
    }
    int Error() const override { return m_error; }

private:
    std::string m_bytes;
    bool m_file;
    std::size_t m_block;
    std::size_t m_failAt;
    std::size_t m_at = 0;
    int m_error = 0;
};

struct ReadResult {
    ExportRead read;
    std::vector<std::string> lines;
};

ReadResult ReadOne(const std::string& bytes, const ImportSettings& settings = {}, bool file = true,
                   std::size_t block = SIZE_MAX, std::size_t maxLineBytes = kMaxLineBytes) {
    DeviceImport import(maxLineBytes);
    PieceSource source(bytes, file, block);
    ReadResult result{import.Read(source, settings), {}};
    for (std::size_t i = 0; i < import.DeviceCount(); ++i) {
        result.lines.emplace_back(import.Line(i));
    }
    return result;
}

std::string Utf16(const std::u16string& text, bool bigEndian, bool mark = true) {
    std::string bytes = !mark ? "" : bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

TEST(ImportReader, ALineLongerThanTheLimitEndsTheRead) {
    constexpr std::size_t kLimit = 64;
    const std::string header = "tac,brand,model\r\n";
    struct Case {
        const char* what;
        std::string bytes;
        std::size_t tooLong; // the line, 0: read
    };
    const Case cases[] = {
        {"a row at the limit", header + "35000001,A," + std::string(53, 'x') + "\r\n", 0},
        {"a row past it", header + "35000001,A," + std::string(54, 'x') + "\r\n35000002,A,B\r\n", 2},
        {"a first line past it, without a line end", std::string(65, 'x'), 1},
        {"a quoted line break starts a line",
         header + "35000001,A,\"" + std::string(50, 'x') + "\n" + std::string(60, 'y') + "\"\n", 0},
        {"Windows-1252 counts the bytes as read", header + "35000001,A," + std::string(53, '\x80') + "\n", 0},
        {"UTF-16 counts two bytes a character",
         Utf16(u"tac,brand,model\r\n35000001,A,B\r\n35000002,A," + std::u16string(22, u'x') + u"\r\n", false), 3},
    };
    for (const Case& c : cases) {
        for (const bool file : {true, false}) {
            for (const std::size_t block : {std::size_t{1}, std::size_t{4096}}) {
                SCOPED_TRACE(std::string(c.what) + (file ? ", file, block " : ", stream, block ") +
                             std::to_string(block));
                const ReadResult result = ReadOne(c.bytes, {}, file, block, kLimit);
                EXPECT_EQ(result.read.outcome,
                          c.tooLong != 0 ? ExportRead::Outcome::LineTooLong : ExportRead::Outcome::Read);
                EXPECT_EQ(result.read.line, c.tooLong);
            }
        }
    }
}

// The GSMA's names hold stray quotes but no line breaks: a quote open at the line end is a
// character of the name, and a quoted field that closes on its line keeps the pipes inside it.
TEST(ImportReader, GsmaRowsEndAtEveryLineEnd) {
    std::string bytes = "TAC|Marketing Name|Brand Name|Model Name\r\n";
    const std::vector<std::string> names = {"Phone", "\"7 inch Tab", "\"\"\"", "\"Tab|Pro\"", "Pad \"10"};
    for (int i = 0; i < 1000; ++i) {
        bytes += std::to_string(35000000 + i) + "|" + (i < 5 ? names[i] : "Phone") + "|Acme|M\r\n";
    }
    for (const std::size_t block : {std::size_t{3}, SIZE_MAX}) {
        const ReadResult result = ReadOne(bytes, {}, true, block);
        ASSERT_EQ(result.read.layout, ImportLayout::Gsma);
        EXPECT_EQ(result.read.rows, 1000u);
        ASSERT_EQ(result.lines.size(), 1000u);
        EXPECT_EQ(result.lines[1], "35000001,Acme,\"7 inch Tab");
        EXPECT_EQ(result.lines[2], "35000002,Acme,\"\"\"");
        EXPECT_EQ(result.lines[3], "35000003,Acme,Tab|Pro");
        EXPECT_EQ(result.lines[4], "35000004,Acme,Pad \"10");
        EXPECT_EQ(result.read.multiLineRows, 0u);
    }
}

TEST(ImportReader, QuotedRowsOverSeveralLinesAreCountedAndBounded) {
    const auto lines = [](int count) {
        std::string text = "\"L1";
        for (int i = 2; i <= count; ++i) {
            text += "\nL" + std::to_string(i);
        }
        return text + "\"";
    };
    const std::string header = "tac,brand,model\n";
    const std::string spanning =
        header + "35000001,A," + lines(2) + "\n35000002,\"B\r\nC\",D\n35000003,A," + lines(10) + "\n35000004,A,B\n";
    const ReadResult read = ReadOne(spanning);
    EXPECT_EQ(read.read.outcome, ExportRead::Outcome::Read);
    EXPECT_EQ(read.read.multiLineRows, 3u);
    EXPECT_EQ(read.read.firstMultiLineRows, (std::vector<MultiLineRow>{{2, 2}, {4, 2}, {6, 10}}));
    ASSERT_EQ(read.lines.size(), 4u);
    EXPECT_EQ(read.lines[0], "35000001,A,L1 L2");
    EXPECT_EQ(read.lines[1], "35000002,B C,D");

    struct Case {
        const char* what;
        std::string bytes;
        bool longRows;
        ExportRead::Outcome outcome;
        std::size_t line, linesTaken;
    };
    const std::string tooLong = header + "35000001,A,B\n35000002,A," + lines(11) + "\n35000003,A,B\n";
    std::string stray = header + "35000001,A,\"B\n";
    for (int i = 2; i < 30; ++i) {
        stray += std::to_string(35000000 + i) + ",A,B\n";
    }
    const Case cases[] = {
        {"more than kMaxRowLines lines", tooLong, false, ExportRead::Outcome::RowTooLong, 3, 11},
        {"more lines, let through", tooLong, true, ExportRead::Outcome::Read, 0, 0},
        {"a stray quote", stray, false, ExportRead::Outcome::QuoteOpenAtEnd, 2, 0},
        {"a stray quote, long rows let through", stray, true, ExportRead::Outcome::QuoteOpenAtEnd, 2, 0},
    };
    for (const Case& c : cases) {
        ImportSettings settings;
        settings.longRows = c.longRows;
        const ReadResult result = ReadOne(c.bytes, settings);
        EXPECT_EQ(result.read.outcome, c.outcome) << c.what;
        EXPECT_EQ(result.read.line, c.line) << c.what;
        EXPECT_EQ(result.read.linesTaken, c.linesTaken) << c.what;
    }
}

// A first line that is no header is quoted in a message: at most 21 fields, each cut to
// kMessageQuoteChars characters.
TEST(ImportReader, FieldsOfALongFirstLineAreCutForTheMessage) {
    std::string field;
    for (int i = 0; i < 300; ++i) {
        field += "\xC3\xA9";
    }
    std::string line = "code";
    for (int i = 0; i < 30; ++i) {
        line += ";" + field;
    }
    const ReadResult result = ReadOne(line + "\n1;2\n");
    ASSERT_EQ(result.read.outcome, ExportRead::Outcome::NoHeader);
    ASSERT_EQ(result.read.headerFields.size(), 21u);
    EXPECT_EQ(result.read.headerFields[0], "code");
    EXPECT_EQ(result.read.headerFields[20], field.substr(0, 400) + "\xE2\x80\xA6");
}

// A row with more fields than the header is skipped, however many it has.
TEST(ImportReader, ARowOfManyFieldsIsSkippedForItsFieldCount) {
    const ReadResult result = ReadOne("tac,brand,model\n" + std::string(1'000'000, ',') + "\n35000001,A,B\n");
    EXPECT_EQ(result.read.rows, 2u);
    EXPECT_EQ(result.read.skipped[static_cast<std::size_t>(SkipReason::FieldCount)], 1u);
    EXPECT_EQ(result.lines, std::vector<std::string>{"35000001,A,B"});
}

// A code read again with names now long, now short: the rooms of replaced lines are given back.
TEST(ImportReader, ReplacedLinesAreGivenBack) {
    ImportStore store;
    const std::string longName(100, 'L');
    for (int i = 0; i < 200'000; ++i) {
        store.Queue(35000001, "A", i % 2 == 0 ? std::string_view(longName) : "B");
        store.Queue(35000002 + static_cast<std::uint32_t>(i % 3), "C", "D");
    }
    store.AddQueued();
    EXPECT_EQ(store.DeviceCount(), 4u);
    EXPECT_EQ(store.Line(0), "35000001,A,B");
    EXPECT_LT(store.HeldBytes(), std::size_t{5} << 20); // 200,000 lines of 111 bytes were written
}

// A name too long for any database is measured as cleaned without being copied.
TEST(ImportReader, CleanedLengthIsTheLengthOfTheCleanedName) {
    for (const std::string name : {"", "  ", "Acme", " A,B\tC ", "\xC2\x85x\xC2\x85", "x\xC2\x85\xC2\x85y",
                                   "\xC2\xC2\x85", ",\x7F\xC3\xA9\x01", "\xC2"}) {
        std::string scratch;
        const std::string_view cleaned = CleanName(name, scratch);
        EXPECT_EQ(CleanedLength(name), cleaned.size()) << name;
    }
}

// The reader's result does not depend on how the reads cut the bytes: through a character, a
// surrogate pair, a CR LF or a quoted field, from a file or from a stream.
TEST(ImportReader, EveryReadSizeGivesTheSameDevices) {
    const std::string names = "35000001;\"Acme; Sons\";\"A \"\"1\"\"\r\nB\"\r\n"
                              "35000002;\xC3\x89"
                              "cole;\xF0\x9F\x93\xB1\r\n";
    const std::u16string utf16 = u"tac\tbrand\tmodel\r\n35000001\t\u00C9cole\t\U0001F4F1\r\n35000002\tA\tB\r\n";
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"UTF-8",
         "tac;brand;model\r\n" + names,
         {"35000001,Acme; Sons,A \"1\" B", "35000002,\xC3\x89"
                                           "cole,\xF0\x9F\x93\xB1"}},
        {"UTF-8 with its mark, LF", "\xEF\xBB\xBFtac,brand,model\n35000001,A,B\n", {"35000001,A,B"}},
        {"Windows-1252", "tac,brand,model\r\n35000001,\xC9t,\x80\r\n", {"35000001,\xC3\x89t,\xE2\x82\xAC"}},
        {"UTF-16 LE",
         Utf16(utf16, false),
         {"35000001,\xC3\x89"
          "cole,\xF0\x9F\x93\xB1",
          "35000002,A,B"}},
        {"UTF-16 BE",
         Utf16(utf16, true),
         {"35000001,\xC3\x89"
          "cole,\xF0\x9F\x93\xB1",
          "35000002,A,B"}},
        {"UTF-16 LE without a mark", Utf16(u"tac,brand,model\r\n35000001,A,B\r\n", false, false), {"35000001,A,B"}},
        {"Osmocom after its comment", "# c\r\ntac,name,name\r\n35000001,A,\"B\r\nC\"\r\n", {"35000001,A,B C"}},
        {"GSMA", "TAC|Marketing Name|Brand Name\r\n35000001|\"7 Tab|A\r\n", {"35000001,A,\"7 Tab"}},
        {"tacdex.csv", "35000001,A,B\r\n35000002,C,D\r\n99999999,V\r\n", {"35000001,A,B", "35000002,C,D"}},
        {"a row of one field that is not read", "x,tac,brand,model\n1,35000001,A,B\ny\n", {"35000001,A,B"}},
    };
    for (const Case& c : cases) {
        const ReadResult whole = ReadOne(c.bytes);
        EXPECT_EQ(whole.lines, c.lines) << c.what;
        for (const bool file : {true, false}) {
            for (const std::size_t block : {1, 2, 3, 4096}) {
                SCOPED_TRACE(std::string(c.what) + (file ? ", file, block " : ", stream, block ") +
                             std::to_string(block));
                const ReadResult cut = ReadOne(c.bytes, {}, file, block);
                EXPECT_EQ(cut.read.outcome, whole.read.outcome);
                EXPECT_EQ(cut.read.layout, whole.read.layout);
                EXPECT_EQ(cut.read.encoding, whole.read.encoding);
                EXPECT_EQ(cut.read.rows, whole.read.rows);
                EXPECT_EQ(cut.read.multiLineRows, whole.read.multiLineRows);
                EXPECT_EQ(cut.read.replacedSequences, 0u);
                EXPECT_EQ(cut.lines, whole.lines);
            }
        }
    }
}

TEST(ImportReader, AFailedReadIsReported) {
    std::string bytes = "tac,brand,model\n";
    for (int i = 0; i < 1000; ++i) {
        bytes += std::to_string(35000000 + i) + ",A,B\n";
    }
    for (const bool file : {true, false}) {
        for (const std::size_t failAt : {std::size_t{0}, std::size_t{100}, bytes.size() - 3}) {
            DeviceImport import;
            PieceSource source(bytes, file, 7, failAt);
            const ExportRead read = import.Read(source, {});
            EXPECT_EQ(read.outcome, ExportRead::Outcome::ReadFailed) << file << " " << failAt;
            EXPECT_EQ(read.error, EIO);
        }
    }
}

TEST(ImportReader, ColumnsByPosition) {
    struct Case {
        const char* what;
        std::string bytes;
        ImportSettings settings;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"a first line with a code is a row",
         "35000001;A;B\n35000002;C;D\n",
         {.codeIndex = 0, .manufacturerIndex = 1, .modelIndex = 2},
         {"35000001,A,B", "35000002,C,D"}},
        {"a first line without one is a header",
         "Code;Maker;Model\n35000001;A;B\n",
         {.codeIndex = 0, .manufacturerIndex = 1, .modelIndex = 2},
         {"35000001,A,B"}},
        {"told it is a header",
         "35000001;A;B\n35000002;C;D\n",
         {.codeIndex = 0, .manufacturerIndex = 1, .modelIndex = 2, .firstLineIsHeader = true},
         {"35000002,C,D"}},
        {"told it is a row",
         "Code;Maker;Model\r\n35000001;A;B\r\n",
         {.codeIndex = 0, .manufacturerIndex = 1, .modelIndex = 2, .firstLineIsHeader = false},
         {"35000001,A,B"}},
        {"in another order, only a model",
         "x|B|35000001\r\n",
         {.layout = ImportLayout::Gsma, .codeIndex = 2, .modelIndex = 1},
         {"35000001,,B"}},
    };
    for (const Case& c : cases) {
        for (const std::size_t block : {std::size_t{1}, SIZE_MAX}) {
            const ReadResult result = ReadOne(c.bytes, c.settings, true, block);
            EXPECT_EQ(result.read.outcome, ExportRead::Outcome::Read) << c.what;
            EXPECT_EQ(result.lines, c.lines) << c.what;
        }
    }
}

// Each export is read with its own settings: a column named for one does not keep the next from
// being recognised as Osmocom's, and codes are padded where asked only.
TEST(ImportReader, SettingsBelongToOneExport) {
    DeviceImport import;
    PieceSource named("Code;Maker;Device\n35000001;A;B\n", true, SIZE_MAX);
    PieceSource osmocom("tac,name,name,x\n35000002,C,D,\n", true, SIZE_MAX);
    PieceSource shortCodes("tac,brand,model\n1234567,E,F\n", true, SIZE_MAX);
    PieceSource padded("tac,brand,model\n2345678,G,H\n", true, SIZE_MAX);
    EXPECT_EQ(import.Read(named, {.codeColumn = "code", .manufacturerColumn = "maker", .modelColumn = "device"}).layout,
              ImportLayout::Csv);
    EXPECT_EQ(import.Read(osmocom, {}).layout, ImportLayout::Osmocom);
    const ExportRead skipped = import.Read(shortCodes, {});
    const ExportRead read = import.Read(padded, {.padCodes = true});
    EXPECT_EQ(skipped.skipped[static_cast<std::size_t>(SkipReason::ShortCode)], 1u);
    EXPECT_EQ(read.skipped[static_cast<std::size_t>(SkipReason::ShortCode)], 0u);
    ASSERT_EQ(import.DeviceCount(), 3u);
    EXPECT_EQ(import.Line(2), "02345678,G,H");
    EXPECT_EQ(import.Skipped()[static_cast<std::size_t>(SkipReason::ShortCode)].first[0].file, 2u);
}

} // namespace
} // namespace quillon
