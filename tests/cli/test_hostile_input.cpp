// Input chosen to hurt: lines that never end, pieces a byte at a time, byte-order marks and
// UTF-16, text that a terminal or a spreadsheet would act on.
#include "CommandRun.h"
#include "Utf16Text.h"
#include "support/RunProcess.h"
#include "support/TempDir.h"
#include "utf8/Utf8.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace quillon {
namespace {

using cli::Format;
using testing::CommandRun;
using testing::TempDir;

std::vector<std::string> AllLines(cli::LineInput& in) {
    std::vector<std::string> lines;
    std::string_view line;
    while (in.Next(line)) {
        lines.emplace_back(line);
    }
    return lines;
}

// A line at the limit is taken; one byte more stops the input there, after the lines before it,
// wherever the reads happen to end.
TEST(LineInput, StopsAtALineLongerThanTheLimit) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> lines;
        bool tooLong;
    };
    const std::string atLimit(100, 'a');
    const Case cases[] = {
        {"at the limit", atLimit + "\nb\n", {atLimit, "b"}, false},
        {"at the limit, no final LF", "b\n" + atLimit, {"b", atLimit}, false},
        {"one over", "b\n" + atLimit + "a\nc\n", {"b"}, true},
        {"one over, no final LF", "b\nc\n" + atLimit + "a", {"b", "c"}, true},
        {"far over", std::string(10'000, '\0'), {}, true},
    };
    for (const Case& c : cases) {
        for (std::size_t piece : {1, 7, 64}) {
            SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece));
            cli::StringInput in(c.text, 100, piece);
            EXPECT_EQ(AllLines(in), c.lines);
            EXPECT_EQ(in.LineTooLong(), c.tooLong);
            EXPECT_EQ(in.LinesTaken(), c.lines.size());
        }
    }
}

// A long line arriving a byte at a time, as from a slow pipe, costs time in proportion to its
// length: searching the whole partial line again after every read would take hours here.
TEST(LineInput, ALongLineInTinyPiecesIsSearchedOnce) {
    const std::string line(4 << 20, '7');
    cli::StringInput in(line + "\n1\n", cli::LineInput::kMaxLineBytes, 1);
    const std::vector<std::string> lines = AllLines(in);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], line);
    EXPECT_EQ(lines[1], "1");
}

// UTF-16 lines come whole and in UTF-8 wherever the reads end: inside a code unit, between the
// halves of a surrogate pair or of a line end, at the end of the buffer. U+010A and U+0A01 hold
// the byte of LF without being one.
TEST(LineInput, Utf16LinesComeWholeWhereverTheReadsEnd) {
    std::string text;
    std::vector<std::string> lines;
    for (int i = 0; i < 8; ++i) {
        const std::string first = "\xF0\x9F\x98\x80" + std::to_string(i) + "\xC4\x8A\xE0\xA8\x81";
        text += first + "\r\n\xC3\x9C\xF0\x9F\x98\x80\n\n";
        lines.insert(lines.end(), {first + "\r", "\xC3\x9C\xF0\x9F\x98\x80", ""});
    }
    for (const bool bigEndian : {false, true}) {
        const std::string utf16 = testing::Utf16(text + "end", bigEndian, true);
        for (std::size_t piece = 1; piece <= utf16.size(); ++piece) {
            cli::StringInput in(utf16, cli::LineInput::kMaxLineBytes, piece);
            in.ReadAsText();
            std::vector<std::string> all = lines;
            all.push_back("end");
            ASSERT_EQ(AllLines(in), all) << "pieces of " << piece << (bigEndian ? ", BE" : ", LE");
        }
    }
}

// The limit counts a UTF-16 line's bytes as read: 50 characters take 100 bytes, whatever their size
// in UTF-8.
TEST(LineInput, Utf16LinesCountTheBytesAsRead) {
    std::string euros;
    for (int i = 0; i < 50; ++i) {
        euros += "\xE2\x82\xAC";
    }
    for (const std::string& line : {std::string(50, '7'), euros}) {
        for (const std::string& more : {std::string(), std::string("7")}) {
            SCOPED_TRACE(line + more);
            cli::StringInput in(testing::Utf16(line + more + "\n1\n", false, true), 100, 7);
            in.ReadAsText();
            const std::vector<std::string> lines = AllLines(in);
            EXPECT_EQ(in.LineTooLong(), !more.empty());
            const std::vector<std::string> taken = {line, "1"};
            EXPECT_EQ(lines, more.empty() ? taken : std::vector<std::string>());
        }
    }
}

// A line typed at a terminal is answered at once: the start is looked at only until it rules
// UTF-16 out, not until 64 KiB have arrived.
TEST(LineInput, ATypedLineIsTakenWithoutWaitingForMore) {
    class Typed final : public cli::LineInput {
    public:
        bool waited = false;

    private:
        std::size_t Read(char* into, std::size_t, int&) override {
            waited = m_typed;
            m_typed = true;
            return waited ? 0 : std::string_view("49015420323751\n").copy(into, 15);
        }
        bool m_typed = false;
    } in;
    in.ReadAsText();
    std::string_view line;
    ASSERT_TRUE(in.Next(line));
    EXPECT_EQ(line, "49015420323751");
    EXPECT_FALSE(in.waited);
}

class HostileInput : public ::testing::Test {
protected:
    CommandRun Validate(std::vector<std::string> inputs, Format format, const std::string& input = {}) {
        return testing::Run(cli::RunValidateCommand, cli::ValidateOptions{m_db.string(), format, std::move(inputs)},
                            input);
    }
    static constexpr char kDatabase[] = "49015420,=HYPERLINK(\"x\"),@Model\r\n"
                                        "35000000,-Maker,+Model\r\n"
                                        "86000000,Ma\0ker,\0Model\r\n"
                                        "99999999,QN-2026.12\r\n";
    TempDir m_dir;
    std::filesystem::path m_db = m_dir.Write("tacdex.csv", std::string(kDatabase, sizeof kDatabase - 1));
};

// UTF-16 on standard input, with a mark or without, in either byte order, gives what the same
// lines in UTF-8 give: the same results, messages and statuses, from both commands.
TEST_F(HostileInput, Utf16OnStandardInputReadsAsItsUtf8) {
    struct Case {
        const char* name;
        std::string text;
        bool withoutMark; // a mark-less text is UTF-16 only while each pair holds a NUL
    };
    const Case cases[] = {
        {"CR LF and LF", "490154203237518\r\n356938035643809\n49015420323751\n", true},
        {"an empty first line", "\r\n490154203237518\r\n", true},
        {"a CR inside, no final line end", "49\r01\n\xC3\x9C\n490154203237518", true},
        {"a UTF-8 mark",
         "\xEF\xBB\xBF"
         "49015420323751\n",
         true},
        {"a surrogate pair",
         "4901542032375\xF0\x9F\x98\x80"
         "18\r\n49015420323751\n",
         false},
    };
    const auto complete = [](const std::string& in) {
        return testing::Run(cli::RunCompleteCommand, cli::CompleteOptions{}, in);
    };
    for (const Case& c : cases) {
        for (const bool bigEndian : {false, true}) {
            for (const bool mark : {true, false}) {
                SCOPED_TRACE(std::string(c.name) + (bigEndian ? ", BE" : ", LE") + (mark ? " with a mark" : ""));
                if (!mark && !c.withoutMark) {
                    continue;
                }
                const std::string utf16 = testing::Utf16(c.text, bigEndian, mark);
                for (const Format format : {Format::Text, Format::Csv, Format::Json}) {
                    const CommandRun expected = Validate({}, format, c.text);
                    const CommandRun read = Validate({}, format, utf16);
                    EXPECT_EQ(read.out, expected.out);
                    EXPECT_EQ(read.err, expected.err);
                    EXPECT_EQ(read.status, expected.status);
                }
                const CommandRun expected = complete(c.text);
                const CommandRun read = complete(utf16);
                EXPECT_EQ(read.out, expected.out);
                EXPECT_EQ(read.err, expected.err);
                EXPECT_EQ(read.status, expected.status);
            }
        }
    }
    // NUL elsewhere keeps its verdict: not an IMEI, not UTF-16.
    EXPECT_EQ(Validate({}, Format::Json,
                       std::string("49\0"
                                   "01\n",
                                   6))
                  .status,
              1);
}

std::vector<std::string> CsvRows(const std::string& out) {
    std::vector<std::string> rows;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        rows.push_back(line);
    }
    return rows;
}

// A field that a spreadsheet would run as a formula gets a leading apostrophe, from the input and
// from the database alike; other fields are as before.
TEST_F(HostileInput, CsvFieldsNeverStartAFormula) {
    struct Case {
        std::string input;
        std::string row; // the start of the row
    };
    const Case cases[] = {
        {"=1+2", "'=1+2,'=1+2,false,'=1+2---,'=1 (Unknown),"},
        {"+490154203237518", "'+490154203237518,'+490154203237518,true,"},
        {"-490154203237518", "'-490154203237518,490154203237518,false,"},
        {"@SUM(1)", "'@SUM(1),SUM(1),false,"},
        {"\t490154203237518", "'\t490154203237518,'\t490154203237518,true,"},
        {"\r490154203237518", "\"'\r490154203237518\",\"'\r490154203237518\",true,"},
        {"490154203237518", "490154203237518,490154203237518,false,"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        const CommandRun r = Validate({c.input}, Format::Csv);
        ASSERT_GE(r.out.size(), 2u);
        const std::string row = r.out.substr(r.out.find("\r\n") + 2);
        EXPECT_EQ(row.substr(0, c.row.size()), c.row) << row;
    }
    const std::vector<std::string> found = CsvRows(Validate({"490154203237518", "350000000000000"}, Format::Csv).out);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_TRUE(found[1].ends_with(",true,\"'=HYPERLINK(\"\"x\"\")\",'@Model\r")) << found[1];
    EXPECT_TRUE(found[2].ends_with(",true,'-Maker,'+Model\r")) << found[2];
}

// The fields of each CSV record, their quoting undone.
std::vector<std::vector<std::string>> CsvRecords(std::string_view out) {
    std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t i = 0; i < out.size(); ++i) {
        std::string& field = records.back().back();
        const bool next = i + 1 < out.size();
        if (quoted && out[i] == '"' && next && out[i + 1] == '"') {
            field += out[i++];
        } else if (out[i] == '"') {
            quoted = !quoted;
        } else if (!quoted && out[i] == ',') {
            records.back().emplace_back();
        } else if (!quoted && out[i] == '\r' && next && out[i + 1] == '\n') {
            records.emplace_back(1);
            ++i;
        } else {
            field += out[i];
        }
    }
    records.pop_back(); // nothing after the last line end
    return records;
}

// Whichever column a value lands in, from the input or the database, no field begins a formula,
// and no NUL reaches the output: CSV cannot escape it, so it becomes U+FFFD (JSON writes \u0000).
TEST_F(HostileInput, NoCsvFieldStartsAFormulaOrHoldsNul) {
    const std::string nul(1, '\0');
    std::vector<std::string> inputs = {"490154203237518", "350000000000000", "860000000000000",
                                       "49015420=23751",  nul + "=1",        "49" + nul + "0154203237518"};
    for (const char c : std::string("=+-@\t\r")) {
        inputs.push_back(c + std::string("1+2"));
    }
    const CommandRun r = Validate(inputs, Format::Csv);
    EXPECT_EQ(r.out.find('\0'), std::string::npos);
    const std::vector<std::vector<std::string>> records = CsvRecords(r.out);
    ASSERT_EQ(records.size(), inputs.size() + 1);
    for (const std::vector<std::string>& record : records) {
        ASSERT_EQ(record.size(), 15u);
        for (const std::string& field : record) {
            EXPECT_TRUE(field.empty() || std::string_view("=+-@\t\r").find(field[0]) == std::string::npos) << field;
        }
    }
    EXPECT_EQ(records[3][13], "Ma\xEF\xBF\xBDker");
    EXPECT_EQ(records[3][14], "\xEF\xBF\xBDModel");
    EXPECT_EQ(records[6][0], "49\xEF\xBF\xBD"
                             "0154203237518");
    // A long run of NUL costs time in proportion to its length, as a long line does.
    const std::string nuls = CsvRecords(Validate({std::string(1 << 20, '\0')}, Format::Csv).out)[1][0];
    EXPECT_EQ(nuls.size(), 3u << 20);
    EXPECT_EQ(nuls.find_first_not_of("\xEF\xBF\xBD"), std::string::npos);
}

// The first field of a CSV row, its quoting undone.
std::string FirstCsvField(const std::string& row) {
    if (row.empty() || row[0] != '"') {
        return row.substr(0, row.find(','));
    }
    std::string field;
    for (std::size_t i = 1; i < row.size(); ++i) {
        if (row[i] == '"') {
            if (i + 1 < row.size() && row[i + 1] == '"') {
                field += '"';
                ++i;
                continue;
            }
            break;
        }
        field += row[i];
    }
    return field;
}

// CSV is UTF-8 whatever arrives: bytes that are not become the replacement characters JSON gives.
TEST_F(HostileInput, CsvCarriesTheReplacementsThatJsonDoes) {
    const std::string inputs[] = {"\xFF"
                                  "490154203237518",
                                  "49\xC3"
                                  "0154203237518",
                                  "\xC0\x80"
                                  "4901",
                                  "\xED\xA0\x80"
                                  "49",
                                  "49\xF0\x9F\x98",
                                  "a,\xE9\"b"};
    for (const std::string& input : inputs) {
        SCOPED_TRACE(::testing::PrintToString(input));
        const CommandRun csv = Validate({input}, Format::Csv);
        const CommandRun json = Validate({input}, Format::Json);
        EXPECT_TRUE(IsValidUtf8(csv.out));
        const std::string expected = nlohmann::json::parse(json.out)["input"].get<std::string>();
        EXPECT_NE(expected.find("\xEF\xBF\xBD"), std::string::npos);
        const std::vector<std::string> rows = CsvRows(csv.out);
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(FirstCsvField(rows[1]), expected) << rows[1];
    }
}

// Text output goes to terminals: control characters and stray bytes are escaped as in messages.
TEST_F(HostileInput, TextOutputCannotSteerTheTerminal) {
    const CommandRun r = Validate({"\x1b]0;pwned\a35",
                                   "49\xFF"
                                   "01",
                                   "\xC2\x9B"
                                   "31m"},
                                  Format::Text);
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
    EXPECT_EQ(r.out.find('\a'), std::string::npos);
    EXPECT_EQ(r.out.find("\xC2\x9B"), std::string::npos);
    EXPECT_TRUE(IsValidUtf8(r.out));
    EXPECT_NE(r.out.find("IMEI: \\x1b]0;pwned\\x0735 (\\x1b]0;pw-ne-d\\x0735-)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Input: 49\\xff01\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\\xc2\\x9b31m"), std::string::npos) << r.out;
}

// The characters that reorder a line or break it are escaped too, in results and in messages; their
// neighbours are not.
TEST_F(HostileInput, LineReorderingAndBreakingCharactersAreEscaped) {
    for (const char32_t c : {0x200E, 0x200F, 0x202A, 0x202B, 0x202C, 0x202D, 0x202E, 0x2066, 0x2067, 0x2068, 0x2069,
                             0x2028, 0x2029, 0x200D, 0x2027, 0x202F, 0x2065, 0x206A}) {
        std::string input = "49";
        AppendUtf8(input, c);
        input += "01";
        char escaped[16];
        std::snprintf(escaped, sizeof escaped, "49\\u{%04X}01", static_cast<unsigned>(c));
        const bool escapes = c != 0x200D && c != 0x2027 && c != 0x202F && c != 0x2065 && c != 0x206A;
        const std::string shown = escapes ? escaped : input;
        SCOPED_TRACE(shown);
        const CommandRun text = Validate({input}, Format::Text);
        EXPECT_EQ(text.out.rfind("IMEI: " + shown + " (" + shown + "---)\n", 0), 0u) << text.out;
        EXPECT_EQ(text.out.find(input) == std::string::npos, escapes);
        const CommandRun message = testing::Run(cli::RunCompleteCommand, cli::CompleteOptions{{input}});
        EXPECT_EQ(message.err, "quillon-cli complete: '" + shown + "' is not a 14-digit IMEI or a 16-digit IMEISV\n");
    }
}

TEST_F(HostileInput, ATotalOfZeroIsNotCalledNotAMultipleOfTen) {
    const CommandRun r = Validate({"000000000000000"}, Format::Text);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("= 0, not valid: a total of 0 never is\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("multiple"), std::string::npos) << r.out;
}

#ifndef _WIN32 // shell pipelines, ulimit, /dev/zero and SIGPIPE
int Shell(const std::string& command) {
    const int raw = std::system(("bash -c " + testing::ShellQuote(command)).c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// A line that never ends stops the run with status 2 and a message naming its line, after the
// results before it; memory stays capped. With even less memory the program still answers.
TEST_F(HostileInput, ALineThatNeverEndsStopsTheRunWithAMessage) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer reserves more address space than the cap";
#else
    const std::string cli = testing::ShellQuote(QUILLON_CLI_PATH);
    const std::string db = testing::ShellQuote(m_db.string());
    const std::string out = testing::ShellQuote((m_dir.path() / "out").string());
    const std::string err = testing::ShellQuote((m_dir.path() / "err").string());
    struct Case {
        std::string command;
        std::string output;
    };
    const Case cases[] = {
        {cli + " validate --db " + db + " --format csv", "input,"},
        {cli + " complete", "490154203237518\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        const int status =
            Shell("ulimit -v 600000; { printf '49015420323751%s\\n' " + std::string(c.output == "input," ? "8" : "") +
                  "; cat /dev/zero; } | " + c.command + " >" + out + " 2>" + err);
        EXPECT_EQ(status, 2);
        EXPECT_NE(testing::ReadFile(m_dir.path() / "out").find(c.output), std::string::npos);
        EXPECT_NE(testing::ReadFile(m_dir.path() / "err").find("line 2 of standard input is longer than 128 MiB"),
                  std::string::npos)
            << testing::ReadFile(m_dir.path() / "err");
    }
    // Too little memory even for the limit: an answer all the same, never an abort.
    EXPECT_EQ(Shell("ulimit -v 150000; " + cli + " validate --db " + db + " </dev/zero >/dev/null 2>" + err), 2);
    const std::string message = testing::ReadFile(m_dir.path() / "err");
    EXPECT_EQ(message.rfind("quillon-cli validate: ", 0), 0u) << message;
    EXPECT_EQ(message.find("terminate"), std::string::npos) << message;
#endif
}

// A reader that goes away fails the next write: status 2 and the reason, for every command.
TEST_F(HostileInput, AReaderThatGoesAwayIsAFailedWrite) {
    const std::string cli = testing::ShellQuote(QUILLON_CLI_PATH);
    const std::string err = testing::ShellQuote((m_dir.path() / "err").string());
    const std::string commands[] = {
        "yes 490154203237518 | " + cli + " validate --db " + testing::ShellQuote(m_db.string()),
        "yes 49015420323751 | " + cli + " complete",
        cli + " generate --count 100000000 --seed 1",
    };
    for (const std::string& command : commands) {
        SCOPED_TRACE(command);
        EXPECT_EQ(Shell("set -o pipefail; " + command + " 2>" + err +
                        " | head -c 1 >/dev/null; s=(${PIPESTATUS[@]}); exit ${s[-2]}"),
                  2);
        EXPECT_NE(testing::ReadFile(m_dir.path() / "err").find("cannot write to standard output: Broken pipe"),
                  std::string::npos)
            << testing::ReadFile(m_dir.path() / "err");
    }
}
#endif // !_WIN32

} // namespace
} // namespace quillon
