#include "HttpDownload.h"
#include "LocalHttpServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <chrono>

using namespace std::chrono_literals;
using quillon::DownloadResult;
using quillon::HttpDownload;
using quillon::kMaxDownloadBytes;
using quillon::testing::LocalHttpServer;

namespace {

constexpr auto kShortLimit = 300ms;
const QByteArray kEarlier = "earlier file\r\n";

// The resident memory of this process, from the system's own account.
qint64 ResidentBytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
        }
    }
    return 0;
}

const QByteArray kChunk = "1000\r\n" + QByteArray(4096, '7') + "\r\n";
const QByteArray kHeaderLine = "X-Filler: " + QByteArray(1000, 'a') + "\r\n";

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestDownload : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_target;

    // A download that the server never lets end by itself: it must fail with `reasonPart` within
    // a second of `failAfter`, close its connection so that the server can push little more, and
    // leave memory where it was.
    void VerifyCutOff(LocalHttpServer& server, std::chrono::milliseconds limit, std::chrono::milliseconds failAfter,
                      const QString& reasonPart, bool closesAtOnce = true) {
        const qint64 memoryBefore = ResidentBytes();
        QElapsedTimer clock;
        clock.start();
        const DownloadResult result = HttpDownload(server.Url(QStringLiteral("/ver")), m_target, limit);
        const qint64 elapsed = clock.elapsed();
        const qint64 sentAtFailure = server.BytesSent();
        VerifyFailedAndUnchanged(result, reasonPart);
        QVERIFY2(elapsed < failAfter.count() + 1000, qPrintable(QStringLiteral("failed after %1 ms").arg(elapsed)));
        if (!closesAtOnce) {
            // See endlessHeadersRunIntoTheTimeLimit: only the window's side holds there.
            QTRY_VERIFY_WITH_TIMEOUT(server.ClientClosedAll(), 90000);
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(server.ClientClosedAll(), 5000);
        const qint64 sentAfter = server.BytesSent() - sentAtFailure;
        QVERIFY2(sentAfter < 4 * 1024 * 1024,
                 qPrintable(QStringLiteral("%1 bytes sent after the failure").arg(sentAfter)));
#if !defined(__SANITIZE_ADDRESS__)
        // A sanitized build keeps freed memory in quarantine; there only the plain build can tell.
        const qint64 grown = ResidentBytes() - memoryBefore;
        QVERIFY2(grown < 8 * 1024 * 1024, qPrintable(QStringLiteral("memory grew by %1 bytes").arg(grown)));
#else
        static_cast<void>(memoryBefore);
#endif
    }

    // The folder holds the target and nothing else: no temporary file is left behind.
    void VerifyOnlyTarget() {
        const QStringList entries = QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
        QCOMPARE(entries, QStringList{QStringLiteral("update.dat")});
    }

    void VerifyFailedAndUnchanged(const DownloadResult& result, const QString& reasonPart) {
        QVERIFY(!result.ok);
        QVERIFY(!result.reason.isEmpty());
        QVERIFY2(result.reason.contains(reasonPart), qPrintable(result.reason));
        QCOMPARE(ReadAll(m_target), kEarlier);
        VerifyOnlyTarget();
    }

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        m_target = m_dir.filePath(QStringLiteral("update.dat"));
        QFile::remove(m_target);
        QFile file(m_target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(kEarlier);
    }

    void okWritesTheWholeBodyWithOneGet() {
        LocalHttpServer server;
        QVERIFY(server.IsListening());
        server.Answer(200, "OK", "2126\r\nmore\r\n");
        const DownloadResult result = HttpDownload(server.Url(QStringLiteral("/ver")), m_target, 5s);
        QVERIFY2(result.ok, qPrintable(result.reason));
        QVERIFY(result.reason.isEmpty());
        QCOMPARE(ReadAll(m_target), QByteArray("2126\r\nmore\r\n"));
        QCOMPARE(server.RequestCount(), 1);
        QCOMPARE(server.RequestLines().first(), QByteArray("GET /ver HTTP/1.1"));
        VerifyOnlyTarget();
    }

    void okCreatesAMissingTarget() {
        QVERIFY(QFile::remove(m_target));
        LocalHttpServer server;
        server.Answer(200, "OK", "2125");
        const DownloadResult result = HttpDownload(server.Url(QStringLiteral("/ver")), m_target, 5s);
        QVERIFY2(result.ok, qPrintable(result.reason));
        QCOMPARE(ReadAll(m_target), QByteArray("2125"));
    }

    void otherSuccessStatusesCount() {
        LocalHttpServer server;
        server.Answer(203, "Non-Authoritative Information", "2124");
        const DownloadResult result = HttpDownload(server.Url(QStringLiteral("/ver")), m_target, 5s);
        QVERIFY2(result.ok, qPrintable(result.reason));
        QCOMPARE(ReadAll(m_target), QByteArray("2124"));
    }

    void emptyBodyIsAWholeBody() {
        LocalHttpServer server;
        server.Answer(200, "OK", "");
        const DownloadResult result = HttpDownload(server.Url(QStringLiteral("/ver")), m_target, 5s);
        QVERIFY2(result.ok, qPrintable(result.reason));
        QCOMPARE(ReadAll(m_target), QByteArray());
    }

    void bodyOfExactlyTheLimitIsAccepted() {
        LocalHttpServer server;
        const QByteArray body(kMaxDownloadBytes, '7');
        server.Answer(200, "OK", body);
        const DownloadResult result = HttpDownload(server.Url(QStringLiteral("/ver")), m_target, 5s);
        QVERIFY2(result.ok, qPrintable(result.reason));
        QCOMPARE(ReadAll(m_target), body);
    }

    void notFoundLeavesTheTarget() {
        LocalHttpServer server;
        server.Answer(404, "Not Found", "<html>no such page</html>");
        const DownloadResult result = HttpDownload(server.Url(QStringLiteral("/ver")), m_target, 5s);
        VerifyFailedAndUnchanged(result, QStringLiteral("status 404 (Not Found)"));
    }

    void serverErrorLeavesTheTarget() {
        LocalHttpServer server;
        server.Answer(500, "Internal Server Error", "2126");
        const DownloadResult result = HttpDownload(server.Url(QStringLiteral("/ver")), m_target, 5s);
        VerifyFailedAndUnchanged(result, QStringLiteral("status 500"));
    }

    void redirectIsFollowedWithinTheRequest() {
        LocalHttpServer server;
        server.Route("/ver",
                     LocalHttpServer::Response(301, "Moved Permanently", "",
                                               "Location: " + server.Url(QStringLiteral("/new")).toEncoded() + "\r\n"));
        server.Answer(200, "OK", "2126");
        const DownloadResult result = HttpDownload(server.Url(QStringLiteral("/ver")), m_target, 5s);
        QVERIFY2(result.ok, qPrintable(result.reason));
        QCOMPARE(ReadAll(m_target), QByteArray("2126"));
        QCOMPARE(server.RequestLines(), (QList<QByteArray>{"GET /ver HTTP/1.1", "GET /new HTTP/1.1"}));
    }

    // Each hop is its own address; past the fifth the download gives up.
    void tooManyRedirectsStop() {
        LocalHttpServer server;
        for (int hop = 0; hop < 8; ++hop) {
            const QByteArray next = server.Url(QStringLiteral("/hop%1").arg(hop + 1)).toEncoded();
            server.Route("/hop" + QByteArray::number(hop),
                         LocalHttpServer::Response(302, "Found", "", "Location: " + next + "\r\n"));
        }
        server.Answer(200, "OK", "2126");
        const DownloadResult result = HttpDownload(server.Url(QStringLiteral("/hop0")), m_target, 5s);
        VerifyFailedAndUnchanged(result, QStringLiteral("redirected more than 5 times"));
        QVERIFY(!server.RequestLines().contains("GET /hop7 HTTP/1.1"));
    }

    void redirectAwayFromTheWebIsRefused() {
        LocalHttpServer server;
        server.Answer(301, "Moved Permanently", "", "Location: file:///etc/hostname\r\n");
        const DownloadResult result = HttpDownload(server.Url(QStringLiteral("/ver")), m_target, 5s);
        QVERIFY(!result.ok);
        QCOMPARE(ReadAll(m_target), kEarlier);
        QCOMPARE(server.RequestCount(), 1);
    }

    // A body counts only when it provably ended.
    void bodyThatDidNotProvablyEndIsRefused_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("reason");
        QTest::newRow("conflicting lengths")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 4\r\nContent-Length: 6\r\n\r\n2126")
            << QStringLiteral("conflicting lengths");
        QTest::newRow("length beyond 64 bits")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\n2126")
            << QStringLiteral("larger than 64 KiB");
        QTest::newRow("length not a number")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 4x\r\n\r\n2126") << QString();
        QTest::newRow("short body") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n2126")
                                    << QString(); // Qt's own words or ours, depending on when the close is seen
        QTest::newRow("chunked, cut inside a chunk")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n8\r\n2126") << QString();
        QTest::newRow("chunked, cut after a chunk")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\n2126\r\n") << QString();
        // Qt 6.4 cannot tell the two above from a whole chunked body, so none is taken.
        QTest::newRow("chunked with its last chunk")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\n2126\r\n0\r\n\r\n")
            << QStringLiteral("in chunks, whose end cannot be confirmed");
    }

    void bodyThatDidNotProvablyEndIsRefused() {
        QFETCH(QByteArray, answer);
        QFETCH(QString, reason);
        LocalHttpServer server;
        server.Raw(answer, true);
        const DownloadResult result = HttpDownload(server.Url(QStringLiteral("/ver")), m_target, 5s);
        VerifyFailedAndUnchanged(result, reason);
    }

    // The length check itself, which the network layer's own errors may hide in the tests above.
    void bodyLengthCheck_data() {
        QTest::addColumn<QByteArray>("header"); // "-" for no Content-Length at all
        QTest::addColumn<qint64>("received");
        QTest::addColumn<QString>("problem");
        QTest::newRow("absent") << QByteArray("-") << qint64(7) << QString();
        QTest::newRow("equal") << QByteArray("4") << qint64(4) << QString();
        QTest::newRow("repeated equal") << QByteArray("4, 4") << qint64(4) << QString();
        QTest::newRow("short") << QByteArray("10") << qint64(4)
                               << QStringLiteral("the answer arrived incomplete (4 of 10 bytes)");
        QTest::newRow("long") << QByteArray("3") << qint64(4)
                              << QStringLiteral("the answer arrived incomplete (4 of 3 bytes)");
        QTest::newRow("conflicting") << QByteArray("4,6") << qint64(4)
                                     << QStringLiteral("the server gave conflicting lengths for the answer");
        QTest::newRow("empty") << QByteArray("") << qint64(0)
                               << QStringLiteral("the server gave a length for the answer that is not a number");
        QTest::newRow("beyond 64 bits") << QByteArray("99999999999999999999") << qint64(4)
                                        << QStringLiteral("the answer is larger than 64 KiB");
    }

    void bodyLengthCheck() {
        QFETCH(QByteArray, header);
        QFETCH(qint64, received);
        QFETCH(QString, problem);
        const std::optional<QByteArray> length = header == "-" ? std::nullopt : std::optional(header);
        QCOMPARE(quillon::BodyLengthProblem(length, received), problem);
    }

    void bodyThatProvablyEndedIsTaken_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("length") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n2126");
        QTest::newRow("same length twice")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 4\r\nContent-Length: 4\r\n\r\n2126");
        QTest::newRow("connection ended") << QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n2126");
    }

    void bodyThatProvablyEndedIsTaken() {
        QFETCH(QByteArray, answer);
        LocalHttpServer server;
        server.Raw(answer, true);
        const DownloadResult result = HttpDownload(server.Url(QStringLiteral("/ver")), m_target, 5s);
        QVERIFY2(result.ok, qPrintable(result.reason));
        QCOMPARE(ReadAll(m_target), QByteArray("2126"));
    }

    void endlessChunkedBodyIsCutOffAtTheCap() {
        LocalHttpServer server;
        server.Stream("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", kChunk);
        VerifyCutOff(server, 10s, 0ms, QStringLiteral("larger than 64 KiB"));
    }

    void endlessBodyWithoutLengthIsCutOffAtTheCap() {
        LocalHttpServer server;
        server.Stream("HTTP/1.1 200 OK\r\n\r\n", QByteArray(4096, '7'));
        VerifyCutOff(server, 10s, 0ms, QStringLiteral("larger than 64 KiB"));
    }

    void endlessHeadersRunIntoTheTimeLimit() {
        LocalHttpServer server;
        server.Stream("HTTP/1.1 200 OK\r\n", kHeaderLine);
        // The window is free at the limit. Qt 6.4's network layer, though, sets no bound on a header
        // and lets go of the connection only once its thread has worked through what it took in:
        // about 3 seconds on an idle machine (nothing more sent meanwhile), up to a minute with
        // 15 MB more on a heavily loaded one. So only the eventual close is checked here.
        VerifyCutOff(server, 1s, 1s, QString(), false);
    }

    void slowDripRunsIntoTheTimeLimit_data() {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("piece");
        QTest::newRow("body") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n") << QByteArray("7");
        QTest::newRow("headers") << QByteArray("HTTP/1.1 200 OK\r\n") << QByteArray("X-A: b\r\n");
    }

    void slowDripRunsIntoTheTimeLimit() {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, piece);
        LocalHttpServer server;
        server.Drip(head, piece, 20ms);
        VerifyCutOff(server, 500ms, 500ms, QStringLiteral("no complete answer within 500 ms"));
    }

    void declaredOversizeBodyIsRefused() {
        LocalHttpServer server;
        server.Answer(200, "OK", QByteArray(kMaxDownloadBytes + 1, '9'));
        const DownloadResult result = HttpDownload(server.Url(QStringLiteral("/ver")), m_target, 5s);
        VerifyFailedAndUnchanged(result, QStringLiteral("larger than 64 KiB"));
    }

    // No length announced and the connection kept open: only stopping as soon as the 64 KiB are
    // passed ends this before the time limit.
    void streamedOversizeBodyIsCutOffAtOnce() {
        LocalHttpServer server;
        server.Raw("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n" + QByteArray(kMaxDownloadBytes + 4096, '9'),
                   false);
        const DownloadResult result = HttpDownload(server.Url(QStringLiteral("/ver")), m_target, 30s);
        VerifyFailedAndUnchanged(result, QStringLiteral("larger than 64 KiB"));
    }

    void silentServerRunsIntoTheTimeLimit() {
        LocalHttpServer server;
        server.Silent();
        QElapsedTimer clock;
        clock.start();
        const DownloadResult result = HttpDownload(server.Url(QStringLiteral("/ver")), m_target, kShortLimit);
        VerifyFailedAndUnchanged(result, QStringLiteral("no complete answer within 300 ms"));
        QCOMPARE(server.RequestCount(), 1);
        QVERIFY2(clock.elapsed() < 5000, "the time limit was not kept");
    }

    // Headers and half the body, then nothing: the limit counts the whole download.
    void stalledBodyRunsIntoTheTimeLimit() {
        LocalHttpServer server;
        server.Raw("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n21", false);
        const DownloadResult result = HttpDownload(server.Url(QStringLiteral("/ver")), m_target, kShortLimit);
        VerifyFailedAndUnchanged(result, QStringLiteral("no complete answer within"));
    }

    void truncatedBodyIsRefused() {
        LocalHttpServer server;
        server.Raw("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n2126\r\n", true);
        const DownloadResult result = HttpDownload(server.Url(QStringLiteral("/ver")), m_target, 5s);
        VerifyFailedAndUnchanged(result, QString());
    }

    void closedPortIsRefused() {
        const QUrl url(QStringLiteral("http://127.0.0.1:%1/ver").arg(quillon::testing::ClosedPort()));
        const DownloadResult result = HttpDownload(url, m_target, 5s);
        VerifyFailedAndUnchanged(result, QStringLiteral("refused"));
    }

    void garbageInsteadOfHttpIsRefused() {
        LocalHttpServer server;
        server.Raw("this is not HTTP at all\r\n\r\n2126\r\n", true);
        const DownloadResult result = HttpDownload(server.Url(QStringLiteral("/ver")), m_target, 5s);
        VerifyFailedAndUnchanged(result, QString());
    }

    void addressThatIsNotHttpIsRefused() {
        const DownloadResult result = HttpDownload(QUrl(QStringLiteral("file:///etc/hostname")), m_target, 5s);
        VerifyFailedAndUnchanged(result, QStringLiteral("not a web address"));
    }

    void unwritableTargetIsReported() {
        LocalHttpServer server;
        server.Answer(200, "OK", "2126");
        const QString target = m_dir.filePath(QStringLiteral("no-such-folder/update.dat"));
        const DownloadResult result = HttpDownload(server.Url(QStringLiteral("/ver")), target, 5s);
        QVERIFY(!result.ok);
        QVERIFY2(result.reason.startsWith(QStringLiteral("update.dat could not be written")),
                 qPrintable(result.reason));
        QVERIFY(!QFile::exists(target));
    }

    // The wait is an event loop: timers and painting go on while the server keeps silent.
    void eventsAreProcessedWhileWaiting() {
        LocalHttpServer server;
        server.Silent();
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
        ticker.start(20);
        const DownloadResult result = HttpDownload(server.Url(QStringLiteral("/ver")), m_target, kShortLimit);
        QVERIFY(!result.ok);
        QVERIFY2(ticks >= 2, qPrintable(QStringLiteral("%1 ticks").arg(ticks)));
    }
};

QTEST_MAIN(TestDownload)
#include "test_download.moc"
