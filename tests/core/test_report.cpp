#include "generation/Report.h"
#include "present/ProblemText.h"
#include "system/Files.h"

#include "identity/Identity.h"
#include "support/CoreExtras.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace quillon {
namespace {

using testing::ReadFile;
using testing::TempDir;

std::set<std::string> FolderContents(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

TEST(SecondsText, WritesMillisecondsAsSeconds) {
    struct Case {
        std::int64_t milliseconds;
        const char* text;
    };
    const Case cases[] = {
        {12345, " 12.345"},
        {2000, " 2"},
        {500, " .5"},
        {61250, " 61.25"},
        {0, " 0"},
        {1, " .001"},
        {10, " .01"},
        {100, " .1"},
        {999, " .999"},
        {1000, " 1"},
        {1010, " 1.01"},
        {1001, " 1.001"},
        {120000, " 120"},
        {-500, "-.5"},
        {-1, "-.001"},
        {-2000, "-2"},
        {-12345, "-12.345"},
        {4294967295, " 4294967.295"},  // the largest 32-bit tick difference
        {-2147483648, "-2147483.648"}, // the most negative 32-bit one
        {std::numeric_limits<std::int64_t>::max(), " 9223372036854775.807"},
        {std::numeric_limits<std::int64_t>::min(), "-9223372036854775.808"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SecondsText(c.milliseconds), c.text) << c.milliseconds;
    }
}

TEST(ReportText, IsTheSixHeaderLinesAndTheNumbersWithCrLf) {
    const std::string credit = "Made by " + std::string(identity::kMakerName);
    const std::string homepage = "Homepage: http://" + std::string(identity::kMakerHost) + "/";
    EXPECT_EQ(ReportCreditLine(), credit);
    EXPECT_EQ(ReportHomepageLine(), homepage);
    const std::string rule(38, '-');

    struct Case {
        const char* name;
        std::string model;
        std::string seconds;
        std::vector<std::string> numbers;
        std::string expected;
    };
    const Case cases[] = {
        {"no model, no numbers",
         "",
         " 2",
         {},
         "Quillon v2.1.2.5 Professional Edition\r\n" + credit + "\r\n" + homepage +
             "\r\nMobile Device Type: \r\nCalculation completed in  2 seconds.\r\n" + rule + "\r\n"},
        {"catalogue entry",
         "Samsung Galaxy S6",
         " 61.25",
         {"359937061234563", "359521069876548"},
         "Quillon v2.1.2.5 Professional Edition\r\n" + credit + "\r\n" + homepage +
             "\r\nMobile Device Type: Samsung Galaxy S6\r\nCalculation completed in  61.25 seconds.\r\n" + rule +
             "\r\n359937061234563\r\n359521069876548\r\n"},
        {"device entry beyond ASCII",
         "Société Téléphone Ü",
         " .5",
         {"350000011111114"},
         "Quillon v2.1.2.5 Professional Edition\r\n" + credit + "\r\n" + homepage +
             "\r\nMobile Device Type: Soci\xC3\xA9t\xC3\xA9 T\xC3\xA9l\xC3\xA9phone \xC3\x9C\r\n"
             "Calculation completed in  .5 seconds.\r\n" +
             rule + "\r\n350000011111114\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string list;
        for (const std::string& number : c.numbers) {
            AppendToGeneratedList(list, number);
        }
        EXPECT_EQ(ReportText(kProgramVersionText, c.model, c.seconds, list), c.expected);
    }
}

TEST(ReportText, TenNumbersGiveSixteenLines) {
    std::string list;
    for (int i = 0; i < 10; ++i) {
        AppendToGeneratedList(list, "35993706111111" + std::to_string(i));
    }
    const std::string text = ReportText(kProgramVersionText, "Samsung Galaxy S6", SecondsText(5123), list);
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "every line ends with CR LF";
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    ASSERT_EQ(lines.size(), 16u);
    EXPECT_EQ(lines[3], "Mobile Device Type: Samsung Galaxy S6");
    EXPECT_EQ(lines[4], "Calculation completed in  5.123 seconds.");
    EXPECT_EQ(lines[5], std::string(38, '-'));
    EXPECT_EQ(lines[15], "359937061111119");
}

TEST(ReportFileName, MonthDayYearThenTwentyFourHourTime) {
    struct Case {
        LocalDateTime when;
        const char* name;
    };
    const Case cases[] = {
        {{2026, 12, 6, 17, 5, 9}, "Quillon.v2.1.2.3.Professional-(12-06-2026_170509).txt"},
        {{2027, 2, 1, 9, 7, 3}, "Quillon.v2.1.2.3.Professional-(02-01-2027_090703).txt"},
        {{2030, 1, 31, 0, 0, 0}, "Quillon.v2.1.2.3.Professional-(01-31-2030_000000).txt"},
        {{2026, 10, 10, 23, 59, 59}, "Quillon.v2.1.2.3.Professional-(10-10-2026_235959).txt"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReportFileName(c.when), c.name);
    }
}

TEST(ReportFileName, NumberedVariantsGoBeforeTheExtension) {
    const std::string name = "Quillon.v2.1.2.3.Professional-(12-06-2026_170509).txt";
    EXPECT_EQ(NumberedReportFileName(name, 1), name);
    EXPECT_EQ(NumberedReportFileName(name, 2), "Quillon.v2.1.2.3.Professional-(12-06-2026_170509) (2).txt");
    EXPECT_EQ(NumberedReportFileName(name, 10), "Quillon.v2.1.2.3.Professional-(12-06-2026_170509) (10).txt");
    EXPECT_EQ(NumberedReportFileName("report", 3), "report (3)");
}

TEST(WriteReportFile, WritesTheTextUnderItsNameAndLeavesNothingElse) {
    TempDir dir;
    const std::string name = ReportFileName({2026, 12, 6, 17, 5, 9});
    const std::string text = "Quillon v2.1.2.5\r\nline\r\n\xC3\x9C\r\n";
    const ReportWriteResult result = WriteReportFile(dir.path(), name, text);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.path, dir.path() / name);
    EXPECT_EQ(ReadFile(result.path), text);
    EXPECT_EQ(FolderContents(dir.path()), std::set<std::string>{name});
}

TEST(WriteReportFile, NeverReplacesAnEarlierReport) {
    TempDir dir;
    const std::string name = ReportFileName({2027, 2, 1, 9, 7, 3});
    const std::string first = "first\r\n";
    ASSERT_TRUE(WriteReportFile(dir.path(), name, first).ok());
    const ReportWriteResult second = WriteReportFile(dir.path(), name, "second\r\n");
    const ReportWriteResult third = WriteReportFile(dir.path(), name, "third\r\n");
    ASSERT_TRUE(second.ok());
    ASSERT_TRUE(third.ok());
    EXPECT_EQ(second.path.filename(), "Quillon.v2.1.2.3.Professional-(02-01-2027_090703) (2).txt");
    EXPECT_EQ(third.path.filename(), "Quillon.v2.1.2.3.Professional-(02-01-2027_090703) (3).txt");
    EXPECT_EQ(ReadFile(dir.path() / name), first);
    EXPECT_EQ(ReadFile(second.path), "second\r\n");
    EXPECT_EQ(ReadFile(third.path), "third\r\n");
    EXPECT_EQ(FolderContents(dir.path()).size(), 3u);
}

TEST(WriteReportFile, SkipsEveryTakenNumber) {
    TempDir dir;
    dir.Write("r.txt", "a");
    dir.Write("r (2).txt", "b");
    dir.Write("r (4).txt", "d");
    const ReportWriteResult result = WriteReportFile(dir.path(), "r.txt", "new");
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.path.filename(), "r (3).txt");
    EXPECT_EQ(ReadFile(dir.path() / "r.txt"), "a");
    EXPECT_EQ(ReadFile(dir.path() / "r (2).txt"), "b");
    EXPECT_EQ(ReadFile(dir.path() / "r (4).txt"), "d");
}

TEST(WriteReportFile, TreatsAFolderOfThatNameAsTaken) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "r.txt");
    const ReportWriteResult result = WriteReportFile(dir.path(), "r.txt", "new");
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.path.filename(), "r (2).txt");
}

TEST(WriteReportFile, FailsWithAReasonWhenTheFolderCannotTakeFiles) {
    TempDir dir;
    const auto file = dir.Write("plain-file", "x");
    struct Case {
        const char* name;
        std::filesystem::path folder;
    };
    const Case cases[] = {
        {"folder is a file", file},
        {"folder under a file", file / "sub"},
        {"folder missing", dir.path() / "missing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ReportWriteResult result = WriteReportFile(c.folder, "r.txt", "text");
        EXPECT_FALSE(result.ok());
        EXPECT_TRUE(result.path.empty());
        EXPECT_EQ(result.problem.value().path, c.folder);
    }
    EXPECT_EQ(FolderContents(dir.path()), std::set<std::string>{"plain-file"});
    EXPECT_EQ(ReadFile(file), "x");
}

TEST(ReportWriter, StreamedNumbersFollowTheHeaderAndNoHiddenFileStays) {
    TempDir dir;
    const std::string header = ReportHeader("Quillon v2.1.2.5", "Apple", " 1.5");
    for (const char* expectedName : {"r.txt", "r (2).txt"}) {
        SCOPED_TRACE(expectedName);
        ReportWriter writer(dir.path());
        ASSERT_FALSE(writer.Open().has_value());
        EXPECT_TRUE(writer.Append("356938035643809"));
        EXPECT_TRUE(writer.Append("013040001234563"));
        const ReportWriteResult result = writer.Finish(header, "r.txt");
        ASSERT_TRUE(result.ok());
        EXPECT_EQ(result.path.filename(), expectedName);
        EXPECT_EQ(ReadFile(result.path), header + "\r\n356938035643809\r\n013040001234563\r\n");
        EXPECT_EQ(writer.Error(), 0);
    }
    EXPECT_EQ(FolderContents(dir.path()), (std::set<std::string>{"r.txt", "r (2).txt"}));
}

TEST(ReportWriter, OpenFailsWhereTheFolderTakesNoFiles) {
    TempDir dir;
    ReportWriter writer(dir.path() / "missing");
    const std::optional<Problem> problem = writer.Open();
    ASSERT_TRUE(problem.has_value());
    EXPECT_EQ(problem->kind, ProblemKind::FileNotCreated);
    EXPECT_EQ(problem->path, dir.path() / "missing");
    EXPECT_TRUE(FolderContents(dir.path()).empty());
}

TEST(ReportWriter, AtTheEndTheFallbackFolderTakesWhatTheFirstRefuses) {
    TempDir dir;
    const auto file = dir.Write("plain-file", "x");
    const std::string header = ReportHeader("Quillon v2.1.2.5", "Custom", " 2");
    const std::string numbers = "\r\n356938035643809";
    struct Case {
        const char* name;
        std::filesystem::path folder;
        std::optional<std::filesystem::path> fallback;
        std::filesystem::path writtenIn; // empty: nothing written
        std::optional<ProblemKind> fallbackProblem;
    };
    const Case cases[] = {
        {"first folder takes it", dir.path(), dir.path() / "docs-unused", dir.path(), std::nullopt},
        {"fallback made when missing", file / "sub", dir.path() / "docs" / "Quillon", dir.path() / "docs" / "Quillon",
         std::nullopt},
        {"no fallback asked for", file / "sub", std::nullopt, {}, std::nullopt},
        {"system names no documents folder", file / "sub", std::filesystem::path(), {}, ProblemKind::NoDocumentsFolder},
        {"fallback cannot be made", file / "sub", file / "docs", {}, ProblemKind::FolderNotCreated},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReportWriter writer(c.folder, c.fallback);
        const ReportWriteResult result = writer.Finish(header, "r.txt", numbers);
        if (c.writtenIn.empty()) {
            EXPECT_FALSE(result.ok());
            EXPECT_TRUE(result.path.empty());
            EXPECT_EQ(result.problem.value().path, c.folder);
            ASSERT_EQ(result.fallbackProblem.has_value(), c.fallbackProblem.has_value());
            if (c.fallbackProblem) {
                EXPECT_EQ(result.fallbackProblem->kind, *c.fallbackProblem);
            }
            continue;
        }
        ASSERT_TRUE(result.ok());
        EXPECT_FALSE(result.fallbackProblem.has_value());
        EXPECT_EQ(result.path, c.writtenIn / "r.txt");
        EXPECT_EQ(ReadFile(result.path), header + numbers + "\r\n");
        std::filesystem::remove(result.path);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "docs-unused"));
    EXPECT_EQ(ReadFile(file), "x");
}

// Windows has no read-only folders: the read-only mark of a folder does not stop new files.
#ifndef _WIN32
TEST(WriteReportFile, FailsInAReadOnlyFolder) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes into read-only folders";
    }
    TempDir dir;
    const auto folder = dir.path() / "locked";
    std::filesystem::create_directory(folder);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const ReportWriteResult result = WriteReportFile(folder, "r.txt", "text");
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.problem.value().error, std::errc::permission_denied);
    EXPECT_TRUE(FolderContents(folder).empty());
}
#endif

} // namespace
} // namespace quillon

namespace quillon {
namespace {

// Messages name a folder as the system writes it: on Windows with "\" even where it was given with "/".
TEST(DescribeFolder, UsesTheSystemsSeparators) {
#ifdef _WIN32
    EXPECT_EQ(DescribeFolder(PathFromUtf8("C:/Users/Проверка/Reports")), "\"C:\\Users\\Проверка\\Reports\"");
#else
    EXPECT_EQ(DescribeFolder(PathFromUtf8("/home/Проверка/Reports")), "\"/home/Проверка/Reports\"");
#endif
    EXPECT_EQ(DescribeFolder({}), "\".\"");
}

} // namespace
} // namespace quillon
