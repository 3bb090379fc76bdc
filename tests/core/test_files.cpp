// Paths as UTF-8 text, the rename that never replaces, and the report named without hard links.
#include "generation/Report.h"
#include "support/TempDir.h"
#include "system/Files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

namespace quillon {
namespace {

using testing::ReadFile;
using testing::TempDir;

// "Проверка" in UTF-8.
constexpr char kCyrillicName[] = "\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB2\xD0\xB5\xD1\x80\xD0\xBA\xD0\xB0";

std::set<std::string> FolderContents(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(PathToUtf8(entry.path().filename()));
    }
    return names;
}

void RefuseHardLink(const std::filesystem::path&, const std::filesystem::path&, std::error_code& error) {
    error = std::make_error_code(std::errc::operation_not_permitted); // what FAT32 answers
}

TEST(Utf8Paths, TextSurvivesTheRoundTrip) {
    for (const std::string& text : {std::string(kCyrillicName),
                                    std::string("Gr\xC3\xBC\xC3\x9F"
                                                "e.csv"),
                                    std::string("a b/c.txt"), std::string()}) {
        EXPECT_EQ(PathToUtf8(PathFromUtf8(text)), text);
    }
}

TEST(Utf8Paths, FileInAFolderOutsideTheCodePageOpens) {
    TempDir dir;
    const auto folder = dir.path() / PathFromUtf8(kCyrillicName);
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    std::FILE* created = OpenFile(folder / PathFromUtf8(std::string(kCyrillicName) + ".csv"), "wb");
    ASSERT_NE(created, nullptr);
    std::fputs("x", created);
    std::fclose(created);
    EXPECT_EQ(FolderContents(folder), std::set<std::string>{std::string(kCyrillicName) + ".csv"});
    EXPECT_EQ(OpenFile(folder / "missing.csv", "rb"), nullptr);
}

TEST(RenameWithoutReplacing, KeepsAnExistingFileAndRenamesToAFreeName) {
    TempDir dir;
    const auto from = dir.Write("from.tmp", "new");
    const auto taken = dir.Write("taken.txt", "old");
    std::error_code error;
    EXPECT_EQ(RenameWithoutReplacing(from, taken, error), RenameOutcome::Taken) << error.message();
    EXPECT_EQ(ReadFile(taken), "old");
    EXPECT_EQ(ReadFile(from), "new");

    const auto free = dir.path() / "free.txt";
    EXPECT_EQ(RenameWithoutReplacing(from, free, error), RenameOutcome::Renamed) << error.message();
    EXPECT_EQ(ReadFile(free), "new");
    EXPECT_FALSE(std::filesystem::exists(from));

    EXPECT_EQ(RenameWithoutReplacing(dir.path() / "gone.tmp", dir.path() / "other.txt", error), RenameOutcome::Failed);
    EXPECT_TRUE(error);
}

// As on a FAT32 or exFAT stick: the link step fails, yet collisions still get " (2)", " (3)" and
// no existing report is replaced.
TEST(WriteReportFile, NamesTheReportWhenHardLinksAreRefused) {
    TempDir dir;
    const auto folder = dir.path() / PathFromUtf8(kCyrillicName);
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    const char* texts[] = {"first", "second", "third"};
    const char* names[] = {"r.txt", "r (2).txt", "r (3).txt"};
    for (int i = 0; i < 3; ++i) {
        const ReportWriteResult written = WriteReportFile(folder, "r.txt", texts[i], RefuseHardLink);
        ASSERT_TRUE(written.ok());
        EXPECT_EQ(PathToUtf8(written.path.filename()), names[i]);
        EXPECT_EQ(PathToUtf8(written.path.parent_path().filename()), kCyrillicName);
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ReadFile(folder / names[i]), texts[i]);
    }
    EXPECT_EQ(FolderContents(folder), (std::set<std::string>{"r.txt", "r (2).txt", "r (3).txt"}));
}

} // namespace
} // namespace quillon
