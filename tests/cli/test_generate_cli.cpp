#include "CommandRun.h"
#include "generation/ModelCatalogue.h"
#include "imei/Imei.h"
#include "support/CoreExtras.h"
#include "support/RunProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace quillon {
namespace {

using cli::GenerateOptions;
using testing::CommandRun;
using testing::ReadFile;
using testing::TempDir;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// 30 lines: device lines 26 to 28 are offered; line 29 (n - 1) and the version line are not.
std::string DeviceDatabase() {
    std::string bytes;
    for (int i = 1; i <= 25; ++i) {
        bytes += std::to_string(35000000 + i) + ",Filler,Model " + std::to_string(i) + "\r\n";
    }
    bytes += "35999901,Acme,Phone X\r\n"                                  // 26
             "3599990,Acme,Short Code\r\n"                                // 27: field 1 is not eight digits
             "86123456,Soci\xC3\xA9t\xC3\xA9,T\xC3\xA9l\xC3\xA9phone\r\n" // 28
             "35999929,Acme,Not Offered\r\n"                              // 29
             "99999999,QN-2026.12\r\n";
    return bytes;
}

class GenerateCli : public ::testing::Test {
protected:
    static CommandRun Run(const GenerateOptions& options) { return testing::Run(cli::RunGenerateCommand, options); }
    TempDir m_dir;
    std::string m_db = m_dir.Write("tacdex.csv", DeviceDatabase()).string();
};

void ExpectValidNumbers(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        ASSERT_TRUE(IsValidIMEI(line)) << line;
    }
}

TEST_F(GenerateCli, SeededCatalogueRunIsExactAndRepeatable) {
    const GenerateOptions options{.model = "Samsung Galaxy S6", .count = "1000", .seed = "1"};
    const CommandRun first = Run(options);
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.err, "");
    const std::vector<std::string> lines = Lines(first.out);
    ASSERT_EQ(lines.size(), 1000u);
    ExpectValidNumbers(lines);
    const CatalogueEntry& entry = *FindCatalogueEntry("Samsung Galaxy S6");
    std::set<std::string> codes;
    for (const std::string& line : lines) {
        ASSERT_NE(std::find(entry.tacs.begin(), entry.tacs.end(), line.substr(0, 8)), entry.tacs.end()) << line;
        codes.insert(line.substr(0, 8));
    }
    EXPECT_EQ(codes.size(), 5u);

    EXPECT_EQ(Run(options).out, first.out);
    EXPECT_NE(Run({.model = "Samsung Galaxy S6", .count = "1000", .seed = "2"}).out, first.out);
    // Without a seed the clock's time of day is the seed; without a count there is one number.
    EXPECT_EQ(Run({.count = "5"}).out,
              Run({.count = "5", .seed = std::to_string(SettableClock().TimeOfDaySeed())}).out);
    EXPECT_EQ(Lines(Run({.seed = "9"}).out).size(), 1u);
}

TEST_F(GenerateCli, EachSourceGivesItsPrefix) {
    struct Case {
        GenerateOptions options;
        std::string prefix;
    };
    const Case cases[] = {
        {{.box = "PTCRB"}, "01"},
        {{.box = "BZT/Cetecom"}, "52"},
        {{.box = "TAF"}, "86"},
        {{.custom = "01234567"}, "01234567"},
        {{.db = m_db, .model = "Acme Phone X"}, "35999901"},
        {{.db = m_db, .model = "Soci\xC3\xA9t\xC3\xA9 T\xC3\xA9l\xC3\xA9phone"}, "86123456"},
        {{.model = "Apple iPhone 6X"}, "35"},
        // Lines the window's list leaves out are devices all the same.
        {{.db = m_db, .model = "Filler Model 3"}, "35000003"},
        {{.db = m_db, .model = "Acme Not Offered"}, "35999929"},
        {{}, ""},
    };
    for (const Case& c : cases) {
        GenerateOptions options = c.options;
        options.count = "40";
        options.seed = "3";
        SCOPED_TRACE(c.prefix);
        const CommandRun r = Run(options);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<std::string> lines = Lines(r.out);
        ASSERT_EQ(lines.size(), 40u);
        ExpectValidNumbers(lines);
        for (const std::string& line : lines) {
            EXPECT_EQ(line.substr(0, c.prefix.size()), c.prefix);
            EXPECT_EQ(line.find('0', std::max<std::size_t>(c.prefix.size(), 8)), std::string::npos) << line;
        }
    }
}

// The message of the error a run throws; empty when it throws none.
template <typename Error> std::string Thrown(const GenerateOptions& options) {
    try {
        testing::Run(cli::RunGenerateCommand, options);
    } catch (const Error& error) {
        return error.what();
    }
    return {};
}

TEST_F(GenerateCli, NeedsTheDatabaseOnlyForDeviceEntries) {
    const std::string missing = (m_dir.path() / "elsewhere" / "none.csv").string();
    EXPECT_EQ(Run({.db = missing, .model = "Nokia", .seed = "1"}).status, 0);
    EXPECT_EQ(Run({.db = missing, .box = "NTA", .seed = "1"}).status, 0);
    // Not a usage error; messages about the database name the file used.
    EXPECT_EQ(Thrown<cli::CommandError>({.db = missing, .model = "Acme Phone X"}),
              "the device database \"" + missing + "\" does not exist.");
    EXPECT_NE(Thrown<cli::UsageError>({.db = m_db, .model = "Acme Phone Z"}).find(m_db), std::string::npos);
}

TEST_F(GenerateCli, BadArgumentsAreUsageErrorsThatSayWhy) {
    struct Case {
        GenerateOptions options;
        std::string mentions;
    };
    const Case cases[] = {
        {{.count = "0"}, "--count"},
        {{.count = "-3"}, "--count"},
        {{.count = "1.5"}, "--count"},
        {{.count = "ten"}, "--count"},
        {{.count = ""}, "--count"},
        {{.count = "99999999999999999999999"}, "--count"},
        {{.seed = "-1"}, "--seed"},
        {{.seed = "x"}, "--seed"},
        {{.custom = "4901542"}, "--custom"},
        {{.custom = "490154203"}, "--custom"},
        {{.custom = "4901542X"}, "--custom"},
        {{.box = "FCC"}, "FCC"},
        {{.box = "ptcrb"}, "ptcrb"},
        {{.model = "Samsung Galaxy S9"}, "Samsung Galaxy S9"},
        {{.model = "Custom"}, "--custom"},
        {{.model = ""}, "--model: '' names no model"},
        {{.model = "Acme Unknown"}, "Acme Unknown"},
        {{.model = "Acme Short Code"}, "3599990"},
        {{.model = "Apple", .box = "PTCRB"}, "at most one"},
        {{.model = "Apple", .custom = "49015420"}, "at most one"},
        {{.report = "/nonexistent/folder"}, "--report"},
    };
    for (const Case& c : cases) {
        GenerateOptions options = c.options;
        options.db = m_db;
        SCOPED_TRACE(c.mentions);
        EXPECT_NE(Thrown<cli::UsageError>(options).find(c.mentions), std::string::npos)
            << Thrown<cli::UsageError>(options);
    }
}

TEST_F(GenerateCli, ReportGoesIntoTheFolderAndItsPathToStandardError) {
    TempDir reports;
    struct Case {
        GenerateOptions options;
        std::string modelLine;
    };
    const Case cases[] = {
        {{.model = "Samsung Galaxy S6"}, "Mobile Device Type: Samsung Galaxy S6"},
        {{.custom = "49015420"}, "Mobile Device Type: Custom"},
        {{.box = "MSAI"}, "Mobile Device Type: "},
        {{.db = m_db, .model = "Acme Phone X"}, "Mobile Device Type: Acme Phone X"},
    };
    // The clock stands still: every report has the same time in its name, each a number of its own.
    std::string name = "Quillon.v2.1.2.3.Professional-(01-02-2026_030405)";
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        GenerateOptions options = cases[i].options;
        options.count = "10";
        options.seed = "4";
        options.report = reports.path().string();
        SCOPED_TRACE(cases[i].modelLine);
        const CommandRun r = Run(options);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<std::string> numbers = Lines(r.out);
        ASSERT_EQ(numbers.size(), 10u);
        const std::string suffix = i == 0 ? "" : " (" + std::to_string(i + 1) + ")";
        const std::filesystem::path path = reports.path() / (name + suffix + ".txt");
        EXPECT_EQ(r.err, path.string() + "\n");

        std::string end = cases[i].modelLine + "\r\nCalculation completed in  0 seconds.\r\n" + std::string(38, '-');
        for (const std::string& number : numbers) {
            end += "\r\n" + number;
        }
        const std::string text = ReadFile(path);
        EXPECT_EQ(text.rfind("Quillon v2.1.2.5 Professional Edition\r\n", 0), 0u) << text;
        EXPECT_TRUE(text.ends_with("\r\n" + end + "\r\n")) << text;
    }
    // No temporary file left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(reports.path()), {}), std::ssize(cases));
}

// Several lines showing one text: their distinct codes are drawn from uniformly, as a catalogue
// entry's are; a line whose code is not eight digits takes no part.
TEST_F(GenerateCli, ModelDrawsFromEveryLineWithItsText) {
    const std::filesystem::path db = m_dir.Write("twins.csv", "35111101,Acme,Twin\r\n"
                                                              "35222202,Other,Phone\r\n"
                                                              "35111102,Acme,Twin\r\n"
                                                              "3511110,Acme,Twin\r\n"
                                                              "35111103,Acme,Twin\r\n"
                                                              "35111101,Acme,Twin\r\n"
                                                              "99999999,QN-2026.12\r\n");
    const CommandRun r = Run({.db = db.string(), .model = "Acme Twin", .count = "30000", .seed = "5"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 30000u);
    ExpectValidNumbers(lines);
    std::map<std::string, int> drawn;
    for (const std::string& line : lines) {
        ++drawn[line.substr(0, 8)];
    }
    ASSERT_EQ(drawn.size(), 3u);
    for (const auto& [code, times] : drawn) {
        EXPECT_TRUE(code == "35111101" || code == "35111102" || code == "35111103") << code;
        // 10,000 expected each; 600 is more than six standard deviations.
        EXPECT_NEAR(times, 10000, 600) << code;
    }
}

#ifndef _WIN32 // /proc
// A folder that cannot take the report is refused before any number is made.
TEST_F(GenerateCli, ReportFolderIsCheckedAtTheStart) {
    EXPECT_EQ(Thrown<cli::CommandError>({.count = "5", .report = "/proc"})
                  .rfind("--report: cannot create a file in the folder \"/proc\"", 0),
              0u);
}
#endif

// A report of a large run comes out whole, assembled from the numbers kept on disk.
TEST_F(GenerateCli, LargeReportHoldsEveryNumber) {
    TempDir reports;
    const CommandRun r = Run({.custom = "49015420", .count = "200000", .seed = "8", .report = reports.path().string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string text = ReadFile(r.err.substr(0, r.err.size() - 1));
    const std::size_t rule = text.find(std::string(38, '-'));
    ASSERT_NE(rule, std::string::npos);
    std::string expected;
    for (const std::string& number : Lines(r.out)) {
        expected += "\r\n" + number;
    }
    EXPECT_EQ(text.substr(rule + 38), expected + "\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(reports.path()), {}), 1);
}

#ifndef _WIN32 // /proc; bash, fifos and POSIX signals
// A run stopped by a signal, or by its reader going away, leaves nothing in the report folder. A
// reader going away is a failed write, answered with status 2 and a message, not a signal.
TEST_F(GenerateCli, StoppedRunLeavesNoTemporaryFile) {
    struct Case {
        std::string name;
        std::string stop; // run with the reader on fd 3 and the program's process id in $pid
        int status;       // 128 + the signal, or 2
    };
    const Case cases[] = {
        {"SIGTERM", "kill -TERM $pid", 128 + SIGTERM},
        {"SIGINT", "kill -INT $pid", 128 + SIGINT},
        {"SIGHUP", "kill -HUP $pid", 128 + SIGHUP}, // the terminal closed
        {"reader gone", "exec 3<&-", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir work;
        const std::filesystem::path reports = work.path() / "reports";
        std::filesystem::create_directory(reports);
        // Job control puts the run in its own process group, where SIGINT is not ignored. The reader
        // holds the pipe open until the stop, so the run is still going when it comes.
        const std::string script =
            "set -m; cd " + testing::ShellQuote(work.path().string()) + " && mkfifo fifo && { " +
            testing::ShellQuote(QUILLON_CLI_PATH) +
            " generate --count 1000000000 --seed 1 --report reports >fifo 2>err & pid=$!; exec 3<fifo; "
            "head -c 1 <&3 >/dev/null; " +
            c.stop + "; wait $pid; echo $? >status; }";
        const int raw = std::system(("bash -c " + testing::ShellQuote(script)).c_str());
        ASSERT_TRUE(WIFEXITED(raw));
        EXPECT_EQ(ReadFile(work.path() / "status"), std::to_string(c.status) + "\n");
        std::vector<std::string> left;
        for (const auto& entry : std::filesystem::directory_iterator(reports)) {
            left.push_back(entry.path().filename().string());
        }
        EXPECT_TRUE(left.empty()) << left.front();
        if (c.status == 2) {
            EXPECT_EQ(ReadFile(work.path() / "err").rfind("quillon-cli generate: cannot write to standard output", 0),
                      0u)
                << ReadFile(work.path() / "err");
        }
    }
}
#endif

} // namespace
} // namespace quillon
