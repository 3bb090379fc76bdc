#include "generation/ModelCatalogue.h"
#include "imei/Imei.h"
#include "support/RunProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
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
        {{"--model", "Acme Not Offered"}, "Acme Not Offered"},
        {{"--model", "Filler Model 3"}, "Filler Model 3"},
        {{"--model", "Acme Short Code"}, "3599990"},
        {{"--model", "Apple", "--box", "PTCRB"}, "at most one"},
        {{"--custom", "49015420", "--model", "Apple"}, "at most one"},
        {{"--count", "2", "--count", "3"}, "more than once"},
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

} // namespace
} // namespace quillon
