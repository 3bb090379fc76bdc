// Paths as UTF-8 text, the rename that never replaces, the report named without hard links, and
// FileWriter, TemporaryFiles and FileLock.
#include "generation/Report.h"
#include "present/ProblemText.h"
#include "support/TempDir.h"
#include "system/FileWriter.h"
#include "system/Files.h"
#include "system/TemporaryFiles.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <condition_variable>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

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

// Threads that wait until all of them have come (std::latch, as MinGW's library builds it, never
// wakes its waiters under Wine).
class Meeting {
public:
    explicit Meeting(int count) : m_left(count) {}
    void ArriveAndWait() {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (--m_left == 0) {
            m_allHere.notify_all();
        }
        m_allHere.wait(lock, [this] { return m_left <= 0; });
    }
    void Arrive() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (--m_left == 0) {
            m_allHere.notify_all();
        }
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_allHere;
    int m_left;
};

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

std::optional<Problem> WriteWith(FileWriter& writer, std::string_view bytes) {
    if (std::optional<Problem> problem = writer.Open()) {
        return problem;
    }
    writer.Append(bytes);
    return writer.Commit();
}

TEST(FileWriter, TwoThreadsWriteAtOnce) {
    TempDir dir;
    Meeting bothOpen(2);
    const auto write = [&dir, &bothOpen](const std::string& name) {
        FileWriter writer(dir.path() / name);
        const bool opened = !writer.Open();
        bothOpen.ArriveAndWait(); // two temporary files registered at the same time
        return opened && writer.Append(name) && !writer.Commit();
    };
    std::future<bool> a = std::async(std::launch::async, write, "a.dat");
    std::future<bool> b = std::async(std::launch::async, write, "b.dat");
    EXPECT_TRUE(a.get());
    EXPECT_TRUE(b.get());
    EXPECT_EQ(ReadFile(dir.path() / "a.dat"), "a.dat");
    EXPECT_EQ(ReadFile(dir.path() / "b.dat"), "b.dat");
    EXPECT_EQ(FolderContents(dir.path()), (std::set<std::string>{"a.dat", "b.dat"}));
}

TEST(TemporaryFiles, AnObjectRemovesOnlyItsOwnFiles) {
    TempDir dir;
    {
        auto first = std::make_unique<TemporaryFiles>();
        TemporaryFiles second;
        EXPECT_TRUE(first->Add(dir.Write("first.tmp", "1")));
        EXPECT_TRUE(second.Add(dir.Write("second.tmp", "2")));
        EXPECT_TRUE(second.Add(dir.Write("renamed.tmp", "3")));
        second.Forget(dir.path() / "renamed.tmp");
        first.reset();
        EXPECT_EQ(FolderContents(dir.path()), (std::set<std::string>{"renamed.tmp", "second.tmp"}));
    }
    EXPECT_EQ(FolderContents(dir.path()), std::set<std::string>{"renamed.tmp"});
}

TEST(FileLock, ASecondTakeWaitsForTheFirstToBeReleased) {
    using namespace std::chrono_literals;
    EXPECT_EQ(LockFileFor(PathFromUtf8("/a/tacdex.csv")), PathFromUtf8("/a/.tacdex.csv.lock"));
    TempDir dir;
    const std::filesystem::path lockFile = LockFileFor(dir.path() / "tacdex.csv");
    std::unique_ptr<FileLock> first;
    ASSERT_FALSE(FileLock::Take(lockFile, TargetLinks::Refuse, 0ms, {}, first));
    ASSERT_TRUE(first);

    std::unique_ptr<FileLock> refused;
    const std::optional<Problem> busy = FileLock::Take(lockFile, TargetLinks::Refuse, 100ms, {}, refused);
    ASSERT_TRUE(busy);
    EXPECT_EQ(busy->kind, ProblemKind::LockNotTaken);
    EXPECT_EQ(busy->path, lockFile);
    EXPECT_FALSE(refused);

    std::promise<void> waiting;
    bool waited = false;
    std::optional<Problem> problem;
    std::unique_ptr<FileLock> second;
    std::thread other([&] {
        const auto onWait = [&] {
            waited = true;
            waiting.set_value();
        };
        problem = FileLock::Take(lockFile, TargetLinks::Refuse, 60s, onWait, second);
        if (!waited) {
            waiting.set_value(); // over already: nothing to release for
        }
    });
    waiting.get_future().wait(); // the other thread waits now
    first.reset();
    other.join();
    EXPECT_TRUE(waited);
    EXPECT_FALSE(problem);
    EXPECT_TRUE(second);
    EXPECT_EQ(std::filesystem::file_size(lockFile), 0u); // left in place, empty
}

#ifndef _WIN32 // POSIX file types, modes, owners, signals and resource limits
mode_t ModeOf(const std::filesystem::path& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 ? status.st_mode : 0;
}

TEST(FileWriter, ReplacesTheTargetAndKeepsItsPermissionBits) {
    const mode_t mask = ::umask(022);
    struct Case {
        const char* name;
        std::optional<mode_t> before; // none: no file yet
        mode_t after;
    };
    const Case cases[] = {
        {"owner alone", 0600, 0600},
        {"group reads", 0640, 0640},
        {"set-group-ID", 02755, 02755},
        {"new file: what fopen makes", std::nullopt, 0644},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::filesystem::path target = dir.path() / "update.dat";
        if (c.before) {
            dir.Write("update.dat", "old");
            ASSERT_EQ(::chmod(target.c_str(), *c.before), 0);
        }
        FileWriter writer(target);
        ASSERT_FALSE(WriteWith(writer, "new"));
        EXPECT_FALSE(writer.Direct());
        EXPECT_EQ(ReadFile(target), "new");
        EXPECT_EQ(ModeOf(target) & 07777, c.after);
        EXPECT_EQ(FolderContents(dir.path()), std::set<std::string>{"update.dat"});
    }
    ::umask(mask);
}

TEST(FileWriter, KeepsTheOwnerAndGroupAsRoot) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root gives a file to another user";
    }
    TempDir dir;
    const std::filesystem::path target = dir.Write("tacdex.csv", "old");
    ASSERT_EQ(::chown(target.c_str(), 12345, 23456), 0);
    FileWriter writer(target);
    ASSERT_FALSE(WriteWith(writer, "new"));
    struct stat status {};
    ASSERT_EQ(::stat(target.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, 12345u);
    EXPECT_EQ(status.st_gid, 23456u);
}

TEST(FileWriter, WritesIntoAFifoAsAStream) {
    TempDir dir;
    const std::filesystem::path fifo = dir.path() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // The reader is there before the writer comes, and a writer of the test's own keeps it from
    // seeing the end until the FileWriter is done, whether it opened the FIFO or not.
    const int readEnd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    const int keepOpen = ::open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(readEnd, 0);
    ASSERT_GE(keepOpen, 0);
    ::fcntl(readEnd, F_SETFL, 0);
    std::size_t received = 0;
    std::thread reader([&] {
        char block[65536];
        for (ssize_t got; (got = ::read(readEnd, block, sizeof block)) > 0;) {
            received += static_cast<std::size_t>(got);
        }
    });
    const std::string bytes(2 * FileWriter::kBufferSize + 5, 'x');
    FileWriter writer(fifo);
    const std::optional<Problem> problem = WriteWith(writer, bytes);
    ::close(keepOpen);
    reader.join();
    ::close(readEnd);
    ASSERT_FALSE(problem) << ProblemText(*problem);
    EXPECT_TRUE(writer.Direct());
    EXPECT_EQ(received, bytes.size());
    EXPECT_TRUE(S_ISFIFO(ModeOf(fifo)));
    EXPECT_EQ(FolderContents(dir.path()), std::set<std::string>{"fifo"});
}

TEST(FileWriter, WritesIntoADeviceWithoutReplacingIt) {
    TempDir dir;
    const std::filesystem::path device = dir.path() / "null";
    if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
        GTEST_SKIP() << "mknod: " << std::strerror(errno);
    }
    FileWriter writer(device);
    const std::optional<Problem> problem = WriteWith(writer, "gone");
    if (problem && problem->error == std::errc::permission_denied) {
        GTEST_SKIP() << "devices do not open on this mount";
    }
    ASSERT_FALSE(problem) << ProblemText(*problem);
    EXPECT_TRUE(writer.Direct());
    EXPECT_TRUE(S_ISCHR(ModeOf(device)));
    EXPECT_EQ(FolderContents(dir.path()), std::set<std::string>{"null"});
}

TEST(FileWriter, LinksAreRefusedOrFollowed) {
    struct Case {
        const char* name;
        TargetLinks links;
        const char* link;   // in the test's folder
        const char* linkTo; // relative to the link's folder
        const char* target;
        std::optional<ProblemKind> problem; // whose path is the link
        const char* after;                  // the text of real/file.dat
    };
    const Case cases[] = {
        {"link refused", TargetLinks::Refuse, "links/t.dat", "../real/file.dat", "links/t.dat", ProblemKind::FileIsLink,
         "old"},
        {"link followed", TargetLinks::Follow, "links/t.dat", "../real/file.dat", "links/t.dat", std::nullopt, "new"},
        {"dangling link", TargetLinks::Follow, "links/t.dat", "../real/gone.dat", "links/t.dat",
         ProblemKind::LinkDangles, "old"},
        {"folder link refused", TargetLinks::Refuse, "folder", "real", "folder/file.dat", ProblemKind::FileIsLink,
         "old"},
        {"folder link followed", TargetLinks::Follow, "folder", "real", "folder/file.dat", std::nullopt, "new"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::filesystem::create_directory(dir.path() / "real");
        std::filesystem::create_directory(dir.path() / "links");
        dir.Write("real/file.dat", "old");
        std::filesystem::create_symlink(c.linkTo, dir.path() / c.link);
        FileWriter writer(dir.path() / c.target, c.links);
        std::optional<Problem> problem = writer.Open();
        // The temporary file lies beside the file that is replaced.
        EXPECT_EQ(FolderContents(dir.path() / "real").size(), problem ? 1u : 2u);
        if (!problem) {
            writer.Append("new");
            problem = writer.Commit();
        }
        ASSERT_EQ(problem.has_value(), c.problem.has_value()) << ProblemText(*problem);
        if (problem) {
            EXPECT_EQ(problem->kind, *c.problem);
            EXPECT_EQ(problem->path, dir.path() / c.link);
        }
        EXPECT_EQ(ReadFile(dir.path() / "real/file.dat"), c.after);
        EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / c.link));
        EXPECT_EQ(FolderContents(dir.path() / "real"), std::set<std::string>{"file.dat"});
    }
}

TEST(FileWriter, AFailedWriteLeavesTheTargetAsItWas) {
    TempDir dir;
    const std::filesystem::path target = dir.Write("tacdex.csv", "old");
    const pid_t child = ::fork();
    if (child == 0) {
        // A file size limit, as `ulimit -f` sets: the write fails with EFBIG.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1000, 1000};
        FileWriter writer(target);
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0 || writer.Open()) {
            ::_exit(2);
        }
        writer.Append(std::string(4000, 'x'));
        const std::optional<Problem> problem = writer.Commit();
        ::_exit(problem && problem->kind == ProblemKind::FileNotWritten && problem->error == std::errc::file_too_large
                    ? 0
                    : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(ReadFile(target), "old");
    EXPECT_EQ(FolderContents(dir.path()), std::set<std::string>{"tacdex.csv"});
}

// SIGTERM while two threads write: both temporary files go, the target stays as it was.
TEST(FileWriter, ASignalDuringTheWriteLeavesNoTemporaryFile) {
    TempDir dir;
    dir.Write("a.dat", "old");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        Meeting bothOpen(3);
        const auto write = [&dir, &bothOpen](const char* name) {
            FileWriter writer(dir.path() / name);
            if (!writer.Open()) {
                writer.Append("new");
            }
            bothOpen.Arrive();
            for (;;) {
                ::pause(); // until the signal ends the process
            }
        };
        std::thread(write, "a.dat").detach();
        std::thread(write, "b.dat").detach();
        bothOpen.ArriveAndWait();
        if (::write(ready[1], "x", 1) != 1) {
            ::_exit(2);
        }
        for (;;) {
            ::pause();
        }
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    EXPECT_EQ(FolderContents(dir.path()).size(), 3u); // the target and two temporary files
    ::kill(child, SIGTERM);
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(FolderContents(dir.path()), std::set<std::string>{"a.dat"});
    EXPECT_EQ(ReadFile(dir.path() / "a.dat"), "old");
}
#endif

#ifdef _WIN32
// ReplaceFileW's two failures half-way, as the writer sees them.
int ReplacementNotMoved(const wchar_t*, const wchar_t*, const wchar_t*, unsigned long) {
    ::SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT); // nothing moved
    return 0;
}

int OldFileMovedAside(const wchar_t* replaced, const wchar_t*, const wchar_t* backup, unsigned long) {
    ::MoveFileW(replaced, backup);
    ::SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
    return 0;
}

int OldFileMovedAsideAndTheWayBackBlocked(const wchar_t* replaced, const wchar_t* replacement, const wchar_t* backup,
                                          unsigned long flags) {
    OldFileMovedAside(replaced, replacement, backup, flags);
    ::CreateDirectoryW(replaced, nullptr);
    ::SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
    return 0;
}

TEST(FileWriter, AReplaceStoppedHalfWayLosesNoFile) {
    struct Case {
        const char* name;
        FileWriter::ReplaceFileFunction replaceFile;
        ProblemKind kind;
    };
    const Case cases[] = {
        {"replacement not moved", ReplacementNotMoved, ProblemKind::FileNotReplaced},
        {"old file put back", OldFileMovedAside, ProblemKind::FileNotReplaced},
        {"both files kept", OldFileMovedAsideAndTheWayBackBlocked, ProblemKind::ReplacedFileKept},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::filesystem::path target = dir.Write("update.dat", "old");
        FileWriter writer(target);
        writer.SetReplaceFileFunction(c.replaceFile);
        const std::optional<Problem> problem = WriteWith(writer, "new");
        ASSERT_TRUE(problem);
        EXPECT_EQ(problem->kind, c.kind);
        EXPECT_EQ(problem->path, target);
        if (c.kind == ProblemKind::FileNotReplaced) {
            EXPECT_EQ(ReadFile(target), "old");
            EXPECT_EQ(FolderContents(dir.path()), std::set<std::string>{"update.dat"});
        } else {
            EXPECT_EQ(ReadFile(PathFromUtf8(problem->subject)), "old");
            EXPECT_EQ(ReadFile(PathFromUtf8(problem->detail)), "new");
            EXPECT_EQ(FolderContents(dir.path()).size(), 3u);
        }
    }
}
#endif

} // namespace
} // namespace quillon
