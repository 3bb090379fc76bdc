// The import run of both programs: two steps, settings changed between them, imports into one
// file taking turns, and the progress and cancel of a caller on another thread.
#include "devicedb/ImportRun.h"
#include "present/ImportText.h"
#include "support/TempDir.h"
#include "support/UserData.h"
#include "system/Clock.h"
#include "system/FileWriter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace quillon {
namespace {

using testing::ReadFile;
using testing::TempDir;

class ImportRunTest : public ::testing::Test {
protected:
    ImportRequest Request(std::vector<std::string> exports) {
        ImportRequest request;
        for (std::size_t i = 0; i < exports.size(); ++i) {
            request.sources.push_back(
                {m_exports.Write("export" + std::to_string(m_exported++) + ".csv", exports[i]), {}});
        }
        request.programDirectory = m_program.path();
        request.versionText = "RUN";
        return request;
    }
    std::filesystem::path UserDatabase() const { return testing::UserDatabaseIn(m_user.path()); }

    int m_exported = 0;
    TempDir m_program;
    TempDir m_user;
    TempDir m_exports;
    testing::UserDataFolder m_userFolder{m_user.path()};
    std::filesystem::path m_programDatabase = m_program.Write("tacdex.csv", "35000000,Base,Zero\r\n99999999,BASE\r\n");
    SettableClock m_clock;
};

// Nothing is written before the second step; a source's settings changed between the steps
// apply to that source alone when it is read again.
TEST_F(ImportRunTest, SettingsChangedBetweenTheStepsApplyToTheirSourceOnly) {
    ImportRun run(Request({"tac,brand,model\n1234567,Short,Code\n", "tac,name,name\n35000002,Osmo,Com\n"}), m_clock);
    const ImportFindings& first = run.Read();
    ASSERT_TRUE(first.ok());
    EXPECT_EQ(first.devices, 1u);
    EXPECT_EQ(first.sources[0].read.skipped[static_cast<std::size_t>(SkipReason::ShortCode)], 1u);
    EXPECT_FALSE(std::filesystem::exists(UserDatabase()));

    ImportSettings padded;
    padded.padCodes = true;
    run.SetSettings(0, padded);
    const ImportFindings& again = run.Read();
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(again.devices, 2u);
    EXPECT_EQ(again.sources[1].read.layout, ImportLayout::Osmocom);
    const ImportResult result = run.Write();
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.written, UserDatabase());
    EXPECT_EQ(ReadFile(UserDatabase()), "01234567,Short,Code\r\n35000002,Osmo,Com\r\n35000000,Base,Zero\r\n"
                                        "99999999,RUN\r\n");
}

// Two imports into the user's own file at once, none there before: both lists survive, since the
// later one reads the earlier one's result as its base under the lock.
TEST_F(ImportRunTest, TwoImportsAtOnceKeepBothLists) {
    for (int pair = 0; pair < 5; ++pair) {
        std::filesystem::remove(UserDatabase());
        ImportRun a(Request({"tac,brand,model\n35000011,A,One\n"}), m_clock);
        ImportRun b(Request({"tac,brand,model\n35000022,B,Two\n"}), m_clock);
        ASSERT_TRUE(a.Read().ok());
        ASSERT_TRUE(b.Read().ok());
        ImportResult first, second;
        std::thread other([&] { second = b.Write(); });
        first = a.Write();
        other.join();
        ASSERT_TRUE(first.ok() && second.ok());
        const std::string merged = ReadFile(UserDatabase());
        EXPECT_NE(merged.find("35000011,A,One"), std::string::npos) << merged;
        EXPECT_NE(merged.find("35000022,B,Two"), std::string::npos) << merged;
        EXPECT_NE(merged.find("35000000,Base,Zero"), std::string::npos) << merged;
    }
}

// A lock held elsewhere past the run's patience: nothing is written, and the words name the lock.
TEST_F(ImportRunTest, ALockNotTakenInTimeWritesNothing) {
    std::filesystem::create_directories(UserDatabase().parent_path());
    std::unique_ptr<FileLock> held;
    ASSERT_FALSE(
        FileLock::Take(LockFileFor(UserDatabase()), TargetLinks::Refuse, std::chrono::milliseconds(0), {}, held));
    ImportRequest request = Request({"tac,brand,model\n35000011,A,One\n"});
    request.lockTimeout = std::chrono::milliseconds(100);
    bool told = false;
    request.onLockWait = [&told](const std::filesystem::path&) { told = true; };
    ImportRun run(std::move(request), m_clock);
    ASSERT_TRUE(run.Read().ok());
    // The lock belongs to the open file, so a second one conflicts within one process too.
    const std::optional<ImportResult> result = run.Write();
    ASSERT_FALSE(result->ok());
    EXPECT_TRUE(told);
    EXPECT_EQ(result->failure->stop, ImportStop::NotWritten);
    EXPECT_NE(ImportFailureText(*result->failure, run.Findings(), &*result, ImportAudience::CommandLine)
                  .find(".tacdex.csv.lock"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(UserDatabase()));
}

// Progress counts every byte read of the known total; a cancel stops the reading.
TEST_F(ImportRunTest, ProgressAndCancel) {
    std::string rows = "tac,brand,model\n";
    for (int i = 0; i < 100000; ++i) {
        rows += std::to_string(35000000 + i) + ",Maker,Model\n";
    }
    ImportRequest request = Request({rows});
    std::uint64_t lastRead = 0, lastTotal = 0;
    std::atomic<bool> cancel{false};
    request.progress = [&](std::uint64_t read, std::uint64_t total) {
        EXPECT_GE(read, lastRead);
        lastRead = read;
        lastTotal = total;
        cancel = read > rows.size() + 1; // during the second pass
    };
    request.cancel = &cancel;
    ImportRun run(std::move(request), m_clock);
    const ImportFindings& findings = run.Read();
    EXPECT_EQ(lastTotal, 2 * rows.size());
    ASSERT_TRUE(findings.failure);
    EXPECT_EQ(findings.failure->stop, ImportStop::Cancelled);
    EXPECT_FALSE(run.Write().ok());
    EXPECT_FALSE(std::filesystem::exists(UserDatabase()));
}

// A cancel ends the wait for a lock that another import holds, in the writing step and in moving
// the user's file aside: nothing is written or moved.
TEST_F(ImportRunTest, ACancelEndsTheWaitForTheLock) {
    std::filesystem::create_directories(UserDatabase().parent_path());
    const std::string kept = "35000011,Kept,One\r\n99999999,KEPT\r\n";
    std::ofstream(UserDatabase(), std::ios::binary) << kept;
    std::unique_ptr<FileLock> held;
    ASSERT_FALSE(
        FileLock::Take(LockFileFor(UserDatabase()), TargetLinks::Refuse, std::chrono::milliseconds(0), {}, held));
    std::atomic<bool> cancel{false};
    const auto cancelOnWait = [&cancel](const std::filesystem::path&) { cancel = true; };

    ImportRequest request = Request({"tac,brand,model\n35000022,B,Two\n"});
    request.cancel = &cancel;
    request.onLockWait = cancelOnWait;
    ImportRun run(std::move(request), m_clock);
    ASSERT_TRUE(run.Read().ok());
    const ImportResult result = run.Write();
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.failure->stop, ImportStop::Cancelled);

    cancel = false;
    const SetAsideResult aside = SetUserDatabaseAside({UserDatabase(), &cancel, cancelOnWait}, m_clock);
    EXPECT_EQ(aside.stop, SetAsideStop::Cancelled);
    EXPECT_TRUE(aside.waited);
    EXPECT_EQ(ReadFile(UserDatabase()), kept);
}

// The user's file moves aside in its folder under a name of the date and time, never over another
// file; with no file there is nothing to move.
TEST_F(ImportRunTest, TheUsersFileMovesAsideUnderAFreeName) {
    const std::filesystem::path folder = UserDatabase().parent_path();
    std::filesystem::create_directories(folder);
    const std::string taken = "taken\r\n";
    std::ofstream(folder / "tacdex-2026-01-02_030405.csv", std::ios::binary) << taken;
    for (const char* expected : {"tacdex-2026-01-02_030405-2.csv", "tacdex-2026-01-02_030405-3.csv"}) {
        const std::string content = std::string("35000011,Own,") + expected + "\r\n99999999,OWN\r\n";
        std::ofstream(UserDatabase(), std::ios::binary) << content;
        const SetAsideResult aside = SetUserDatabaseAside({}, m_clock);
        ASSERT_TRUE(aside.ok());
        EXPECT_EQ(aside.movedTo, folder / expected);
        EXPECT_EQ(ReadFile(aside.movedTo), content);
        EXPECT_FALSE(std::filesystem::exists(UserDatabase()));
    }
    EXPECT_EQ(ReadFile(folder / "tacdex-2026-01-02_030405.csv"), taken);
    EXPECT_EQ(SetUserDatabaseAside({}, m_clock).stop, SetAsideStop::NoUserFile);
    EXPECT_EQ(SetUserDatabaseAside({std::filesystem::path()}, m_clock).stop, SetAsideStop::NoUserFolder);
}

// The columns first offered for a first line that no layout recognised.
TEST(SuggestColumns, FromTheFirstLine) {
    struct Case {
        std::vector<std::string> fields;
        std::size_t code;
        std::optional<std::size_t> manufacturer, model;
        bool header;
    };
    const Case cases[] = {
        {{"IMEI prefix", "Maker", "Device"}, 0, 1, 2, true}, {{"Acme", " 35000011 ", "Phone", "notes"}, 1, 0, 2, false},
        {{"3500001", "x"}, 0, 1, std::nullopt, true},        {{"35000011"}, 0, std::nullopt, std::nullopt, false},
        {{}, 0, std::nullopt, std::nullopt, true},
    };
    for (const Case& c : cases) {
        const ColumnSuggestion suggestion = SuggestColumns(c.fields);
        EXPECT_EQ(suggestion.code, c.code);
        EXPECT_EQ(suggestion.manufacturer, c.manufacturer);
        EXPECT_EQ(suggestion.model, c.model);
        EXPECT_EQ(suggestion.firstLineIsHeader, c.header);
    }
}

} // namespace
} // namespace quillon
