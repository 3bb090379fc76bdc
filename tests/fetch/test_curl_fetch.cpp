// The libcurl fetch against a local server that answers well, badly or with hostile intent.
#include "update/CurlFetch.h"

#include "present/ProblemText.h"

#include "support/TestHttpServer.h"

#include <gtest/gtest.h>

#include <ostream>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs:
#include <psapi.h>
#endif

namespace quillon {
namespace {

// What the user is told of a fetch's problem; empty when there is none.
std::string Reason(const std::optional<Problem>& problem) {
    return problem ? ProblemText(*problem) : std::string();
}

using namespace std::chrono_literals;
using testing::TestHttpServer;

constexpr std::size_t kCap = 64 * 1024;
constexpr std::chrono::milliseconds kLimit{500};
const std::string kChunk = "1000\r\n" + std::string(4096, '7') + "\r\n";
const std::string kHeaderLine = "X-Filler: " + std::string(1000, 'a') + "\r\n";

// The resident memory of this process, from the system's own account.
std::int64_t ResidentBytes() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS counters{};
    return ::K32GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)
               ? static_cast<std::int64_t>(counters.WorkingSetSize)
               : 0;
#else
    std::ifstream statm("/proc/self/statm");
    std::int64_t pages = 0;
    std::int64_t resident = 0;
    statm >> pages >> resident;
    return resident * 4096;
#endif
}

// Requests to 127.0.0.1 never go through a proxy named in the environment.
class LocalOnly : public ::testing::Environment {
public:
    void SetUp() override {
#ifdef _WIN32
        ::_putenv_s("NO_PROXY", "127.0.0.1");
        ::_putenv_s("no_proxy", "127.0.0.1");
#else
        ::setenv("NO_PROXY", "127.0.0.1", 1);
        ::setenv("no_proxy", "127.0.0.1", 1);
#endif
    }
};
const auto* const kLocalOnly = ::testing::AddGlobalTestEnvironment(new LocalOnly);
const CurlLibrary kCurl;

class CurlFetchTest : public ::testing::Test {
protected:
    // Every limit here is half a second or less: an answer on 127.0.0.1 takes milliseconds, and a
    // failure at a cap says so in its reason, which a failure at the time limit does not.
    FetchResult Fetch(const std::string& path = "/ver", std::chrono::milliseconds limit = kLimit) {
        FetchLimits limits;
        limits.timeLimit = limit;
        return fetcher.Get(server.Url(path), limits, stop);
    }

    // A fetch the server never lets end by itself: it must fail with `reason` within a second of
    // `failAfter`, close its connection so that the server can send little more, and leave this
    // process's memory where it was.
    void ExpectCutOff(std::chrono::milliseconds limit, std::chrono::milliseconds failAfter, const std::string& reason) {
        const std::int64_t memoryBefore = ResidentBytes();
        const auto start = std::chrono::steady_clock::now();
        const FetchResult result = Fetch("/ver", limit);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_FALSE(result.ok());
        EXPECT_EQ(Reason(result.problem).substr(0, reason.size()), reason) << Reason(result.problem);
        EXPECT_LT(elapsed, failAfter + 1s);
        EXPECT_TRUE(server.WaitUntilAllClosed(1s)) << "the connection stays open after the failure";
        EXPECT_LT(server.BytesSent(), kCap + 4 * 1024 * 1024);
#if !defined(__SANITIZE_ADDRESS__)
        // A sanitized build keeps freed memory in quarantine; there only the plain build can tell.
        EXPECT_LT(ResidentBytes() - memoryBefore, 8 * 1024 * 1024);
#else
        static_cast<void>(memoryBefore);
#endif
    }

    TestHttpServer server;
    CurlFetcher fetcher;
    std::atomic<bool> stop{false};
};

struct WholeCase {
    const char* name;
    std::string answer; // sent, then the connection is closed
    std::string body;
};
void PrintTo(const WholeCase& row, std::ostream* out) {
    *out << row.name;
}

class WholeAnswerTest : public CurlFetchTest, public ::testing::WithParamInterface<WholeCase> {};

TEST_P(WholeAnswerTest, BodyIsTaken) {
    server.Raw(GetParam().answer, true);
    const FetchResult result = Fetch();
    EXPECT_TRUE(result.ok()) << Reason(result.problem);
    EXPECT_EQ(result.body, GetParam().body);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WholeAnswerTest,
    ::testing::Values(
        WholeCase{"Length", "HTTP/1.1 200 OK\r\nContent-Length: 12\r\n\r\n2126\r\nmore\r\n", "2126\r\nmore\r\n"},
        WholeCase{"SameLengthTwice", "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nContent-Length: 4\r\n\r\n2126", "2126"},
        WholeCase{"SameLengthJoined", "HTTP/1.1 200 OK\r\nContent-Length: 4, 4\r\n\r\n2126", "2126"},
        WholeCase{"ConnectionEnded", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n2126", "2126"},
        WholeCase{"Chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n6\r\n2126\r\n\r\n0\r\n\r\n",
                  "2126\r\n"},
        WholeCase{"ChunkedInPieces",
                  "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\n21\r\n2\r\n26\r\n0\r\n\r\n", "2126"},
        WholeCase{"OtherSuccessStatus", "HTTP/1.1 203 Non-Authoritative Information\r\nContent-Length: 4\r\n\r\n2124",
                  "2124"},
        // The length says where the body ends; what follows it is not part of it.
        WholeCase{"LongerThanItsLength", "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n2126", "212"},
        WholeCase{"EmptyBody", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", ""},
        WholeCase{"ExactlyTheCap", TestHttpServer::Response(200, "OK", std::string(kCap, '7')),
                  std::string(kCap, '7')}),
    [](const ::testing::TestParamInfo<WholeCase>& row) { return row.param.name; });

struct RefusedCase {
    const char* name;
    std::string answer;
    bool closeAfter;
    std::string reason; // the start of the reason given
};
void PrintTo(const RefusedCase& row, std::ostream* out) {
    *out << row.name;
}

class RefusedAnswerTest : public CurlFetchTest, public ::testing::WithParamInterface<RefusedCase> {};

// A body counts only when it provably ended and the server said it was the file.
TEST_P(RefusedAnswerTest, FailsWithAReason) {
    server.Raw(GetParam().answer, GetParam().closeAfter);
    const FetchResult result = Fetch();
    EXPECT_FALSE(result.ok());
    EXPECT_TRUE(result.body.empty());
    EXPECT_EQ(Reason(result.problem).substr(0, GetParam().reason.size()), GetParam().reason) << Reason(result.problem);
    EXPECT_TRUE(server.WaitUntilAllClosed(1s));
}

INSTANTIATE_TEST_SUITE_P(
    Table, RefusedAnswerTest,
    ::testing::Values(
        RefusedCase{"NotFound", TestHttpServer::Response(404, "Not Found", "<html>no such page</html>"), true,
                    "the server answered with status 404 (Not Found)"},
        RefusedCase{"ServerError", TestHttpServer::Response(500, "Internal Server Error", "2126"), true,
                    "the server answered with status 500 (Internal Server Error)"},
        RefusedCase{"RedirectWithoutTarget", "HTTP/1.1 302 Found\r\nContent-Length: 4\r\n\r\n2126", true,
                    "the server answered with status 302 (Found)"},
        RefusedCase{"ChunkedCutInsideAChunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n8\r\n2126", true,
                    "the answer arrived incomplete"},
        RefusedCase{"ChunkedCutBeforeTheLastChunk",
                    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n6\r\n2126\r\n\r\n", true,
                    "the answer arrived incomplete"},
        RefusedCase{"ShortBody", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n2126\r\n", true,
                    "the answer arrived incomplete"},
        RefusedCase{"ConflictingLengths", "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nContent-Length: 6\r\n\r\n2126", true,
                    "the server gave conflicting lengths for the answer"},
        RefusedCase{"LengthWithLetters", "HTTP/1.1 200 OK\r\nContent-Length: 4abc\r\n\r\n2126", true,
                    "the server gave a length for the answer that is not a number"},
        RefusedCase{"LengthBeyond64Bits", "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\n2126",
                    true, "the answer is larger than 64 KiB"},
        RefusedCase{"DeclaredOversize", TestHttpServer::Response(200, "OK", std::string(kCap + 1, '9')), false,
                    "the answer is larger than 64 KiB"},
        // No length and the connection kept open: only stopping as soon as the cap is passed ends this.
        RefusedCase{"StreamedOversize", "HTTP/1.1 200 OK\r\n\r\n" + std::string(kCap + 4096, '9'), false,
                    "the answer is larger than 64 KiB"},
        RefusedCase{"NotHttp", "this is not HTTP at all\r\n\r\n2126\r\n", true,
                    "the server's answer was not understood"},
        RefusedCase{"NothingAtAll", "", true, "the connection broke before the whole answer arrived"}),
    [](const ::testing::TestParamInfo<RefusedCase>& row) { return row.param.name; });

TEST_F(CurlFetchTest, OneGetWithNoCacheAndNoPackedBody) {
    server.Answer(200, "OK", "2126");
    EXPECT_TRUE(Fetch().ok());
    ASSERT_EQ(server.Requests().size(), 1U);
    const std::string request = server.Requests()[0];
    EXPECT_EQ(request.rfind("GET /ver HTTP/1.1\r\n", 0), 0U) << request;
    EXPECT_NE(request.find("\r\nCache-Control: no-cache\r\n"), std::string::npos) << request;
    EXPECT_EQ(request.find("Accept-Encoding"), std::string::npos) << request;
}

TEST_F(CurlFetchTest, RedirectsToWebAddressesOnlyAndAtMostFive) {
    server.Route("/ver", TestHttpServer::Response(301, "Moved Permanently", "", "Location: /new\r\n"));
    server.Answer(200, "OK", "2126");
    const FetchResult one = Fetch();
    EXPECT_TRUE(one.ok()) << Reason(one.problem);
    EXPECT_EQ(one.body, "2126");
    EXPECT_EQ(server.RequestLines(), (std::vector<std::string>{"GET /ver HTTP/1.1", "GET /new HTTP/1.1"}));

    for (int hop = 0; hop < 8; ++hop) {
        server.Route("/hop" + std::to_string(hop),
                     TestHttpServer::Response(302, "Found", "",
                                              "Location: " + server.Url("/hop" + std::to_string(hop + 1)) + "\r\n"));
    }
    EXPECT_EQ(Reason(Fetch("/hop0").problem), "the server redirected more than 5 times");
    EXPECT_EQ(server.RequestLines().size(), 2U + 6U) << "the sixth redirect is not followed";

    server.Route("/file", TestHttpServer::Response(301, "Moved Permanently", "", "Location: file:///etc/hostname\r\n"));
    EXPECT_EQ(Reason(Fetch("/file").problem),
              "the server redirected to file:///etc/hostname, which is not a web address");
    EXPECT_EQ(server.RequestLines().size(), 2U + 6U + 1U);
}

TEST_F(CurlFetchTest, OnlyWebAddressesAreFetched) {
    EXPECT_EQ(Reason(fetcher.Get("file:///etc/hostname", FetchLimits{}, stop).problem),
              "the address file:///etc/hostname is not a web address");
    EXPECT_EQ(Reason(fetcher.Get("ftp://127.0.0.1/ver", FetchLimits{}, stop).problem),
              "the address ftp://127.0.0.1/ver is not a web address");
}

TEST_F(CurlFetchTest, ClosedPortFailsAtOnce) {
    const FetchResult result =
        fetcher.Get("http://127.0.0.1:" + std::to_string(testing::ClosedPort()) + "/ver", FetchLimits{}, stop);
    EXPECT_EQ(Reason(result.problem), "no connection to the server could be made");
}

TEST_F(CurlFetchTest, EndlessChunkedBodyIsCutOffAtTheCap) {
    server.Stream("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", kChunk);
    ExpectCutOff(kLimit, 0ms, "the answer is larger than 64 KiB");
}

TEST_F(CurlFetchTest, EndlessBodyWithoutLengthIsCutOffAtTheCap) {
    server.Stream("HTTP/1.1 200 OK\r\n\r\n", std::string(4096, '7'));
    ExpectCutOff(kLimit, 0ms, "the answer is larger than 64 KiB");
}

TEST_F(CurlFetchTest, EndlessHeadersAreCutOff) {
    server.Stream("HTTP/1.1 200 OK\r\n", kHeaderLine);
    ExpectCutOff(kLimit, 0ms, "the server's answer began with more header lines than an answer needs");
}

TEST_F(CurlFetchTest, SilentServerRunsIntoTheTimeLimit) {
    server.Silent();
    ExpectCutOff(300ms, 300ms, "no complete answer within 300 ms");
}

struct DripCase {
    const char* name;
    std::string head;
    std::string piece;
};
void PrintTo(const DripCase& row, std::ostream* out) {
    *out << row.name;
}

class DripTest : public CurlFetchTest, public ::testing::WithParamInterface<DripCase> {};

TEST_P(DripTest, RunsIntoTheTimeLimit) {
    server.Drip(GetParam().head, GetParam().piece, 20ms);
    ExpectCutOff(kLimit, kLimit, "no complete answer within 500 ms");
}

INSTANTIATE_TEST_SUITE_P(Table, DripTest,
                         ::testing::Values(DripCase{"Body", "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n", "7"},
                                           DripCase{"Headers", "HTTP/1.1 200 OK\r\n", "X-A: b\r\n"},
                                           DripCase{"HalfABodyThenNothing",
                                                    "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n21", ""}),
                         [](const ::testing::TestParamInfo<DripCase>& row) { return row.param.name; });

// Closing the window sets `stop`: the fetch ends soon after, whatever the server does.
TEST_F(CurlFetchTest, StopEndsTheFetchPromptly) {
    server.Silent();
    std::thread closer([this] {
        while (server.RequestLines().empty()) {
            std::this_thread::yield();
        }
        stop = true;
    });
    const auto start = std::chrono::steady_clock::now();
    const FetchResult result = Fetch("/ver", kLimit);
    closer.join();
    EXPECT_TRUE(result.cancelled);
    EXPECT_FALSE(result.ok());
    EXPECT_LT(std::chrono::steady_clock::now() - start, kLimit) << "stopped by the time limit, not at once";
    EXPECT_TRUE(server.WaitUntilAllClosed(1s));
}

struct LengthCase {
    const char* name;
    std::vector<std::string> values;
    std::string problem;
};
void PrintTo(const LengthCase& row, std::ostream* out) {
    *out << row.name;
}

class ContentLengthTest : public ::testing::TestWithParam<LengthCase> {};

TEST_P(ContentLengthTest, Rules) {
    EXPECT_EQ(Reason(ContentLengthProblem(GetParam().values, kCap)), GetParam().problem);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ContentLengthTest,
    ::testing::Values(LengthCase{"Absent", {}, ""}, LengthCase{"One", {"4"}, ""},
                      LengthCase{"Repeated", {"4", "4"}, ""}, LengthCase{"RepeatedJoined", {"4, 4"}, ""},
                      LengthCase{"AtTheCap", {"65536"}, ""},
                      LengthCase{"Conflicting", {"4", "6"}, "the server gave conflicting lengths for the answer"},
                      LengthCase{"ConflictingJoined", {"4,6"}, "the server gave conflicting lengths for the answer"},
                      LengthCase{"Empty", {""}, "the server gave a length for the answer that is not a number"},
                      LengthCase{"Letters", {"4abc"}, "the server gave a length for the answer that is not a number"},
                      LengthCase{"Negative", {"-4"}, "the server gave a length for the answer that is not a number"},
                      LengthCase{"EmptyPart", {"4,"}, "the server gave a length for the answer that is not a number"},
                      LengthCase{"OverTheCap", {"65537"}, "the answer is larger than 64 KiB"},
                      LengthCase{"Beyond64Bits", {"99999999999999999999"}, "the answer is larger than 64 KiB"}),
    [](const ::testing::TestParamInfo<LengthCase>& row) { return row.param.name; });

} // namespace
} // namespace quillon
