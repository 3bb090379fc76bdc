// Every kind of bad input, fed to the finished program: the core, quillon-cli and the window
// through the fake platform. Each row checks for a clear message or result, that the program is
// still usable afterwards, and that no file was lost, overwritten or left half-written.
#include "GenerationFixture.h"
#include "GuardedApplication.h"
#include "WindowFixture.h"
#include "present/ProblemText.h"
#include "support/TestHttpServer.h"

#include "devicedb/DeviceTable.h"
#include "generation/Generation.h"
#include "generation/Report.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QUrlQuery>

#include <chrono>

using namespace std::chrono_literals;
using quillon::testing::TestHttpServer;

namespace {

// An object whose handler runs out of memory.
class RunsOutOfMemory : public QObject {
public:
    bool event(QEvent* /*event*/) override { throw std::bad_alloc(); }
};

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

struct CliRun {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Arguments go straight to the program; no shell ever sees them.
CliRun RunCli(const QStringList& args, const QByteArray& input = {}) {
    QProcess process;
    process.start(QStringLiteral(QUILLON_CLI_PATH), args);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

QByteArray BinaryGarbage() {
    QByteArray bytes;
    quint32 state = 12345;
    for (int i = 0; i < 8192; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes.append(static_cast<char>(state >> 24));
    }
    return bytes;
}

QByteArray Over64MiB() {
    const QByteArray line = "35000001,Maker,Model\r\n";
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(quillon::kMaxDatabaseBytes) + line.size());
    while (static_cast<std::uintmax_t>(bytes.size()) <= quillon::kMaxDatabaseBytes) {
        bytes += line;
    }
    return bytes;
}

} // namespace

class TestBadInput : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<WindowFixture> m_fixture;

    WindowFixture& F() { return *m_fixture; }
    FakePlatform& P() { return m_fixture->platform; }
    QLineEdit* Text1() { return F().Find<QLineEdit>(QStringLiteral("Text1")); }
    void Click(const QString& name) { QTest::mouseClick(F().Find<QWidget>(name), Qt::LeftButton); }
    void Validate(const QString& text) {
        Text1()->setText(text);
        Click(QStringLiteral("Command1"));
    }
    // The program still answers a plain request as it should.
    void ExpectUsable() {
        P().messages.clear();
        Validate(QStringLiteral("49-015420-323751-8"));
        QCOMPARE(P().messages, QStringList());
        QCOMPARE(F().Caption(QStringLiteral("Label16")), QStringLiteral("VALID"));
        QCOMPARE(F().Caption(QStringLiteral("Label2")), QStringLiteral("CheckSum: 52(60)"));
        QVERIFY(F().Form().IMEIValid());
    }
    void StartWith(const QByteArray& database) {
        QVERIFY(F().WriteDatabase(database));
        QVERIFY(F().CreateAndLoad());
        P().messages.clear();
    }

private slots:
    void init() { m_fixture = std::make_unique<WindowFixture>(); }
    void cleanup() { m_fixture.reset(); }

    // Memory running out in a handler never crosses the event loop: the user is told, the event
    // counts as not handled, and the window goes on working.
    void outOfMemoryInAHandler() {
        StartWith("49015420,Acme,Phone X\r\n99999999,QN-2026.12");
        auto& application = static_cast<quillon::GuardedApplication&>(*QCoreApplication::instance());
        application.SetDialogs(&P());
        RunsOutOfMemory receiver;
        QEvent event(QEvent::User);
        QVERIFY(!QCoreApplication::sendEvent(&receiver, &event));
        application.SetDialogs(nullptr);
        QCOMPARE(P().messages, QStringList{QString::fromLatin1(quillon::kOutOfMemoryMessage)});
        ExpectUsable();
    }

    void database_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("starts");
        QTest::addColumn<QString>("countCaption");
        QTest::addColumn<QString>("lookup");       // an IMEI to validate after start-up
        QTest::addColumn<QString>("manufacturer"); // what Label13 then shows
        QTest::addColumn<QString>("reason");       // what the refusal says, where it is refused

        const QByteArray version = "\r\n99999999,QN-2026.12";
        QTest::newRow("binary") << BinaryGarbage() << true << QString() << QStringLiteral("356938035643809")
                                << QStringLiteral("Manufacturer: Not Found in Database!") << QString();
        QTest::newRow("over 64 MiB") << Over64MiB() << false << QString() << QString() << QString()
                                     << QStringLiteral("64 MiB");
        QTest::newRow("lines without commas")
            << QByteArray("35693803\r\nno commas at all\r\n99999999") << true << QStringLiteral("Devices Supported: 2")
            << QStringLiteral("356938035643809") << QStringLiteral("Manufacturer: ") << QString();
        QTest::newRow("CR-only line ends")
            << QByteArray("35693803,Maker A,Phone\r35000001,B,C\r99999999,QN-2026.12\r") << true
            << QStringLiteral("Devices Supported: 2") << QStringLiteral("356938035643809")
            << QStringLiteral("Manufacturer: Maker A") << QString();
        QTest::newRow("Windows-1252") << QByteArray("35693803,Soci\xE9t\xE9 \x80,T\xFCr") + version << true
                                      << QStringLiteral("Devices Supported: 1") << QStringLiteral("356938035643809")
                                      << QStringLiteral("Manufacturer: Soci\u00e9t\u00e9 \u20ac") << QString();
        // Not even a version line: refused like an unreadable file, and said to be empty.
        QTest::newRow("empty") << QByteArray() << false << QString() << QString() << QString()
                               << QStringLiteral("is empty");
        QTest::newRow("all line ends") << QByteArray(3'000'000, '\n') << false << QString() << QString() << QString()
                                       << QStringLiteral("more than 2000000 lines");
        QTest::newRow("Windows-1252 text past 64 MiB")
            << QByteArray(30 << 20, '\x80') << false << QString() << QString() << QString() << QStringLiteral("64 MiB");
        QTest::newRow("one huge line") << QByteArray(4 << 20, 'x') << true << QStringLiteral("Devices Supported: 0")
                                       << QStringLiteral("356938035643809")
                                       << QStringLiteral("Manufacturer: Not Found in Database!") << QString();
    }
    void database() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, starts);
        QFETCH(QString, countCaption);
        QFETCH(QString, lookup);
        QFETCH(QString, manufacturer);
        QFETCH(QString, reason);

        // Core: the read either succeeds or says why.
        QVERIFY(F().WriteDatabase(bytes));
        quillon::DeviceTable table;
        const std::optional<quillon::Problem> read =
            quillon::ReadDeviceTable(std::filesystem::path(F().DatabasePath().toStdU16String()), table);
        QCOMPARE(!read, starts);
        const std::string why = read ? quillon::ProblemText(*read) : std::string();
        QVERIFY2(starts || why.find(reason.toStdString()) != std::string::npos, why.c_str());

        // Command line: a result for each input, or exit 2 with the reason.
        const CliRun cli =
            RunCli({QStringLiteral("validate"), QStringLiteral("--db"), F().DatabasePath(), QStringLiteral("--format"),
                    QStringLiteral("json"), QStringLiteral("490154203237518")});
        if (starts) {
            QCOMPARE(cli.status, 0);
            QVERIFY(cli.out.contains("\"valid\":true"));
        } else {
            QCOMPARE(cli.status, 2);
            QVERIFY2(cli.err.contains(reason.toUtf8()), cli.err.constData());
            QVERIFY(cli.out.isEmpty());
        }

        // Window: starts and works, or ends with a message that names the problem.
        const bool loaded = F().CreateAndLoad();
        QCOMPARE(loaded, starts);
        if (!starts) {
            QCOMPARE(P().messages.size(), 1);
            QVERIFY2(P().messages.first().contains(reason), qPrintable(P().messages.first()));
        } else {
            QCOMPARE(P().messages, QStringList());
            if (!countCaption.isEmpty()) {
                QCOMPARE(F().Caption(QStringLiteral("Label25")), countCaption);
            }
            Validate(lookup);
            QCOMPARE(F().Caption(QStringLiteral("Label13")), manufacturer);
            ExpectUsable();
        }
        // The database is only ever read.
        QCOMPARE(ReadAll(F().DatabasePath()), bytes);
    }

    void textBox_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("rejected"); // "Invalid IMEI" rather than a panel
        QTest::newRow("10,000 characters") << QString(10000, u'7') << true;
        QTest::newRow("NUL inside") << QStringLiteral("4901542032375") + QChar(u'\0') + QStringLiteral("8") << false;
        QTest::newRow("only NUL") << QString(1, QChar(u'\0')) << false;
        QTest::newRow("tabs") << QStringLiteral("\t49015420\t3237518") << true;
        QTest::newRow("only separators") << QStringLiteral(" - / . _ ~ # @ , ") << true;
        QTest::newRow("shell metacharacters") << QStringLiteral("$(id);`ls`|&>") << false;
        QTest::newRow("emoji and right-to-left") << QStringLiteral("\U0001F600\u202E49015420323751") << true;
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + QStringLiteral("35") << false;
    }
    void textBox() {
        QFETCH(QString, text);
        QFETCH(bool, rejected);
        StartWith(MakeDatabase(30));

        Validate(text);
        if (rejected) {
            QCOMPARE(P().messages, QStringList{QStringLiteral("Invalid IMEI")});
            QVERIFY(F().Find<QLabel>(QStringLiteral("Label16"))->isHidden());
        } else {
            QCOMPARE(P().messages, QStringList());
            QCOMPARE(F().Caption(QStringLiteral("Label16")), QStringLiteral("INVALID"));
        }
        // The copy takes the text box exactly as it stands.
        Click(QStringLiteral("Label24"));
        QCOMPARE(P().clipboardTexts.last(), Text1()->text());
        ExpectUsable();

        // The command line takes the same text on standard input as one input, with one result.
        const QByteArray line = text.toUtf8();
        if (!line.contains('\n')) {
            const CliRun cli =
                RunCli({QStringLiteral("validate"), QStringLiteral("--format"), QStringLiteral("json")}, line + "\n");
            QCOMPARE(cli.status, 1);
            QCOMPARE(cli.out.count('\n'), 1);
            QCOMPARE(cli.out.contains("\"rejected\":true"), rejected);
        }
    }

    // Whatever the last validation left in CurrentIMEI reaches the browser as one address whose
    // imei value decodes back exactly; nothing in it is ever run.
    void shellMetacharactersInTheLookup() {
        StartWith(MakeDatabase(30));
        const QString text = QStringLiteral("\"$(id)\";`ls`|&%41 <x>'");
        Validate(text);
        const QString current = F().Form().CurrentIMEI();
        QVERIFY(!F().Form().FoundInDB());
        F().Find<QLabel>(QStringLiteral("Label13"))->show();
        Click(QStringLiteral("Label13"));
        QCOMPARE(P().openedAddresses.size(), 1);
        const QUrl url(P().openedAddresses.first(), QUrl::StrictMode);
        QVERIFY(url.isValid());
        QCOMPARE(url.scheme(), QStringLiteral("http"));
        QCOMPARE(QUrlQuery(url).queryItemValue(QStringLiteral("imei"), QUrl::FullyDecoded), current);
        ExpectUsable();
    }

    void reportFolderRefused() {
        BlockedProgramFolder window;
        QVERIFY(window.loaded && window.blocked);
        const QString documents = window.root.filePath(QStringLiteral("Documents"));
        window.form.SetDocumentsDirectory(std::filesystem::path(documents.toStdU16String()));
        QVERIFY(window.Generate(QStringLiteral("2")));
        QCOMPARE(window.platform.messages.size(), 1);
        QCOMPARE(ReportFiles(documents).size(), 1);
        QVERIFY(window.platform.messages.first().endsWith(
            QDir::toNativeSeparators(QDir(documents).absoluteFilePath(ReportFiles(documents).first()))));
        QCOMPARE(AllFiles(documents), ReportFiles(documents));
    }

    // Reports finishing within the same second never replace one another.
    void reportNameCollision() {
        StartWith(MakeDatabase(30));
        F().Form().SetPassInterval(0ms);
        F().Form().SetRandomSourceFactory([] { return std::make_unique<quillon::SeededRandomSource>(7); });
        // An earlier report under the name this run takes.
        const QString name = QString::fromStdString(quillon::ReportFileName(F().clock.LocalNow()));
        QVERIFY(WriteAll(QDir(F().DirectoryPath()).filePath(name), "earlier report"));
        QSignalSpy finished(&F().Form(), &quillon::Form1::generationFinished);
        F().Find<QComboBox>(QStringLiteral("Combo2"))->setEditText(QStringLiteral("3"));
        Click(QStringLiteral("Command2"));
        QVERIFY(finished.count() == 1 || finished.wait(kRunTimeout));

        QCOMPARE(ReadAll(QDir(F().DirectoryPath()).filePath(name)), QByteArray("earlier report"));
        QCOMPARE(ReportFiles(F().DirectoryPath()).size(), 2);
        QCOMPARE(P().messages.size(), 1);
        const QString written = P().messages.first().section(QStringLiteral("Output written to "), 1);
        QCOMPARE(written, QDir::toNativeSeparators(QDir(F().DirectoryPath())
                                                       .absoluteFilePath(QString::fromStdString(
                                                           quillon::NumberedReportFileName(name.toStdString(), 2)))));
        QVERIFY(ReadAll(written).endsWith(F().Form().GeneratedList().toUtf8() + "\r\n"));
        ExpectUsable();
    }

    void updateServer_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message"); // how the message begins
        QTest::addColumn<bool>("replaced");   // update.dat then holds the body, whole
        const QString failed = QStringLiteral("The update check could not be completed: ");
        QTest::newRow("404") << QStringLiteral("404") << failed << false;
        QTest::newRow("garbage instead of HTTP") << QStringLiteral("garbage") << failed << false;
        QTest::newRow("an error page with status 200")
            << QStringLiteral("html") << QStringLiteral("The published version number could not be read: ") << true;
        QTest::newRow("oversized body") << QStringLiteral("oversized") << failed << false;
        QTest::newRow("nothing at all") << QStringLiteral("silent") << failed << false;
        QTest::newRow("closed port") << QStringLiteral("closed") << failed << false;
    }
    void updateServer() {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        QFETCH(bool, replaced);
        StartWith(MakeDatabase(30));
        TestHttpServer server;
        const QString versionFile = QDir(F().DirectoryPath()).filePath(QStringLiteral("update.dat"));
        const QByteArray earlier = "2124\r\n";
        QVERIFY(WriteAll(versionFile, earlier));

        const std::string page = "<html><body>Not here</body></html>";
        F().fetcher.SetForward(FetchFrom(server.HostAndPort()));
        F().Form().SetFetchLimits(quillon::FetchLimits{300ms});
        if (kind == QStringLiteral("404")) {
            server.Answer(404, "Not Found", page);
        } else if (kind == QStringLiteral("garbage")) {
            server.Raw(std::string("\x00\x01\xFFnot http at all\r\n\r\n", 21), true);
        } else if (kind == QStringLiteral("html")) {
            server.Answer(200, "OK", page);
        } else if (kind == QStringLiteral("oversized")) {
            server.Answer(200, "OK", std::string(70 * 1024, '9'));
        } else if (kind == QStringLiteral("silent")) {
            server.Silent();
        } else {
            F().fetcher.SetForward(FetchFrom("127.0.0.1:" + std::to_string(quillon::testing::ClosedPort())));
        }
        QVERIFY(F().RunUpdateCheck());

        QCOMPARE(P().messages.size(), 1);
        QVERIFY2(P().messages.first().startsWith(message), qPrintable(P().messages.first()));
        QCOMPARE(ReadAll(versionFile), replaced ? QByteArray::fromStdString(page) : earlier);
        QCOMPARE(QDir(F().DirectoryPath()).entryList(QDir::Files | QDir::Hidden),
                 QStringList({QStringLiteral("tacdex.csv"), QStringLiteral("update.dat")}));

        // The next check works again.
        TestHttpServer good;
        good.Answer(200, "OK", "2125\r\n");
        F().fetcher.SetForward(FetchFrom(good.HostAndPort()));
        P().messages.clear();
        QVERIFY(F().RunUpdateCheck());
        QCOMPARE(P().messages, QStringList{QStringLiteral("You have the latest version.")});
        ExpectUsable();
    }
};

// The program's own application object, so that events are delivered as in the program.
int main(int argc, char** argv) {
    quillon::GuardedApplication application(argc, argv);
    TestBadInput test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_bad_input.moc"
