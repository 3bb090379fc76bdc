// Windows: paths with characters outside the ANSI code page reach the file system as wide
// names; the executable's own folder. (tests/core/test_files.cpp runs here too.)
#include "devicedb/DeviceTable.h"
#include "present/ProblemText.h"
#include "support/TempDir.h"
#include "system/Console.h"
#include "system/Files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace quillon {
namespace {

using testing::TempDir;

// "Проверка" in UTF-8: no Western code page holds these letters.
constexpr char kCyrillicName[] = "\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB2\xD0\xB5\xD1\x80\xD0\xBA\xD0\xB0";
constexpr wchar_t kCyrillicWide[] = L"\u041F\u0440\u043E\u0432\u0435\u0440\u043A\u0430";

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
    const std::optional<Problem> problem = db.Load();
    ASSERT_FALSE(problem) << ProblemText(*problem);
    EXPECT_EQ(db.Table().LineCount(), 2u);

    std::FILE* file = OpenFile(folder / "tacdex.csv", "rb");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
}

TEST(WindowsProgram, ExecutableDirectoryIsTheFolderOfThisProgram) {
    const std::filesystem::path folder = ExecutableDirectory("elsewhere\\not-this.exe");
    EXPECT_TRUE(std::filesystem::exists(folder / "quillon_windows_tests.exe")) << PathToUtf8(folder);
}

} // namespace
} // namespace quillon
