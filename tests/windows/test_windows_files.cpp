// Windows: paths with characters outside the ANSI code page, the report named without hard links,
// the executable's own folder.
#include "devicedb/DeviceTable.h"
#include "generation/Report.h"
#include "support/TempDir.h"
#include "system/Console.h"
#include "system/Files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

namespace quillon {
namespace {

using testing::ReadFile;
using testing::TempDir;

// "Проверка" in UTF-8: no Western code page holds these letters.
constexpr char kCyrillicName[] = "\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB2\xD0\xB5\xD1\x80\xD0\xBA\xD0\xB0";
constexpr wchar_t kCyrillicWide[] = L"\u041F\u0440\u043E\u0432\u0435\u0440\u043A\u0430";

std::set<std::wstring> FolderContents(const std::filesystem::path& folder) {
    std::set<std::wstring> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().wstring());
    }
    return names;
}

void RefuseHardLink(const std::filesystem::path&, const std::filesystem::path&, std::error_code& error) {
    error = std::make_error_code(std::errc::operation_not_permitted); // what FAT32 answers
}

TEST(WindowsPaths, Utf8TextNamesTheFileWithEveryCharacter) {
    const std::filesystem::path path = PathFromUtf8(std::string("C:\\") + kCyrillicName + "\\tacdex.csv");
    EXPECT_EQ(path.parent_path().filename().wstring(), kCyrillicWide);
    EXPECT_EQ(PathToUtf8(path), std::string("C:\\") + kCyrillicName + "\\tacdex.csv");
}

TEST(WindowsPaths, DatabaseInAFolderOutsideTheCodePageLoads) {
    TempDir dir;
    const auto folder = dir.path() / PathFromUtf8(kCyrillicName);
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    const std::string database = "35332510,Maker,Model\r\n12345678,2026-12-01\r\n";
    std::ofstream(folder / "tacdex.csv", std::ios::binary) << database;

    // The path as the command line hands it over: UTF-8 text.
    DeviceDatabase db(PathFromUtf8(PathToUtf8(folder / "tacdex.csv")));
    const DatabaseReadResult read = db.Load();
    ASSERT_TRUE(read.ok()) << read.message;
    EXPECT_EQ(db.Table().LineCount(), 2u);

    std::FILE* file = OpenFile(folder / "tacdex.csv", "rb");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
}

TEST(WindowsReport, NamedByRenameWhenHardLinksAreRefused) {
    TempDir dir;
    const auto folder = dir.path() / PathFromUtf8(kCyrillicName);
    ASSERT_TRUE(std::filesystem::create_directory(folder));

    const ReportWriteResult first = WriteReportFile(folder, "r.txt", "first", RefuseHardLink);
    ASSERT_TRUE(first.ok()) << first.error;
    const ReportWriteResult second = WriteReportFile(folder, "r.txt", "second", RefuseHardLink);
    ASSERT_TRUE(second.ok()) << second.error;
    const ReportWriteResult third = WriteReportFile(folder, "r.txt", "third", RefuseHardLink);
    ASSERT_TRUE(third.ok()) << third.error;

    EXPECT_EQ(first.path.filename().wstring(), L"r.txt");
    EXPECT_EQ(second.path.filename().wstring(), L"r (2).txt");
    EXPECT_EQ(third.path.filename().wstring(), L"r (3).txt");
    EXPECT_EQ(second.path.parent_path().filename().wstring(), kCyrillicWide);
    // Nothing replaced, no temporary file left behind.
    EXPECT_EQ(ReadFile(folder / "r.txt"), "first");
    EXPECT_EQ(ReadFile(folder / "r (2).txt"), "second");
    EXPECT_EQ(ReadFile(folder / "r (3).txt"), "third");
    EXPECT_EQ(FolderContents(folder), (std::set<std::wstring>{L"r.txt", L"r (2).txt", L"r (3).txt"}));
}

TEST(WindowsReport, RenameNeverReplacesAnExistingFile) {
    TempDir dir;
    const auto from = dir.Write("from.tmp", "new");
    const auto to = dir.Write("taken.txt", "old");
    std::error_code error;
    EXPECT_EQ(RenameWithoutReplacing(from, to, error), RenameOutcome::Taken) << error.message();
    EXPECT_EQ(ReadFile(to), "old");
    EXPECT_EQ(ReadFile(from), "new");

    const auto free = dir.path() / PathFromUtf8(std::string(kCyrillicName) + ".txt");
    EXPECT_EQ(RenameWithoutReplacing(from, free, error), RenameOutcome::Renamed) << error.message();
    EXPECT_EQ(ReadFile(free), "new");
    EXPECT_FALSE(std::filesystem::exists(from));
}

TEST(WindowsProgram, ExecutableDirectoryIsTheFolderOfThisProgram) {
    const std::filesystem::path folder = ExecutableDirectory("elsewhere\\not-this.exe");
    EXPECT_TRUE(std::filesystem::exists(folder / "quillon_windows_tests.exe")) << PathToUtf8(folder);
}

} // namespace
} // namespace quillon
