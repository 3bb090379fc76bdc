#include "devicedb/DeviceTable.h"
#include "present/ProblemText.h"
#include "support/DatabaseShapes.h"
#include "support/TempDir.h"
#include "utf8/Utf8.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <random>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <string>
#include <vector>

namespace quillon {
namespace {

using testing::TempDir;

std::vector<std::string> Lines(const DeviceTable& table) {
    std::vector<std::string> lines;
    for (std::size_t i = 1; i <= table.LineCount(); ++i) {
        lines.emplace_back(table.Line(i));
    }
    return lines;
}

struct SplitCase {
    std::string name;
    std::string bytes;
    std::vector<std::string> lines;
};

class LineSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(LineSplit, SplitsAtEveryKindOfLineEnd) {
    EXPECT_EQ(Lines(DeviceTable::FromBytes(GetParam().bytes)), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(Table, LineSplit,
                         ::testing::Values(SplitCase{"CrLf", "a,b,c\r\nd,e,f\r\nv", {"a,b,c", "d,e,f", "v"}},
                                           SplitCase{"FinalCrLf", "a\r\nv\r\n", {"a", "v"}},
                                           SplitCase{"Lf", "a\nb\nv\n", {"a", "b", "v"}},
                                           SplitCase{"CrOnly", "a\rb\rv", {"a", "b", "v"}},
                                           SplitCase{"Mixed", "a\r\nb\nc\rv", {"a", "b", "c", "v"}},
                                           SplitCase{"EmptyLines", "a\r\n\r\n\nv", {"a", "", "", "v"}},
                                           SplitCase{"LfCrIsTwoEnds", "a\n\rv", {"a", "", "v"}},
                                           SplitCase{"Empty", "", {}}, SplitCase{"OnlyLineEnd", "\r\n", {""}},
                                           SplitCase{"NoLineEnd", "one long line", {"one long line"}},
                                           SplitCase{"NotTrimmed", "  a , b ,c  \r\n", {"  a , b ,c  "}},
                                           SplitCase{"ByteOrderMark",
                                                     "\xEF\xBB\xBF"
                                                     "a\r\nv",
                                                     {"a", "v"}},
                                           SplitCase{"Windows1252",
                                                     "35000000,Soci\xE9t\xE9,T\x80l\r\nv",
                                                     {"35000000,Soci\xC3\xA9t\xC3\xA9,T\xE2\x82\xACl", "v"}},
                                           SplitCase{"ByteOrderMarkThenWindows1252",
                                                     "\xEF\xBB\xBF"
                                                     "35000000,Soci\xE9t\xE9,X\r\nv",
                                                     {"35000000,Soci\xC3\xA9t\xC3\xA9,X", "v"}},
                                           SplitCase{"Utf16LittleEndian",
                                                     std::string("\xFF\xFE"
                                                                 "3\0"
                                                                 "5\0,\0\xDC\0\r\0\n\0v\0",
                                                                 16),
                                                     {"35,\xC3\x9C", "v"}},
                                           SplitCase{"Utf8Kept",
                                                     "35000000,T\xC3\x9C"
                                                     "V,x\r\nv",
                                                     {"35000000,T\xC3\x9CV,x", "v"}},
                                           SplitCase{"Nul", std::string("a\0b\nv", 5), {std::string("a\0b", 3), "v"}}),
                         [](const auto& testInfo) { return testInfo.param.name; });

TEST(DeviceTable, FieldsSplitAtEveryComma) {
    EXPECT_EQ(Field("35000000,Acme,Phone X,extra", 1), "35000000");
    EXPECT_EQ(Field("35000000,Acme,Phone X,extra", 2), "Acme");
    EXPECT_EQ(Field("35000000,Acme,Phone X,extra", 3), "Phone X");
    EXPECT_EQ(Field("35000000,\"Acme, Inc\",X", 3), " Inc\"");
    EXPECT_EQ(Field("35000000, Acme,", 2), " Acme");
    EXPECT_EQ(Field("35000000, Acme,", 3), "");
    EXPECT_EQ(Field("35000000", 2), "");
    EXPECT_EQ(Field("x", 0), "");
    EXPECT_EQ(DeviceEntryText("35000000,Acme,Phone X,extra"), "Acme Phone X");
    EXPECT_EQ(DeviceEntryText("35000000,Acme"), "Acme");
    EXPECT_EQ(DeviceEntryText("35000000"), "35000000");
    EXPECT_EQ(DeviceEntryText("35000000,,"), " ");
}

TEST(DeviceTable, Captions) {
    struct Case {
        std::string bytes;
        std::string version;
        std::size_t count;
    };
    const std::vector<Case> cases = {
        {"11111111,A,a\r\n22222222,B,b\r\n33333333,C,c\r\n99999999,QN-2026.12\r\n", "QN-2026.12", 3},
        {"99999999,QN-2026.12", "QN-2026.12", 0},
        {"", "", 0},
        {"a\r\n99999999,v1.2\r\n", "v1.2", 1},
        {"a\r\n12345678", "", 1},
        {"a\r\n99999999,QN-2026.12-and-more", "QN-2026.12", 1},
        {"a\r\n99999999,\xC3\x9C"
         "123456789xyz",
         "\xC3\x9C"
         "123456789",
         1},
    };
    for (const Case& c : cases) {
        const DatabaseSummary summary = SummariseDatabase(DeviceTable::FromBytes(c.bytes));
        EXPECT_EQ(summary.version, c.version) << c.bytes;
        EXPECT_EQ(summary.deviceCount, c.count) << c.bytes;
    }
}

TEST(DeviceTable, FindDeviceLastMatchWins) {
    const DeviceTable table = DeviceTable::FromBytes("35000000,First,One\r\n"
                                                     "49015420,Acme,Phone X\r\n"
                                                     "4901542\r\n"
                                                     "49015420,Later,Phone Y\r\n"
                                                     "3500000,Seven,Chars\r\n"
                                                     "49015421, Spaced ,\"Quoted\"\r\n"
                                                     "86000000\r\n"
                                                     "55555555,Only maker\r\n"
                                                     "99999999,QN-2026.12\r\n");
    struct Case {
        std::string imei;
        bool found;
        std::string manufacturer;
        std::string model;
        std::size_t line;
    };
    const std::vector<Case> cases = {
        {"490154203237518", true, "Later", "Phone Y", 4},
        {"350000001234567", true, "First", "One", 1},
        {"490154213237518", true, " Spaced ", "\"Quoted\"", 6},
        {"860000001234567", true, "", "", 7},
        {"555555551234567", true, "Only maker", "", 8},
        // The version line is never a device.
        {"999999991234567", false, "", "", 0},
        // A key shorter than eight characters only equals a whole line of that length.
        {"4901542", true, "", "", 3},
        {"3500000", false, "", "", 0},
        {"490154", false, "", "", 0},
        {"123456781234567", false, "", "", 0},
        {"4901542O", false, "", "", 0},
    };
    for (const Case& c : cases) {
        const DeviceMatch match = FindDevice(table, c.imei);
        EXPECT_EQ(match.found, c.found) << c.imei;
        EXPECT_EQ(match.manufacturer, c.manufacturer) << c.imei;
        EXPECT_EQ(match.model, c.model) << c.imei;
        EXPECT_EQ(match.lineNumber, c.line) << c.imei;
    }
}

TEST(DeviceDatabase, MissingAtStartUp) {
    TempDir dir;
    DeviceDatabase database(dir.path() / "tacdex.csv");
    const std::optional<Problem> problem = database.Load();
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->kind, ProblemKind::DatabaseMissing);
    EXPECT_EQ(problem->path, dir.path() / "tacdex.csv");
    EXPECT_EQ(database.Table().LineCount(), 0u);
}

TEST(DeviceDatabase, ReloadSeesAChangedFileAndKeepsTheLastGoodReadWhenItVanishes) {
    TempDir dir;
    const auto file = dir.Write("tacdex.csv", "11111111,A,a\r\n99999999,QN-2026.12\r\n");
    DeviceDatabase database(file);
    ASSERT_FALSE(database.Load());
    EXPECT_FALSE(FindDevice(database.Table(), "22222222").found);

    dir.Write("tacdex.csv", "11111111,A,a\r\n22222222,B,b\r\n99999999,QN-2026.12\r\n");
    ASSERT_FALSE(database.Reload());
    EXPECT_EQ(FindDevice(database.Table(), "22222222").manufacturer, "B");
    EXPECT_EQ(database.Table().LineCount(), 3u);

    std::filesystem::remove(file);
    EXPECT_EQ(database.Reload().value().kind, ProblemKind::DatabaseMissing);
    EXPECT_EQ(database.Table().LineCount(), 3u);
    EXPECT_EQ(FindDevice(database.Table(), "22222222").manufacturer, "B");

    std::filesystem::create_directory(file);
    EXPECT_EQ(database.Reload().value().kind, ProblemKind::DatabaseNotAFile);
    EXPECT_EQ(database.Table().LineCount(), 3u);
}

// The limit holds for what was read, not only for the size the file system reported: a /proc file
// says it is empty and then gives a few kilobytes.
TEST(DeviceDatabase, RefusesAFileThatReadsLongerThanItsSizeSaid) {
    const std::filesystem::path maps = "/proc/self/maps";
    std::error_code error;
    if (!std::filesystem::is_regular_file(maps, error) || std::filesystem::file_size(maps, error) != 0) {
        GTEST_SKIP() << "no /proc file that understates its size here";
    }
    DeviceTable table;
    EXPECT_EQ(ReadDeviceTable(maps, table, TableLookup::Indexed, 100).value().kind, ProblemKind::DatabaseTooLarge);
    EXPECT_EQ(table.LineCount(), 0u);
    EXPECT_FALSE(ReadDeviceTable(maps, table, TableLookup::Indexed, 1u << 20));
}

TEST(DeviceDatabase, RefusesAFileOver64MiB) {
    TempDir dir;
    const auto file = dir.path() / "tacdex.csv";
    {
        std::ofstream out(file, std::ios::binary);
        const std::string line = "11111111,A,a\r\n";
        std::string block;
        while (block.size() < (1u << 20)) {
            block += line;
        }
        for (std::uintmax_t written = 0; written <= kMaxDatabaseBytes; written += block.size()) {
            out << block;
        }
    }
    DeviceDatabase database(file);
    const std::optional<Problem> problem = database.Load();
    ASSERT_TRUE(problem);
    EXPECT_NE(ProblemText(*problem).find("larger than 64 MiB"), std::string::npos);
    EXPECT_EQ(database.Table().LineCount(), 0u);
}

TEST(DeviceDatabase, BinaryGarbageLoadsWithoutFailing) {
    std::string bytes;
    for (int i = 0; i < 4096; ++i) {
        bytes.push_back(static_cast<char>((i * 7919) & 0xFF));
    }
    const DeviceTable table = DeviceTable::FromBytes(bytes);
    EXPECT_GT(table.LineCount(), 0u);
    const DeviceMatch match = FindDevice(table, "\x01\x02");
    EXPECT_FALSE(match.found && !table.Line(match.lineNumber).starts_with("\x01\x02"));
}

// Random tables of few distinct codes (so that codes repeat), short lines, lines of multi-byte
// characters and every line-end style: the index, a scan and a plain reference agree on every key.
TEST(DeviceTable, IndexAndScanAgreeOnRandomTables) {
    const std::vector<std::string> pieces = {
        "3500000", "35000001", "350000012", "\xC3\x9C\xC3\x9C", "4901542", "49015420", "", ",", "x,y,z", "99999999"};
    const std::vector<std::string> ends = {"\r\n", "\n", "\r"};
    std::mt19937 random(20261207);
    for (int round = 0; round < 200; ++round) {
        std::string bytes;
        const int lines = 1 + static_cast<int>(random() % 60);
        for (int i = 0; i < lines; ++i) {
            bytes += pieces[random() % pieces.size()] + pieces[random() % pieces.size()];
            bytes += ends[random() % ends.size()];
        }
        const DeviceTable indexed = DeviceTable::FromBytes(bytes, TableLookup::Indexed);
        const DeviceTable scanned = DeviceTable::FromBytes(bytes, TableLookup::Scan);
        ASSERT_TRUE(indexed.HasIndex());
        ASSERT_FALSE(scanned.HasIndex());
        for (const std::string& a : pieces) {
            for (const std::string& b : pieces) {
                const std::string key = a + b;
                // Reference: the last device line (never the version line) whose first eight
                // characters, or whole self when shorter, equal the key's first eight.
                const std::string_view wanted = Utf8Left(key, 8);
                std::size_t expected = 0;
                for (std::size_t n = 1; n < indexed.LineCount(); ++n) {
                    if (Utf8Left(indexed.Line(n), 8) == wanted) {
                        expected = n;
                    }
                }
                ASSERT_EQ(indexed.FindLine(key), expected) << bytes << " key " << key;
                ASSERT_EQ(scanned.FindLine(key), expected) << bytes << " key " << key;
                ASSERT_EQ(indexed.ScanForLine(key), expected);
            }
        }
    }
}

// Codes chosen to pile onto one run of slots under a fixed hash load about as fast as random
// ones, and every one of them is found. The bound is loose, for busy machines and sanitizers; the
// benchmark gives the figures.
TEST(DeviceTable, CodesAimedAtTheIndexLoadAsFastAsRandomOnes) {
    constexpr std::size_t kDevices = 200'000;
    const std::string aimed = test::AimedCodesDatabase(kDevices);
    const std::string random = test::RandomCodesDatabase(kDevices);
    auto fastestLoad = [](const std::string& bytes) {
        auto best = std::chrono::steady_clock::duration::max();
        for (int round = 0; round < 3; ++round) {
            const auto start = std::chrono::steady_clock::now();
            const DeviceTable table = DeviceTable::FromBytes(bytes);
            best = std::min(best, std::chrono::steady_clock::now() - start);
            EXPECT_EQ(table.LineCount(), kDevices + 1);
        }
        return best;
    };
    const auto aimedTime = fastestLoad(aimed);
    const auto randomTime = fastestLoad(random);
    EXPECT_LT(aimedTime, randomTime * 10)
        << "aimed " << std::chrono::duration<double>(aimedTime).count() << " s against random "
        << std::chrono::duration<double>(randomTime).count() << " s";
    const DeviceTable table = DeviceTable::FromBytes(aimed);
    for (std::size_t number = 1; number <= kDevices; number += 997) {
        ASSERT_EQ(table.FindLine(table.Line(number)), number);
    }
    EXPECT_EQ(table.FindLine("00000000"), 0u);
}

TEST(DeviceTable, VersionLineIsNeverADevice) {
    for (const std::string bytes :
         {"99999999,OSMO-2016A", "11111111,A,a\r\n99999999,OSMO-2016A\r\n", "99999999,A,a\n99999999,OSMO-2016A\n"}) {
        for (TableLookup lookup : {TableLookup::Indexed, TableLookup::Scan}) {
            const DeviceTable table = DeviceTable::FromBytes(bytes, lookup);
            const DeviceMatch match = FindDevice(table, "999999990000008");
            // Only a device line with the same code is found, never the version line itself.
            EXPECT_EQ(match.found, bytes.starts_with("99999999,A")) << bytes;
            EXPECT_NE(match.manufacturer, "OSMO-2016A") << bytes;
        }
    }
}

// A copy shares the text: the model list's start-up copy stays as it was when the database is
// read again.
TEST(DeviceDatabase, ACopyOfTheTableOutlivesARead) {
    TempDir dir;
    const auto file = dir.Write("tacdex.csv", "11111111,A,a\r\n99999999,QN-2026.12\r\n");
    DeviceDatabase database(file);
    ASSERT_FALSE(database.Load());
    const DeviceTable startUp = database.Table();
    dir.Write("tacdex.csv", "22222222,B,b\r\n33333333,C,c\r\n99999999,QN-2026.12\r\n");
    ASSERT_FALSE(database.Reload());
    EXPECT_EQ(startUp.LineCount(), 2u);
    EXPECT_EQ(startUp.Line(1), "11111111,A,a");
    EXPECT_EQ(database.Table().Line(1), "22222222,B,b");
}

// Shapes that would take far more memory than the file: refused with the reason, the last good read kept.
TEST(DeviceDatabase, RefusesShapesThatCannotBeHeld) {
    struct Case {
        std::string name;
        std::string bytes;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"line ends", std::string(kMaxDatabaseLines + 1, '\n'), "more than 2000000 lines"},
        {"one-character lines",
         [] {
             std::string s;
             for (std::size_t i = 0; i <= kMaxDatabaseLines; ++i) {
                 s += "a\n";
             }
             return s;
         }(),
         "more than 2000000 lines"},
        {"Windows-1252 growing past the limit", std::string(kMaxDatabaseBytes / 3 + 1, '\x80'), "Windows-1252"},
        {"nothing", "", "is empty"},
        {"only a byte order mark", "\xEF\xBB\xBF", "is empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const auto file = dir.Write("tacdex.csv", "11111111,A,a\r\n99999999,QN-2026.12\r\n");
        DeviceDatabase database(file);
        ASSERT_FALSE(database.Load());
        dir.Write("tacdex.csv", c.bytes);
        const std::optional<Problem> problem = database.Reload();
        ASSERT_TRUE(problem);
        EXPECT_NE(ProblemText(*problem).find(c.reason), std::string::npos) << ProblemText(*problem);
        EXPECT_EQ(FindDevice(database.Table(), "111111110000000").manufacturer, "A");
        EXPECT_TRUE(DeviceDatabase(file).Load());
    }
    // Exactly at the line limit, and 0x80 bytes that stay within it once converted, still load.
    TempDir dir;
    DeviceDatabase atLimit(dir.Write("tacdex.csv", std::string(kMaxDatabaseLines, '\n')));
    EXPECT_FALSE(atLimit.Load());
    EXPECT_EQ(atLimit.Table().LineCount(), kMaxDatabaseLines);
    DeviceDatabase converted(dir.Write("tacdex.csv", std::string(kMaxDatabaseBytes / 3, '\x80')));
    EXPECT_FALSE(converted.Load());
    EXPECT_EQ(converted.Table().Line(1).size(), kMaxDatabaseBytes / 3 * 3);
}

#ifndef _WIN32 // symbolic links and folder permissions of this kind are POSIX
TEST(DeviceDatabase, ASymlinkLoopIsReportedAsSuch) {
    TempDir dir;
    std::filesystem::create_symlink(dir.path() / "b.csv", dir.path() / "a.csv");
    std::filesystem::create_symlink(dir.path() / "a.csv", dir.path() / "b.csv");
    DeviceDatabase loop(dir.path() / "a.csv");
    EXPECT_EQ(loop.Load().value().kind, ProblemKind::DatabaseSymlinkLoop);
}
#endif

#ifndef _WIN32 // POSIX folder permissions
TEST(DeviceDatabase, AFolderThatCannotBeSearchedIsReportedAsSuch) {
    TempDir dir;
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not stop root";
    }
    const auto folder = dir.path() / "locked";
    std::filesystem::create_directory(folder);
    dir.Write("locked/tacdex.csv", "11111111,A,a\r\n99999999,QN-2026.12\r\n");
    std::filesystem::permissions(folder, std::filesystem::perms::none);
    const std::optional<Problem> locked = DeviceDatabase(folder / "tacdex.csv").Load();
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
    EXPECT_EQ(locked.value().kind, ProblemKind::DatabaseNotSearchable);
}
#endif

// Every failed re-read keeps the last good table; only the first of a run of failures is new.
TEST(DeviceDatabase, FailedReReadsAreCountedUntilOneSucceeds) {
    TempDir dir;
    const auto file = dir.Write("tacdex.csv", "11111111,A,a\r\n99999999,QN-2026.12\r\n");
    DeviceDatabase database(file);
    ASSERT_FALSE(database.Load());
    std::filesystem::remove(file);
    EXPECT_TRUE(database.Reload());
    EXPECT_FALSE(database.FailureAlreadyReported());
    EXPECT_TRUE(database.Reload());
    EXPECT_TRUE(database.FailureAlreadyReported());
    dir.Write("tacdex.csv", "11111111,A,a\r\n99999999,QN-2026.12\r\n");
    EXPECT_FALSE(database.Reload());
    std::filesystem::remove(file);
    EXPECT_TRUE(database.Reload());
    EXPECT_FALSE(database.FailureAlreadyReported());
}

} // namespace
} // namespace quillon
