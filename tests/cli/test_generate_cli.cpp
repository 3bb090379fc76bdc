#include "generation/ModelCatalogue.h"
#include "imei/Imei.h"
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
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace quillon {
namespace {

using testing::ProcessResult;
using testing::ReadFile;
using testing::RunProcess;
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
    ProcessResult Run(std::vector<std::string> args) {
        args.insert(args.begin(), "generate");
        return RunProcess(QUILLON_CLI_PATH, args);
    }
    TempDir m_dir;
    std::filesystem::path m_db = m_dir.Write("tacdex.csv", DeviceDatabase());
};

void ExpectValidNumbers(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        ASSERT_TRUE(IsValidIMEI(line)) << line;
    }
}

TEST_F(GenerateCli, SeededCatalogueRunIsExactAndRepeatable) {
    const std::vector<std::string> args{"--model", "Samsung Galaxy S6", "--count", "1000", "--seed", "1"};
    const ProcessResult first = Run(args);
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

    EXPECT_EQ(Run(args).out, first.out);
    const ProcessResult otherSeed = Run({"--model", "Samsung Galaxy S6", "--count", "1000", "--seed", "2"});
    EXPECT_NE(otherSeed.out, first.out);
}

TEST_F(GenerateCli, EachSourceGivesItsPrefix) {
    struct Case {
        std::vector<std::string> args;
        std::string prefix;
    };
    const Case cases[] = {
        {{"--box", "PTCRB"}, "01"},
        {{"--box", "BZT/Cetecom"}, "52"},
        {{"--box", "TAF"}, "86"},
        {{"--custom", "49015420"}, "49015420"},
        {{"--custom=01234567"}, "01234567"},
        {{"--model", "Acme Phone X", "--db", m_db.string()}, "35999901"},
        {{"--model", "Soci\xC3\xA9t\xC3\xA9 T\xC3\xA9l\xC3\xA9phone", "--db", m_db.string()}, "86123456"},
        {{"--model", "Apple iPhone 6X"}, "35"},
        // Lines the window's list leaves out are devices all the same.
        {{"--model", "Filler Model 3", "--db", m_db.string()}, "35000003"},
        {{"--model", "Acme Not Offered", "--db", m_db.string()}, "35999929"},
        {{}, ""},
        {{"--model", ""}, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--count", "40", "--seed", "3"});
        SCOPED_TRACE(args.front());
        const ProcessResult r = Run(args);
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

TEST_F(GenerateCli, CountDefaultsToOne) {
    const ProcessResult r = Run({"--seed", "9"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(Lines(r.out).size(), 1u);
    EXPECT_EQ(Lines(r.out)[0].find('0'), std::string::npos);
    ExpectValidNumbers(Lines(r.out));
}

TEST_F(GenerateCli, NeedsTheDatabaseOnlyForDeviceEntries) {
    const std::string missing = (m_dir.path() / "nowhere.csv").string();
    EXPECT_EQ(Run({"--db", missing, "--model", "Nokia", "--seed", "1"}).status, 0);
    EXPECT_EQ(Run({"--db", missing, "--box", "NTA", "--seed", "1"}).status, 0);
    const ProcessResult r = Run({"--db", missing, "--model", "Acme Phone X"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err, "");
    EXPECT_EQ(r.out, "");
}

TEST_F(GenerateCli, BadArgumentsExitWithTwoAndSayWhy) {
    struct Case {
        std::vector<std::string> args;
        std::string mentions;
    };
    const Case cases[] = {
        {{"--count", "0"}, "--count"},
        {{"--count", "-3"}, "--count"},
        {{"--count", "1.5"}, "--count"},
        {{"--count", "ten"}, "--count"},
        {{"--count", ""}, "--count"},
        {{"--count", "99999999999999999999999"}, "--count"},
        {{"--count"}, "--count"},
        {{"--seed", "-1"}, "--seed"},
        {{"--seed", "x"}, "--seed"},
        {{"--custom", "4901542"}, "--custom"},
        {{"--custom", "490154203"}, "--custom"},
        {{"--custom", "4901542X"}, "--custom"},
        {{"--box", "FCC"}, "FCC"},
        {{"--box", "ptcrb"}, "ptcrb"},
        {{"--model", "Samsung Galaxy S9"}, "Samsung Galaxy S9"},
        {{"--model", "Custom"}, "--custom"},
        {{"--model", "Acme Unknown"}, "Acme Unknown"},
        {{"--model", "Acme Short Code"}, "3599990"},
        {{"--model", "Apple", "--box", "PTCRB"}, "at most one"},
        {{"--custom", "49015420", "--model", "Apple"}, "at most one"},
        {{"--count", "2", "--count", "3"}, "--count"},
        {{"--colour", "red"}, "--colour"},
        {{"490154203237518"}, "490154203237518"},
        {{"--report", "/nonexistent/folder"}, "--report"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"--db", m_db.string()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(args.back());
        const ProcessResult r = Run(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(c.mentions), std::string::npos) << r.err;
    }
}

TEST_F(GenerateCli, ReportGoesIntoTheFolderAndItsPathToStandardError) {
    TempDir reports;
    struct Case {
        std::vector<std::string> args;
        std::string modelLine;
    };
    const Case cases[] = {
        {{"--model", "Samsung Galaxy S6"}, "Mobile Device Type: Samsung Galaxy S6"},
        {{"--custom", "49015420"}, "Mobile Device Type: Custom"},
        {{"--box", "MSAI"}, "Mobile Device Type: "},
        {{"--model", "Acme Phone X", "--db", m_db.string()}, "Mobile Device Type: Acme Phone X"},
    };
    std::set<std::string> written;
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--count", "10", "--seed", "4", "--report", reports.path().string()});
        SCOPED_TRACE(c.modelLine);
        const ProcessResult r = Run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<std::string> numbers = Lines(r.out);
        ASSERT_EQ(numbers.size(), 10u);

        ASSERT_FALSE(r.err.empty());
        ASSERT_EQ(r.err.back(), '\n');
        const std::filesystem::path path = r.err.substr(0, r.err.size() - 1);
        EXPECT_EQ(path.parent_path(), reports.path());
        EXPECT_EQ(path.filename().string().rfind("Quillon.v2.1.2.3.Professional-(", 0), 0u) << path;
        EXPECT_TRUE(written.insert(path.string()).second) << "an earlier report was replaced";

        const std::string text = ReadFile(path);
        std::vector<std::string> lines;
        for (std::size_t start = 0; start < text.size();) {
            const std::size_t end = text.find("\r\n", start);
            ASSERT_NE(end, std::string::npos);
            lines.push_back(text.substr(start, end - start));
            start = end + 2;
        }
        ASSERT_EQ(lines.size(), 16u);
        EXPECT_EQ(lines[0], "Quillon v2.1.2.5 Professional Edition");
        EXPECT_EQ(lines[3], c.modelLine);
        EXPECT_EQ(lines[4].rfind("Calculation completed in  ", 0), 0u) << lines[4];
        EXPECT_EQ(lines[5], std::string(38, '-'));
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 6, lines.end()), numbers);
    }
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(reports.path())) {
        ++files;
    }
    EXPECT_EQ(files, written.size()); // no temporary file left behind
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
    const ProcessResult r = Run({"--db", db.string(), "--model", "Acme Twin", "--count", "30000", "--seed", "5"});
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

TEST_F(GenerateCli, MessagesNameTheDatabaseUsed) {
    const std::string missing = (m_dir.path() / "elsewhere" / "none.csv").string();
    const ProcessResult gone = Run({"--db", missing, "--model", "Acme Phone X"});
    EXPECT_EQ(gone.status, 2);
    EXPECT_NE(gone.err.find(missing), std::string::npos) << gone.err;
    const ProcessResult unknown = Run({"--db", m_db.string(), "--model", "Acme Phone Z"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find(m_db.string()), std::string::npos) << unknown.err;
}

#ifndef _WIN32 // /proc; bash, fifos and POSIX signals
// A folder that cannot take the report is refused before any number is made.
TEST_F(GenerateCli, ReportFolderIsCheckedAtTheStart) {
    const ProcessResult r = Run({"--count", "5", "--seed", "1", "--report", "/proc"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("quillon-cli generate: --report: cannot create a file in the folder \"/proc\"", 0), 0u)
        << r.err;
}
#endif

// A report of a large run comes out whole, assembled from the numbers kept on disk.
TEST_F(GenerateCli, LargeReportHoldsEveryNumber) {
    TempDir reports;
    const ProcessResult r =
        Run({"--custom", "49015420", "--count", "200000", "--seed", "8", "--report", reports.path().string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string text = ReadFile(r.err.substr(0, r.err.size() - 1));
    const std::size_t rule = text.find(std::string(38, '-'));
    ASSERT_NE(rule, std::string::npos);
    std::string expected;
    for (const std::string& number : Lines(r.out)) {
        expected += "\r\n" + number;
    }
    EXPECT_EQ(text.substr(rule + 38), expected + "\r\n");
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(reports.path())) {
        ++files;
    }
    EXPECT_EQ(files, 1u);
}

#ifndef _WIN32 // /proc; bash, fifos and POSIX signals
// A run stopped by a signal, or by its reader going away, leaves nothing in the report folder.
TEST_F(GenerateCli, StoppedRunLeavesNoTemporaryFile) {
    struct Case {
        std::string name;
        std::string stop; // run with the reader on fd 3 and the program's process id in $pid
        int status;       // 128 + the signal
    };
    const Case cases[] = {
        {"SIGTERM", "kill -TERM $pid", 128 + SIGTERM},
        {"SIGINT", "kill -INT $pid", 128 + SIGINT},
        {"reader gone", "exec 3<&-", 128 + SIGPIPE},
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
    }
}
#endif

} // namespace
} // namespace quillon
