#include "update/UpdateCheck.h"

#include "present/ProblemText.h"
#include "present/UpdateText.h"

#include "support/FakeFetcher.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <ostream>

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quillon {
namespace {

using testing::ReadFile;
using testing::TempDir;
using Messages = std::vector<std::string>;

const std::string kAvailable = "An update is available!";
const std::string kLatest = "You have the latest version.";
const std::string kFailed = "The update check could not be completed: ";
const std::string kFollows = " The answer of an earlier check follows.";

class UpdateCheckTest : public ::testing::Test {
protected:
    UpdateCheckTest() {
        settings.address = "http://versions.test/ver";
        settings.programFolder = program.path();
        settings.ownVersion = "2125";
    }

    UpdateAnswer Check(const std::optional<std::string>& earlier = std::nullopt) {
        return CheckForUpdate(fetcher, settings, earlier, stop);
    }
    std::filesystem::path VersionFile() const { return program.path() / "update.dat"; }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(program.path())) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    TempDir program;
    FakeFetcher fetcher;
    UpdateCheckSettings settings;
    std::atomic<bool> stop{false};
};

TEST(FetchLimitsTest, BuiltInLimits) {
    const FetchLimits limits;
    EXPECT_EQ(limits.timeLimit, std::chrono::seconds(10));
    EXPECT_EQ(limits.maxBytes, 64U * 1024U);
    EXPECT_EQ(limits.maxRedirects, 5);
    EXPECT_EQ(UpdateCheckSettings().address, identity::VersionFileAddress());
}

struct AnswerCase {
    const char* name;
    std::string body;
    Messages messages;
    std::string publishedLine;
};
void PrintTo(const AnswerCase& row, std::ostream* out) {
    *out << row.name;
}

class UpdateAnswerTest : public UpdateCheckTest, public ::testing::WithParamInterface<AnswerCase> {};

// Today's answer alone decides, whatever an earlier check left.
TEST_P(UpdateAnswerTest, KeepsTheFileAndSaysWhatItHolds) {
    const AnswerCase& c = GetParam();
    fetcher.SetCanned(FetchResult{c.body, {}});
    program.Write("update.dat", "2124");
    const UpdateAnswer answer = Check("2126");
    EXPECT_EQ(UpdateMessages(answer), c.messages);
    EXPECT_EQ(answer.publishedLine, c.publishedLine);
    EXPECT_EQ(ReadFile(VersionFile()), c.body);
    EXPECT_EQ(Files(), std::vector<std::string>{"update.dat"}) << "no temporary file is left";
    ASSERT_EQ(fetcher.Calls().size(), 1U);
    EXPECT_EQ(fetcher.Calls()[0].address, "http://versions.test/ver");
}

INSTANTIATE_TEST_SUITE_P(
    Table, UpdateAnswerTest,
    ::testing::Values(
        AnswerCase{"Newer", "2126", {kAvailable}, "2126"}, AnswerCase{"Equal", "2125", {kLatest}, "2125"},
        AnswerCase{"Older", "2124", {}, "2124"}, AnswerCase{"BlanksAround", " 2125 ", {kLatest}, " 2125 "},
        AnswerCase{"MoreLines", "2126\r\nmore\r\n", {kAvailable}, "2126"},
        AnswerCase{"Beyond16Bits", "40000\n", {kAvailable}, "40000"},
        AnswerCase{"Empty", "", {"The published version number could not be read: the version file is empty."}, ""},
        AnswerCase{"ErrorPage",
                   "<html>\r\n2126",
                   {"The published version number could not be read: its first line is not a whole "
                    "number."},
                   "<html>"}),
    [](const ::testing::TestParamInfo<AnswerCase>& row) { return row.param.name; });

struct FailureCase {
    const char* name;
    std::optional<std::string> keptFile; // update.dat before the check
    std::optional<std::string> earlier;  // the line read before in this run
    Messages messages;
};
void PrintTo(const FailureCase& row, std::ostream* out) {
    *out << row.name;
}

class FailedCheckTest : public UpdateCheckTest, public ::testing::WithParamInterface<FailureCase> {};

// A failed check says why, then repeats the answer of an earlier one: the kept file first, else what
// was read before in this run.
TEST_P(FailedCheckTest, SaysWhyThenRepeatsTheEarlierAnswer) {
    const FailureCase& c = GetParam();
    if (c.keptFile) {
        program.Write("update.dat", *c.keptFile);
    }
    fetcher.SetCanned(FetchResult{{}, Problem{ProblemKind::FetchNoConnection}});
    const UpdateAnswer answer = Check(c.earlier);
    EXPECT_EQ(answer.outcome, UpdateAnswer::Outcome::Failed);
    EXPECT_EQ(UpdateMessages(answer), c.messages);
    if (c.keptFile) {
        EXPECT_EQ(ReadFile(VersionFile()), *c.keptFile);
    } else {
        EXPECT_FALSE(std::filesystem::exists(VersionFile()));
    }
}

const std::string kNoConnection = kFailed + "no connection to the server could be made.";
INSTANTIATE_TEST_SUITE_P(
    Table, FailedCheckTest,
    ::testing::Values(FailureCase{"NothingEverRead", std::nullopt, std::nullopt, {kNoConnection}},
                      FailureCase{"KeptNewer", "2126\r\n", std::nullopt, {kNoConnection + kFollows, kAvailable}},
                      FailureCase{"KeptEqual", " 2125 ", std::nullopt, {kNoConnection + kFollows, kLatest}},
                      FailureCase{"KeptOlder", "2124", std::nullopt, {kNoConnection}},
                      FailureCase{"KeptFileWinsOverMemory", "2125", "2126", {kNoConnection + kFollows, kLatest}},
                      FailureCase{"MemoryWithoutFile", std::nullopt, "2126", {kNoConnection + kFollows, kAvailable}},
                      FailureCase{"KeptFileUnreadable", "<html>", "2126", {kNoConnection}},
                      FailureCase{"KeptFileEmpty", "", "2126", {kNoConnection}}),
    [](const ::testing::TestParamInfo<FailureCase>& row) { return row.param.name; });

TEST_F(UpdateCheckTest, AfterASuccessAnOfflineCheckRepeatsTheAnswer) {
    fetcher.SetCanned(FetchResult{"2126", {}});
    const UpdateAnswer first = Check();
    EXPECT_EQ(UpdateMessages(first), Messages{kAvailable});
    fetcher.SetCanned(FetchResult{{}, Problem{ProblemKind::FetchNameNotFound}});
    const UpdateAnswer offline = Check(first.publishedLine);
    EXPECT_EQ(UpdateMessages(offline),
              (Messages{kFailed + "the server's name could not be found." + kFollows, kAvailable}));
    EXPECT_EQ(offline.publishedLine, "2126");
}

TEST_F(UpdateCheckTest, StoppedCheckSaysNothingAndLeavesTheFile) {
    program.Write("update.dat", "2124");
    fetcher.SetForward([this](const std::string&, const FetchLimits&, const std::atomic<bool>&) {
        stop = true; // the window closes while the answer arrives
        return FetchResult{"2126", {}};
    });
    const UpdateAnswer answer = Check("2125");
    EXPECT_EQ(answer.outcome, UpdateAnswer::Outcome::Cancelled);
    EXPECT_TRUE(UpdateMessages(answer).empty());
    EXPECT_EQ(ReadFile(VersionFile()), "2124");
}

// An installed copy cannot write beside itself: the data folder, made when missing, takes the file.
TEST_F(UpdateCheckTest, FallsBackToTheDataFolderAndSaysWhenNeitherTakesTheFile) {
    TempDir root;
    const auto blocker = root.Write("program", "a file where the program folder would be");
    settings.programFolder = blocker / "folder";
    settings.dataFolder = root.path() / "data" / "quillon";
    fetcher.SetCanned(FetchResult{"2126", {}});
    EXPECT_EQ(UpdateMessages(Check()), Messages{kAvailable});
    EXPECT_EQ(ReadFile(settings.dataFolder / "update.dat"), "2126");

    fetcher.SetCanned(FetchResult{{}, Problem{ProblemKind::FetchNoConnection}});
    EXPECT_EQ(UpdateMessages(Check()), (Messages{kNoConnection + kFollows, kAvailable}));

    settings.dataFolder = blocker / "data";
    const UpdateAnswer neither = Check();
    ASSERT_EQ(UpdateMessages(neither).size(), 1U);
    EXPECT_EQ(
        UpdateMessages(neither)[0].rfind(kFailed + "update.dat can be written neither beside the program nor in ", 0),
        0U)
        << UpdateMessages(neither)[0];
    EXPECT_EQ(fetcher.Calls().size(), 2U) << "nothing is fetched when no folder takes the file";

    settings.dataFolder.clear();
    EXPECT_EQ(ProblemText(Check().problem.value()),
              "update.dat cannot be written beside the program, and the system names no application data folder");
}

TEST(DownloadFileTest, ReplacesTheFileWholeOrLeavesIt) {
    TempDir dir;
    FakeFetcher fetcher;
    const std::atomic<bool> stop{false};
    const auto target = dir.Write("other.dat", "earlier");
    fetcher.SetCanned(FetchResult{"hello\r\n", {}});
    EXPECT_TRUE(DownloadFile(fetcher, "http://a.test/x", target, FetchLimits{}, stop).ok());
    EXPECT_EQ(ReadFile(target), "hello\r\n");

    fetcher.SetCanned(FetchResult{{}, Problem{ProblemKind::FetchIncomplete}});
    EXPECT_EQ(DownloadFile(fetcher, "http://a.test/x", target, FetchLimits{}, stop).problem->kind,
              ProblemKind::FetchIncomplete);
    EXPECT_EQ(ReadFile(target), "hello\r\n");

    fetcher.SetCanned(FetchResult{"2126", {}});
    const FetchResult unwritable =
        DownloadFile(fetcher, "http://a.test/x", dir.path() / "no-such-folder" / "update.dat", FetchLimits{}, stop);
    const std::string reason = ProblemText(unwritable.problem.value());
    EXPECT_EQ(reason.rfind("update.dat could not be written (", 0), 0U) << reason;
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "no-such-folder"));
}

} // namespace
} // namespace quillon
