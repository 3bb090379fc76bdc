#include "CommandRun.h"
#include "Utf16Text.h"
#include "support/ListReadingCases.h"
#include "support/RunProcess.h"
#include "support/TempDir.h"

#include "validation/ResultCsv.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace quillon {
namespace {

using cli::Format;
using testing::CommandRun;
using testing::ProcessResult;
using testing::RunProcess;
using testing::TempDir;

constexpr const char* kDatabase = "49015420,Acme,Phone X\r\n"
                                  "35000000,\"Comma, Inc\",Model \"Q\"\r\n"
                                  "99999999,QN-2026.12\r\n";

class ValidateCli : public ::testing::Test {
protected:
    CommandRun Run(std::vector<std::string> inputs, Format format = Format::Text, const std::string& input = {}) {
        return testing::Run(cli::RunValidateCommand, cli::ValidateOptions{m_db.string(), format, std::move(inputs)},
                            input);
    }
    TempDir m_dir;
    std::filesystem::path m_db = m_dir.Write("tacdex.csv", kDatabase);
};

// validate reads a list as the window's "Check a List" reads it: its CSV is the one writer's CSV of
// exactly the inputs the list reader finds, plain or with --column.
TEST_F(ValidateCli, ReadsEveryListAsTheListReaderDoes) {
    DeviceDatabase db(m_db);
    ASSERT_FALSE(db.Load());
    for (const testing::ListReadingCase& c : testing::ListReadingCases()) {
        StringOutput expected;
        ValidationCsv csv(expected);
        for (const auto& [line, text] : c.inputs) {
            csv.Write(text, RunValidation(text, db.Table(), BoxStates{}));
        }
        cli::ValidateOptions options{m_db.string(), Format::Csv, {}};
        options.column = c.column;
        const CommandRun run = testing::Run(cli::RunValidateCommand, options, c.bytes);
        EXPECT_EQ(run.out, expected.Text()) << c.name;
        EXPECT_EQ(run.err, "") << c.name;
    }
}

TEST_F(ValidateCli, ColumnProblemsExitWith2) {
    cli::ValidateOptions options{m_db.string(), Format::Csv, {"490154203237518"}};
    options.column = "IMEI";
    EXPECT_THROW(testing::Run(cli::RunValidateCommand, options), cli::UsageError);
    options.inputs.clear();
    CommandRun run = testing::Run(cli::RunValidateCommand, options, "Serial,Model\n1,2\n");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "quillon-cli validate: standard input has no column \"IMEI\" in its header row; its columns "
                       "are \"Serial\", \"Model\"\n");
    run = testing::Run(cli::RunValidateCommand, options, "IMEI\n490154203237518\n\"4\n");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("490154203237518"), std::string::npos); // what was read before stays written
    EXPECT_NE(run.err.find("standard input has a quoted field opened on line 3 that"), std::string::npos) << run.err;
}

// Text output describes the result in words for a terminal; it never repeats the window's captions.
TEST_F(ValidateCli, TextDescribesTheResultInWords) {
    struct Case {
        std::string input;
        int status;
        std::string text;
    };
    const Case cases[] = {
        {"49-015420-323751-8", 0,
         "Input: 49-015420-323751-8\n"
         "IMEI: 490154203237518 (490154-20-323751-8)\n"
         "Result: valid\n"
         "Reporting body: 49 (BZT / BAPT / Regulatory Authority / Federal Network Agency (FNA), Germany)\n"
         "Type Allocation Code: 49015420\n"
         "Serial number: 323751\n"
         "Device: Acme Phone X\n"
         "Luhn check: digit sum 52 + check digit 8 = 60, a multiple of 10\n"},
        {"356938035643809", 0,
         "IMEI: 356938035643809 (356938-03-564380-9)\n"
         "Result: valid\n"
         "Reporting body: 35 (British Approvals Board of Telecommunications (BABT), Great Britain)\n"
         "Type Allocation Code: 35693803\n"
         "Serial number: 564380\n"
         "Device: not in the database\n"
         "Luhn check: digit sum 61 + check digit 9 = 70, a multiple of 10\n"},
        {"490154203237517", 1,
         "IMEI: 490154203237517 (490154-20-323751-7)\n"
         "Result: not valid (the check digit should be 8)\n"
         "Reporting body: 49 (BZT / BAPT / Regulatory Authority / Federal Network Agency (FNA), Germany)\n"
         "Type Allocation Code: 49015420\n"
         "Serial number: 323751\n"
         "Device: Acme Phone X\n"
         "Luhn check: digit sum 52 + check digit 7 = 59, not a multiple of 10\n"},
        {"4901542032375180", 1,
         "IMEI: 4901542032375180\n"
         "Result: not an IMEI (16 characters; an IMEI has 15 digits)\n"},
        {" - ", 1, "Input:  - \nResult: not an IMEI (nothing left to check once blanks and separators are dropped)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        const CommandRun r = Run({c.input});
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.text);
        EXPECT_EQ(r.out.find("^^"), std::string::npos);
        EXPECT_EQ(r.out.find("Click"), std::string::npos);
    }
    // Results are parted by an empty line; the status is 1 when any input was not valid.
    const CommandRun both = Run({"490154203237518", "490154203237517"});
    EXPECT_EQ(both.status, 1);
    EXPECT_NE(both.out.find("a multiple of 10\n\nIMEI: 490154203237517"), std::string::npos) << both.out;
    EXPECT_EQ(Run({"490154203237518", "356938035643809"}).status, 0);
}

TEST_F(ValidateCli, DatabaseErrorsExitWith2) {
    m_db = m_dir.path() / "none.csv";
    const CommandRun missing = Run({"490154203237518"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "quillon-cli validate: the device database \"" + m_db.string() + "\" does not exist.\n");
    EXPECT_TRUE(missing.out.empty());
    m_db = m_dir.path();
    const CommandRun folder = Run({"1"});
    EXPECT_EQ(folder.status, 2);
    EXPECT_EQ(folder.err.rfind("quillon-cli validate: ", 0), 0u) << folder.err;
}

TEST_F(ValidateCli, JsonLinesFromStandardInput) {
    const CommandRun r = Run({}, Format::Json, "49-015420-323751-8\r\n35000000000000X\n 4901542032375180\n");
    EXPECT_EQ(r.status, 1);
    std::istringstream lines(r.out);
    std::vector<nlohmann::json> objects;
    for (std::string line; std::getline(lines, line);) {
        objects.push_back(nlohmann::json::parse(line));
    }
    ASSERT_EQ(objects.size(), 3u);

    EXPECT_EQ(objects[0], nlohmann::json::parse(R"json({"input": "49-015420-323751-8", "imei": "490154203237518",
        "rejected": false, "presentation": "490154-20-323751-8", "boxes": ["BZT/Cetecom", "BABT/BAPT"],
        "reporting_body": "49 (BZT / BAPT / Regulatory Authority / Federal Network Agency (FNA), Germany)",
        "tac": "49015420", "serial": "323751", "check": "49025820343552", "checksum": "52(60)", "luhn": 8,
        "valid": true, "found": true, "manufacturer": "Acme", "model": "Phone X"})json"));

    const nlohmann::json& quoted = objects[1];
    EXPECT_EQ(quoted["imei"], "350000000000000");
    EXPECT_EQ(quoted["manufacturer"], "\"Comma");
    EXPECT_EQ(quoted["model"], " Inc\"");
    EXPECT_EQ(quoted["boxes"], nlohmann::json::array({"BABT/BAPT"}));

    // The line is taken as it stands: the leading blank is part of the input.
    const nlohmann::json& rejected = objects[2];
    EXPECT_EQ(rejected["input"], " 4901542032375180");
    EXPECT_EQ(rejected["rejected"], true);
    EXPECT_EQ(rejected["valid"], false);
    EXPECT_EQ(rejected.size(), 4u);
}

TEST_F(ValidateCli, CsvQuotesFieldsAsRfc4180) {
    const CommandRun r = Run({"350000000000000", "4901542032375180", "a\"b,c"}, Format::Csv);
    EXPECT_EQ(r.status, 1);
    std::istringstream lines(r.out);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r');
        line.pop_back();
        rows.push_back(line);
    }
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], "input,imei,rejected,presentation,reporting_body,boxes,tac,serial,check,checksum,luhn,valid,"
                       "found,manufacturer,model");
    EXPECT_EQ(rows[1], "350000000000000,350000000000000,false,350000-00-000000-0,\"35 (British Approvals Board of "
                       "Telecommunications (BABT), Great Britain)\",BABT/BAPT,35000000,000000,31000000000000,4(4),0,"
                       "false,true,\"\"\"Comma\",\" Inc\"\"\"");
    EXPECT_EQ(rows[2], "4901542032375180,4901542032375180,true,,,,,,,,,false,,,");
    EXPECT_EQ(rows[3].substr(0, 16), "\"a\"\"b,c\",\"a\"\"bc\"");
}

TEST_F(ValidateCli, CsvQuotesLineEnds) {
    const CommandRun r = Run({"49\r01", "49\n01"}, Format::Csv);
    EXPECT_NE(r.out.find("\r\n\"49\r01\",\"49\r01\","), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\r\n\"49\n01\",\"49\n01\","), std::string::npos) << r.out;
}

TEST_F(ValidateCli, OddInputNeverBreaksTheOutput) {
    const std::string nul = "49" + std::string(1, '\0') + "01";
    const CommandRun r = Run({}, Format::Json, std::string(10000, '9') + "\n\xFF\xFE\n" + nul + "\n\n");
    EXPECT_EQ(r.status, 1);
    std::istringstream lines(r.out);
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        EXPECT_TRUE(nlohmann::json::accept(line)) << line;
    }
    EXPECT_EQ(count, 4);
}

#ifndef _WIN32
// Runs a shell command line; its exit status.
int Shell(const std::string& command) {
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}
#endif

std::string Lines(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += "490154203237518\n";
    }
    return text;
}

#ifndef _WIN32 // shell pipelines and /dev/full
// Input and output failures end with exit 2 and a reason on standard error, never a silent 0.
TEST_F(ValidateCli, InputAndOutputErrorsExitWith2) {
    const std::string cli =
        testing::ShellQuote(QUILLON_CLI_PATH) + " validate --db " + testing::ShellQuote(m_db.string());
    const std::string in = testing::ShellQuote(m_dir.Write("in.txt", Lines(10000)).string());
    const std::string err = testing::ShellQuote((m_dir.path() / "err.txt").string());
    const std::string status = testing::ShellQuote((m_dir.path() / "status.txt").string());
    struct Case {
        std::string name;
        std::string command;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"one result into a full device", cli + " 490154203237518 >/dev/full 2>" + err, "No space left on device"},
        {"10,000 lines into a full device", cli + " --format csv <" + in + " >/dev/full 2>" + err,
         "No space left on device"},
        {"a folder as standard input", cli + " </tmp >/dev/null 2>" + err, "Is a directory"},
        {"closed standard input", cli + " <&- >/dev/null 2>" + err, "closed"},
        {"closed standard output", cli + " 490154203237518 >&- 2>" + err, "Bad file descriptor"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Shell(c.command), 2);
        EXPECT_NE(testing::ReadFile(m_dir.path() / "err.txt").find(c.reason), std::string::npos)
            << testing::ReadFile(m_dir.path() / "err.txt");
    }
    // A reader that goes away: the program ignores SIGPIPE, so the write fails with EPIPE.
    Shell("(" + cli + " --format csv <" + in + " 2>" + err + "; echo $? >" + status + ") | head -c 1 >/dev/null");
    EXPECT_EQ(testing::ReadFile(m_dir.path() / "status.txt"), "2\n");
    EXPECT_NE(testing::ReadFile(m_dir.path() / "err.txt").find("Broken pipe"), std::string::npos);
}
#endif // !_WIN32

// UTF-16 without a mark, its first line empty, as iconv -t UTF-16LE writes it, reads as its UTF-8
// through a pipe too: more of it than the 64 KiB that decide, and no NUL in the CSV.
TEST_F(ValidateCli, Utf16FromAPipeReadsAsItsUtf8) {
    const std::string text = "\r\n" + Lines(5000);
    const std::vector<std::string> args = {"validate", "--db", m_db.string(), "--format", "csv"};
    const ProcessResult expected = RunProcess(QUILLON_CLI_PATH, args, text);
    for (const bool bigEndian : {false, true}) {
        const ProcessResult read = RunProcess(QUILLON_CLI_PATH, args, testing::Utf16(text, bigEndian, false));
        EXPECT_EQ(read.status, 1);
        EXPECT_EQ(read.out, expected.out);
        EXPECT_EQ(read.out.find('\0'), std::string::npos);
        EXPECT_EQ(read.err, "");
    }
}

// Many records across many output blocks and input reads, all of them whole.
TEST_F(ValidateCli, ManyRecordsArriveWhole) {
    const CommandRun r = Run({"-"}, Format::Csv, Lines(20000));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 20001);
    EXPECT_EQ(r.out.substr(r.out.size() - 2), "\r\n");
}

#ifndef _WIN32 // shell pipelines, ulimit and /dev/full
// A single input line of 100 MB is answered, within a few times its size in memory: the address
// space is capped far below what copying it again and again would take.
TEST_F(ValidateCli, AHugeLineIsAnsweredWithinBoundedMemory) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer reserves more address space than the cap";
#else
    const auto in = m_dir.path() / "huge.txt";
    {
        std::ofstream out(in, std::ios::binary);
        const std::string block(1 << 20, '7');
        for (int i = 0; i < 100; ++i) {
            out << block;
        }
        out << "\n490154203237518\n";
    }
    const auto out = m_dir.path() / "out.csv";
    const std::string cli =
        testing::ShellQuote(QUILLON_CLI_PATH) + " validate --db " + testing::ShellQuote(m_db.string());
    const int status = Shell("ulimit -v 600000 && " + cli + " --format csv <" + testing::ShellQuote(in.string()) +
                             " >" + testing::ShellQuote(out.string()) + " 2>/dev/null");
    EXPECT_EQ(status, 1);
    std::ifstream result(out, std::ios::binary);
    std::string header;
    std::getline(result, header);
    std::string huge;
    std::getline(result, huge);
    std::string last;
    std::getline(result, last);
    const std::string line(100 << 20, '7');
    EXPECT_EQ(huge, line + "," + line + ",true,,,,,,,,,false,,,\r");
    EXPECT_TRUE(last.starts_with("490154203237518,490154203237518,false,")) << last.substr(0, 100);
#endif
}

// The worst database shapes just under 64 MiB, with the address space capped: each is either read
// within bounded memory or refused with the reason, never held at many times its size.
TEST(DatabaseShapes, AreReadOrRefusedWithinBoundedMemory) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer reserves more address space than the cap";
#else
    constexpr std::size_t kSize = (64u << 20) - 64;
    struct Case {
        std::string name;
        char fill;
        int status;         // 1: read, the number not found; 2: refused
        std::string reason; // on standard error when refused
    };
    const std::vector<Case> cases = {
        {"one line", 'x', 1, ""},
        {"all commas", ',', 1, ""},
        {"all line ends", '\n', 2, "lines"},
        {"bytes that are not UTF-8", '\x80', 2, "Windows-1252"},
    };
    testing::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto db = dir.path() / "tacdex.csv";
        {
            std::ofstream out(db, std::ios::binary | std::ios::trunc);
            const std::string block(1 << 20, c.fill);
            for (std::size_t written = 0; written < kSize; written += block.size()) {
                out.write(block.data(), static_cast<std::streamsize>(std::min(block.size(), kSize - written)));
            }
        }
        const auto err = dir.path() / "err.txt";
        const int status = Shell("ulimit -v 300000 && " + testing::ShellQuote(QUILLON_CLI_PATH) + " validate --db " +
                                 testing::ShellQuote(db.string()) + " 490154203237517 >/dev/null 2>" +
                                 testing::ShellQuote(err.string()));
        EXPECT_EQ(status, c.status) << testing::ReadFile(err);
        EXPECT_NE(testing::ReadFile(err).find(c.reason), std::string::npos) << testing::ReadFile(err);
    }
    // One-character lines: refused for their number, however short the file.
    const auto db = dir.Write("tacdex.csv", [] {
        std::string s;
        for (int i = 0; i < 2'000'001; ++i) {
            s += "a\n";
        }
        return s;
    }());
    const ProcessResult r = RunProcess(QUILLON_CLI_PATH, {"validate", "--db", db.string(), "1"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("more than 2000000 lines"), std::string::npos) << r.err;
#endif
}
#endif // !_WIN32

// The one check of the shipped database: real phones are found by their codes.
TEST(ShippedDatabase, FindsRealPhones) {
    const CommandRun r =
        testing::Run(cli::RunValidateCommand,
                     cli::ValidateOptions{{}, Format::Csv, {"357613004448485", "352936001349777", "357805023984447"}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(",true,true,Nokia,6020\r\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(",true,true,Nokia,3100\r\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(",true,true,Samsung,SGH-L700\r\n"), std::string::npos) << r.out;
}

} // namespace
} // namespace quillon
