#include "HttpDownload.h"
#include "LocalHttpServer.h"

#include <QDir>
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

    void redirectIsNotFollowed() {
        LocalHttpServer server;
        server.Answer(301, "Moved Permanently", "",
                      "Location: " + server.Url(QStringLiteral("/new")).toEncoded() + "\r\n");
        const DownloadResult result = HttpDownload(server.Url(QStringLiteral("/ver")), m_target, 5s);
        VerifyFailedAndUnchanged(result, QStringLiteral("status 301"));
        QCOMPARE(server.RequestCount(), 1);
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
