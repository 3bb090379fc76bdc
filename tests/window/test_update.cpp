#include "Form1.h"
#include "GenerationFixture.h"
#include "HttpDownload.h"
#include "Identity.h"
#include "LocalHttpServer.h"
#include "QtText.h"
#include "WindowFixture.h"

#include <QAction>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTest>
#include <QTimer>

#include <chrono>

using namespace std::chrono_literals;
using quillon::testing::LocalHttpServer;

namespace {

const QString kAvailable = QStringLiteral("An update is available!");
const QString kLatest = QStringLiteral("You have the latest version.");
const QString kFailed = QStringLiteral("The update check could not be completed: ");
const QString kUnreadable = QStringLiteral("The published version number could not be read: ");

} // namespace

class TestUpdate : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<WindowFixture> m_fixture;
    std::unique_ptr<LocalHttpServer> m_server;

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
    void Update() { F().Find<QAction>(QStringLiteral("ChkUpdate"))->trigger(); }

    // The version file is served from 127.0.0.1 in place of the service's host.
    void ServeLocally() { P().downloadHost = m_server->HostAndPort(); }

private slots:
    void init() {
        m_fixture = std::make_unique<WindowFixture>();
        m_server = std::make_unique<LocalHttpServer>();
        QVERIFY(m_server->IsListening());
        QVERIFY(F().WriteDatabase(MakeDatabase(30)));
        QVERIFY(F().CreateAndLoad());
        P().messages.clear();
        F().Form().SetDownloadTimeLimit(5s);
        ServeLocally();
    }

    void cleanup() {
        m_fixture.reset();
        m_server.reset();
    }

    void asksForTheVersionFileBesideTheProgram() {
        P().downloadHost.clear();
        F().Form().SetDownloadTimeLimit(quillon::kDownloadTimeLimit);
        P().cannedBody = "2125";
        Update();
        QCOMPARE(P().downloads.size(), 1);
        QCOMPARE(P().downloads.first().source.toString(), QStringLiteral("http://") +
                                                              quillon::ToQString(quillon::identity::kServiceHost) +
                                                              QStringLiteral("/ver"));
        QCOMPARE(P().downloads.first().localFile, VersionFile());
        QCOMPARE(P().downloads.first().timeLimit, 10'000ms);
        QCOMPARE(P().messages, QStringList{kLatest});
    }

    void comparesThePublishedVersion_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("published");
        QTest::newRow("newer") << QByteArray("2126") << QStringList{kAvailable} << QStringLiteral("2126");
        QTest::newRow("equal") << QByteArray("2125") << QStringList{kLatest} << QStringLiteral("2125");
        QTest::newRow("older") << QByteArray("2124") << QStringList{} << QStringLiteral("2124");
        QTest::newRow("blanks around") << QByteArray(" 2125 ") << QStringList{kLatest} << QStringLiteral(" 2125 ");
        QTest::newRow("more lines") << QByteArray("2126\r\nmore\r\n") << QStringList{kAvailable}
                                    << QStringLiteral("2126");
        QTest::newRow("beyond 16 bits") << QByteArray("40000\n") << QStringList{kAvailable} << QStringLiteral("40000");
    }

    void comparesThePublishedVersion() {
        QFETCH(QByteArray, body);
        QFETCH(QStringList, messages);
        QFETCH(QString, published);
        m_server->Answer(200, "OK", body);
        Update();
        QCOMPARE(P().messages, messages);
        QCOMPARE(F().Form().PublishedVersion(), published);
        QCOMPARE(ReadVersionFile(), body);
        QCOMPARE(m_server->RequestLines(), QList<QByteArray>{"GET /ver HTTP/1.1"});
    }

    void unreadableVersionIsSaidPlainly_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("reason");
        QTest::newRow("empty") << QByteArray() << QStringLiteral("the version file is empty");
        QTest::newRow("letters") << QByteArray("abc") << QStringLiteral("its first line is not a whole number");
        QTest::newRow("error page") << QByteArray("<html>\r\n2126")
                                    << QStringLiteral("its first line is not a whole number");
        QTest::newRow("out of range") << QByteArray("99999999999999999999")
                                      << QStringLiteral("the number on its first line is too large");
    }

    void unreadableVersionIsSaidPlainly() {
        QFETCH(QByteArray, body);
        QFETCH(QString, reason);
        m_server->Answer(200, "OK", body);
        Update();
        QCOMPARE(P().messages, QStringList{kUnreadable + reason});
        QCOMPARE(ReadVersionFile(), body);
        // Still usable: the next check answers normally.
        P().messages.clear();
        m_server->Answer(200, "OK", "2126");
        Update();
        QCOMPARE(P().messages, QStringList{kAvailable});
    }

    // A failed download is reported and compares nothing, not even the file an earlier check left.
    void failedDownloadTellsWhyAndKeepsTheFile_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not found") << 0 << QStringLiteral("the server answered with status 404 (Not Found)");
        QTest::newRow("too large") << 1 << QStringLiteral("the answer is larger than 64 KiB");
        QTest::newRow("silent server") << 2 << QStringLiteral("no complete answer within 300 ms");
        QTest::newRow("closed port") << 3 << QStringLiteral("the server refused the connection");
    }

    void failedDownloadTellsWhyAndKeepsTheFile() {
        QFETCH(int, mode);
        QFETCH(QString, reason);
        m_server->Answer(200, "OK", "2126");
        Update();
        QCOMPARE(P().messages, QStringList{kAvailable});
        P().messages.clear();

        switch (mode) {
        case 0:
            m_server->Answer(404, "Not Found", "2127");
            break;
        case 1:
            m_server->Answer(200, "OK", "2127\r\n" + QByteArray(quillon::kMaxDownloadBytes, ' '));
            break;
        case 2:
            m_server->Silent();
            F().Form().SetDownloadTimeLimit(300ms);
            break;
        default:
            P().downloadHost = QStringLiteral("127.0.0.1:%1").arg(quillon::testing::ClosedPort());
            break;
        }
        Update();
        QCOMPARE(P().messages, QStringList{kFailed + reason});
        QCOMPARE(ReadVersionFile(), QByteArray("2126"));
        QCOMPARE(F().Form().PublishedVersion(), QStringLiteral("2126"));
    }

    void firstCheckOfflineSaysSoAndWritesNothing() {
        P().downloadHost = QStringLiteral("127.0.0.1:%1").arg(quillon::testing::ClosedPort());
        Update();
        QCOMPARE(P().messages, QStringList{kFailed + QStringLiteral("the server refused the connection")});
        QVERIFY(!QFile::exists(VersionFile()));
        QVERIFY(F().Form().PublishedVersion().isEmpty());
    }

    void earlierFileIsNotReadWhenTheDownloadFails() {
        QVERIFY(WriteVersionFile("2126"));
        m_server->Answer(503, "Service Unavailable", "");
        Update();
        QCOMPARE(P().messages.size(), 1);
        QVERIFY2(P().messages.first().startsWith(kFailed), qPrintable(P().messages.first()));
        QVERIFY(!P().messages.contains(kAvailable));
        QCOMPARE(ReadVersionFile(), QByteArray("2126"));
    }

    // The fake's download answers without a server: a canned failure with its reason.
    void cannedFailureReasonReachesTheUser() {
        P().downloadHost.clear();
        P().cannedResult = quillon::DownloadResult{false, QStringLiteral("no network is available")};
        Update();
        QCOMPARE(P().messages, QStringList{kFailed + QStringLiteral("no network is available")});
    }

    void secondUpdateWhileOneRunsIsIgnored() {
        P().downloadHost.clear();
        P().cannedBody = "2126";
        int nested = 0;
        P().duringDownload = [&] {
            if (nested++ == 0) {
                Update();
                Update();
            }
        };
        Update();
        QCOMPARE(P().downloads.size(), 1);
        QCOMPARE(P().messages, QStringList{kAvailable});
        // Once it is over, Update works again.
        Update();
        QCOMPARE(P().downloads.size(), 2);
    }

    // With a real wait: the menu still answers while the server keeps silent, and a click on
    // Update then starts no second request.
    void menuAnswersDuringTheWaitWithoutASecondRequest() {
        m_server->Silent();
        F().Form().SetDownloadTimeLimit(400ms);
        bool clickedDuringWait = false;
        QTimer::singleShot(50ms, &F().Form(), [&] {
            clickedDuringWait = true;
            Update();
        });
        Update();
        QVERIFY(clickedDuringWait);
        QCOMPARE(m_server->RequestCount(), 1);
        QCOMPARE(P().messages, QStringList{kFailed + QStringLiteral("no complete answer within 400 ms")});
    }

    // A message box open across the time limit holds the download's event loop; the reply that
    // finished meanwhile is the answer, not a timeout.
    void finishedDownloadIsNotTurnedIntoATimeout() {
        m_server->Answer(200, "OK", "2126");
        const auto limit = 300ms;
        F().Form().SetDownloadTimeLimit(limit);
        P().duringDownload = [this] {
            QTimer::singleShot(0, &F().Form(), [this] { F().Find<QAction>(QStringLiteral("About"))->trigger(); });
        };
        bool boxShown = false;
        P().whileMessageShows = [&boxShown, limit] {
            if (boxShown) {
                return;
            }
            boxShown = true;
            // The box stays open well past the limit, as a user reading it would keep it.
            QEventLoop box;
            QTimer::singleShot(limit * 3, &box, &QEventLoop::quit);
            box.exec();
        };
        Update();
        QVERIFY(boxShown);
        QCOMPARE(P().messages.size(), 2);
        QVERIFY(P().messages.first().startsWith(QStringLiteral("Quillon v")));
        QCOMPARE(P().messages.last(), kAvailable);
        QCOMPARE(ReadVersionFile(), QByteArray("2126"));
    }

    // An installed copy cannot write beside itself: update.dat goes to the application data folder,
    // and the comparison reads it from there.
    void versionFileGoesToApplicationDataWhereTheProgramFolderRefuses() {
        BlockedProgramFolder blocked;
        QVERIFY(blocked.loaded);
        QVERIFY(blocked.blocked);
        const QString data = blocked.root.filePath(QStringLiteral("data/quillon"));
        blocked.form.SetApplicationDataDirectory(std::filesystem::path(data.toStdU16String()));
        blocked.form.SetDownloadTimeLimit(5s);
        blocked.platform.downloadHost = m_server->HostAndPort();
        blocked.platform.messages.clear();
        const auto update = [&] { blocked.form.findChild<QAction*>(QStringLiteral("ChkUpdate"))->trigger(); };

        m_server->Answer(200, "OK", "2126");
        update();
        QCOMPARE(blocked.platform.messages, QStringList{kAvailable});
        QCOMPARE(blocked.platform.downloads.last().localFile, QDir(data).filePath(QStringLiteral("update.dat")));
        QFile file(QDir(data).filePath(QStringLiteral("update.dat")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("2126"));
        file.close();

        m_server->Answer(200, "OK", "2125");
        update();
        QCOMPARE(blocked.platform.messages, (QStringList{kAvailable, kLatest}));

        // Neither place takes the file: the check says so and downloads nothing.
        QVERIFY(QDir(data).removeRecursively());
        QFile blocker(data);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const auto downloads = blocked.platform.downloads.size();
        update();
        QCOMPARE(blocked.platform.downloads.size(), downloads);
        QCOMPARE(blocked.platform.messages.size(), 3);
        QVERIFY2(
            blocked.platform.messages.last().startsWith(kFailed + QStringLiteral("update.dat can be written neither")),
            qPrintable(blocked.platform.messages.last()));
    }

    void downloadFileIsAPublicProcedure() {
        m_server->Answer(200, "OK", "hello");
        const QString target = F().DirectoryPath() + QStringLiteral("/other.dat");
        const quillon::DownloadResult result = F().Form().DownloadFile(
            QStringLiteral("http://") + quillon::ToQString(quillon::identity::kServiceHost) + QStringLiteral("/ver"),
            target);
        QVERIFY2(result.ok, qPrintable(result.reason));
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("hello"));
    }
};

QTEST_MAIN(TestUpdate)
#include "test_update.moc"
