#include "Form1.h"
#include "GenerationFixture.h"
#include "QtText.h"
#include "WindowFixture.h"
#include "identity/Identity.h"
#include "support/TestHttpServer.h"

#include <QAction>
#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <string>

using namespace std::chrono_literals;
using quillon::testing::TestHttpServer;

namespace {

const QString kAvailable = QStringLiteral("An update is available!");
const QString kLatest = QStringLiteral("You have the latest version.");
const QString kFailed = QStringLiteral("The update check could not be completed: ");
const QString kFollows = QStringLiteral(" The answer of an earlier check follows.");

// The resident memory of this process, from the system's own account.
qint64 ResidentBytes() {
    QFile status(QStringLiteral("/proc/self/statm"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    return status.readAll().split(' ').value(1).toLongLong() * 4096;
}

} // namespace

class TestUpdate : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<WindowFixture> m_fixture;
    std::unique_ptr<TestHttpServer> m_server;

    WindowFixture& F() { return *m_fixture; }
    FakePlatform& P() { return m_fixture->platform; }
    QString VersionFile() const { return m_fixture->DirectoryPath() + QStringLiteral("/update.dat"); }

    QByteArray ReadVersionFile() const {
        QFile file(VersionFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    bool WriteVersionFile(const QByteArray& bytes) const {
        QFile file(VersionFile());
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
    }
    void ServeFromClosedPort() {
        F().fetcher.SetForward(FetchFrom("127.0.0.1:" + std::to_string(quillon::testing::ClosedPort())));
    }

private slots:
    void init() {
        m_fixture = std::make_unique<WindowFixture>();
        m_server = std::make_unique<TestHttpServer>();
        QVERIFY(F().WriteDatabase(MakeDatabase(30)));
        QVERIFY(F().CreateAndLoad());
        P().messages.clear();
        F().fetcher.SetForward(FetchFrom(m_server->HostAndPort()));
        F().Form().SetFetchLimits(quillon::FetchLimits{500ms});
    }

    void cleanup() {
        m_fixture.reset();
        m_server.reset();
    }

    void asksForTheVersionFileWithTheBuiltInLimits() {
        F().fetcher.SetForward({});
        F().fetcher.SetCanned(quillon::FetchResult{"2125", {}});
        F().Form().SetFetchLimits(quillon::FetchLimits{});
        QVERIFY(F().RunUpdateCheck());
        const auto calls = F().fetcher.Calls();
        QCOMPARE(calls.size(), std::size_t{1});
        QCOMPARE(calls[0].address, "http://" + std::string(quillon::identity::kServiceHost) + "/ver");
        QCOMPARE(calls[0].limits.timeLimit, 10'000ms);
        QCOMPARE(calls[0].limits.maxBytes, std::size_t{64 * 1024});
        QCOMPARE(calls[0].limits.maxRedirects, 5);
        QCOMPARE(P().messages, QStringList{kLatest});
        QCOMPARE(ReadVersionFile(), QByteArray("2125"));
    }

    void comparesThePublishedVersion_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("published");
        const auto plain = [](const QByteArray& body) {
            return QByteArray::fromStdString(TestHttpServer::Response(200, "OK", body.toStdString()));
        };
        QTest::newRow("newer") << plain("2126") << QByteArray("2126") << QStringList{kAvailable}
                               << QStringLiteral("2126");
        QTest::newRow("equal") << plain("2125") << QByteArray("2125") << QStringList{kLatest} << QStringLiteral("2125");
        QTest::newRow("older") << plain("2124") << QByteArray("2124") << QStringList{} << QStringLiteral("2124");
        QTest::newRow("blanks around") << plain(" 2125 ") << QByteArray(" 2125 ") << QStringList{kLatest}
                                       << QStringLiteral(" 2125 ");
        QTest::newRow("more lines") << plain("2126\r\nmore\r\n") << QByteArray("2126\r\nmore\r\n")
                                    << QStringList{kAvailable} << QStringLiteral("2126");
        QTest::newRow("chunked")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n6\r\n2126\r\n\r\n0\r\n\r\n")
            << QByteArray("2126\r\n") << QStringList{kAvailable} << QStringLiteral("2126");
    }

    void comparesThePublishedVersion() {
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, body);
        QFETCH(QStringList, messages);
        QFETCH(QString, published);
        m_server->Raw(answer.toStdString(), true);
        QVERIFY(F().RunUpdateCheck());
        QCOMPARE(P().messages, messages);
        QCOMPARE(F().Form().PublishedVersion(), published);
        QCOMPARE(ReadVersionFile(), body);
        QCOMPARE(m_server->RequestLines(), std::vector<std::string>{"GET /ver HTTP/1.1"});
    }

    void unreadableVersionIsSaidPlainlyAndTheNextCheckWorks() {
        m_server->Answer(200, "OK", "<html>\r\n2126");
        QVERIFY(F().RunUpdateCheck());
        QCOMPARE(P().messages,
                 QStringList{QStringLiteral(
                     "The published version number could not be read: its first line is not a whole number.")});
        P().messages.clear();
        m_server->Answer(200, "OK", "2126");
        QVERIFY(F().RunUpdateCheck());
        QCOMPARE(P().messages, QStringList{kAvailable});
    }

    // A failed check says why, then repeats the answer of the earlier check from the kept file.
    void failedCheckRepeatsTheEarlierAnswer_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not found") << 0 << QStringLiteral("the server answered with status 404 (Not Found)");
        QTest::newRow("too large") << 1 << QStringLiteral("the answer is larger than 64 KiB");
        QTest::newRow("silent server") << 2 << QStringLiteral("no complete answer within 300 ms");
        QTest::newRow("closed port") << 3 << QStringLiteral("no connection to the server could be made");
        QTest::newRow("chunked, cut before the last chunk") << 4 << QStringLiteral("the answer arrived incomplete");
    }

    void failedCheckRepeatsTheEarlierAnswer() {
        QFETCH(int, mode);
        QFETCH(QString, reason);
        m_server->Answer(200, "OK", "2126");
        QVERIFY(F().RunUpdateCheck());
        QCOMPARE(P().messages, QStringList{kAvailable});
        P().messages.clear();

        switch (mode) {
        case 0:
            m_server->Answer(404, "Not Found", "2127");
            break;
        case 1:
            m_server->Answer(200, "OK", "2127\r\n" + std::string(64 * 1024, ' '));
            break;
        case 2:
            m_server->Silent();
            F().Form().SetFetchLimits(quillon::FetchLimits{300ms});
            break;
        case 3:
            ServeFromClosedPort();
            break;
        default:
            m_server->Raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n6\r\n2127\r\n\r\n", true);
            break;
        }
        QVERIFY(F().RunUpdateCheck());
        QCOMPARE(P().messages, (QStringList{kFailed + reason + QLatin1Char('.') + kFollows, kAvailable}));
        QCOMPARE(ReadVersionFile(), QByteArray("2126"));
        QCOMPARE(F().Form().PublishedVersion(), QStringLiteral("2126"));
    }

    void firstCheckOfflineSaysSoAndWritesNothing() {
        ServeFromClosedPort();
        QVERIFY(F().RunUpdateCheck());
        QCOMPARE(P().messages, QStringList{kFailed + QStringLiteral("no connection to the server could be made.")});
        QVERIFY(!QFile::exists(VersionFile()));
        QVERIFY(F().Form().PublishedVersion().isEmpty());
    }

    // Without a kept file, the number read earlier in this run answers.
    void numberReadEarlierAnswersWhenTheFileIsGone() {
        m_server->Answer(200, "OK", "2125");
        QVERIFY(F().RunUpdateCheck());
        QVERIFY(QFile::remove(VersionFile()));
        P().messages.clear();
        ServeFromClosedPort();
        QVERIFY(F().RunUpdateCheck());
        QCOMPARE(
            P().messages,
            (QStringList{kFailed + QStringLiteral("no connection to the server could be made.") + kFollows, kLatest}));
    }

    // While the check waits the window paints (its timers run) but takes no input: clicks, keys and
    // a second Update do nothing, and the cursor says it is busy.
    void windowTakesNoInputDuringTheCheck() {
        F().fetcher.SetForward({});
        F().fetcher.SetCanned(quillon::FetchResult{"2126", {}});
        F().fetcher.Hold();
        QSignalSpy finished(&F().Form(), &quillon::Form1::updateCheckFinished);
        auto* text1 = F().Find<QLineEdit>(QStringLiteral("Text1"));
        text1->setText(QStringLiteral("49-015420-323751-8"));
        F().Find<QAction>(QStringLiteral("ChkUpdate"))->trigger();
        QVERIFY(F().fetcher.WaitForCalls(1));
        QVERIFY(F().Form().UpdateCheckRunning());
        QVERIFY(QGuiApplication::overrideCursor() != nullptr);
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::BusyCursor);

        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
        ticker.start(10);
        QTest::mouseClick(F().Find<QPushButton>(QStringLiteral("Command1")), Qt::LeftButton);
        QTest::keyClicks(text1, QStringLiteral("99"));
        F().Find<QAction>(QStringLiteral("ChkUpdate"))->trigger();
        QTRY_VERIFY(ticks >= 3);
        QCOMPARE(text1->text(), QStringLiteral("49-015420-323751-8")); // neither cleaned nor typed into
        QCOMPARE(F().Caption(QStringLiteral("Label8")), QStringLiteral("0"));
        QCOMPARE(F().fetcher.Calls().size(), std::size_t{1});
        QVERIFY(P().messages.isEmpty());

        F().fetcher.Release();
        QVERIFY(finished.wait(10000));
        QCOMPARE(P().messages, QStringList{kAvailable});
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
        QTest::mouseClick(F().Find<QPushButton>(QStringLiteral("Command1")), Qt::LeftButton);
        QCOMPARE(F().Caption(QStringLiteral("Label8")), QStringLiteral("490154-20-323751-8"));
    }

    // Closing the window during a check ends it within a second: nothing is shown, update.dat is
    // untouched.
    void closingTheWindowEndsTheCheckAtOnce() {
        QVERIFY(WriteVersionFile("2124"));
        m_server->Silent();
        F().Form().SetFetchLimits(quillon::FetchLimits{}); // only the close can end it within the second

        QSignalSpy finished(&F().Form(), &quillon::Form1::updateCheckFinished);
        F().Find<QAction>(QStringLiteral("ChkUpdate"))->trigger();
        QTRY_COMPARE(m_server->RequestLines().size(), std::size_t{1});
        QElapsedTimer clock;
        clock.start();
        F().Form().close();
        F().DestroyForm();
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QStringLiteral("%1 ms").arg(clock.elapsed())));
        QCoreApplication::processEvents();
        QVERIFY(P().messages.isEmpty());
        QCOMPARE(finished.count(), 0);
        QCOMPARE(ReadVersionFile(), QByteArray("2124"));
        QVERIFY(m_server->WaitUntilAllClosed(1s));
    }

    // An endless body is cut off at 64 KiB, and the window's memory stays where it was.
    void endlessBodyLeavesMemoryFlat() {
        m_server->Stream("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n",
                         "1000\r\n" + std::string(4096, '7') + "\r\n");
        const qint64 before = ResidentBytes();
        QVERIFY(F().RunUpdateCheck());
        QCOMPARE(P().messages, QStringList{kFailed + QStringLiteral("the answer is larger than 64 KiB.")});
#if !defined(__SANITIZE_ADDRESS__)
        QVERIFY2(ResidentBytes() - before < 8 * 1024 * 1024, "memory grew");
#else
        static_cast<void>(before);
#endif
        QVERIFY(m_server->WaitUntilAllClosed(1s));
    }

    // An installed copy cannot write beside itself: update.dat goes to the application data folder.
    void versionFileGoesToApplicationDataWhereTheProgramFolderRefuses() {
        BlockedProgramFolder blocked;
        QVERIFY(blocked.loaded);
        QVERIFY(blocked.blocked);
        const QString data = blocked.root.filePath(QStringLiteral("data/quillon"));
        blocked.form.SetApplicationDataDirectory(std::filesystem::path(data.toStdU16String()));
        blocked.fetcher.SetCanned(quillon::FetchResult{"2126", {}});
        QSignalSpy finished(&blocked.form, &quillon::Form1::updateCheckFinished);
        blocked.form.findChild<QAction*>(QStringLiteral("ChkUpdate"))->trigger();
        QVERIFY(finished.wait(10000));
        QCOMPARE(blocked.platform.messages, QStringList{kAvailable});
        QFile file(QDir(data).filePath(QStringLiteral("update.dat")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("2126"));
    }
};

QTEST_MAIN(TestUpdate)
#include "test_update.moc"
