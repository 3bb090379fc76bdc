// The user's own database (written by quillon-cli import): chosen at start-up before the one
// beside the program, named in the help view, and passed over with its reason when refused.
#include "WindowFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QTextBrowser>
#include <QtTest>

#include <filesystem>

class TestUserDatabase : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<WindowFixture> m_fixture;

    WindowFixture& F() { return *m_fixture; }
    FakePlatform& P() { return m_fixture->platform; }
    void Validate(const QString& text) { F().Validate(text); }
    QString HelpText() { return F().Find<QTextBrowser>(QStringLiteral("Scriptlet1"))->toPlainText(); }
    static QString Native(const QString& path) { return QDir::toNativeSeparators(path); }

    static constexpr const char* kProgramDatabase = "35332811,Program,Old\r\n99999999,PROGRAM\r\n";
    static constexpr const char* kUserDatabase = "35332811,Samsung,Galaxy S24 Ultra\r\n"
                                                 "35123456,Apple,iPhone 17 Pro Max\r\n"
                                                 "99999999,2026-12-08\r\n";

private slots:
    void init() {
        m_fixture = std::make_unique<WindowFixture>();
        QVERIFY(F().WriteDatabase(kProgramDatabase));
    }
    void cleanup() { m_fixture.reset(); }

    // The user's file is read, shown, named in the help view and re-read before each validation.
    void usersDatabaseIsReadAndNamedInTheHelpView() {
        QVERIFY(F().WriteUserDatabase(kUserDatabase));
        QVERIFY(F().CreateAndLoad());
        QVERIFY(P().messages.isEmpty());
        QCOMPARE(F().Caption(QStringLiteral("Label20")), QStringLiteral("Database Version:   2026-12-08"));
        QCOMPARE(F().Caption(QStringLiteral("Label25")), QStringLiteral("Devices Supported: 2"));
        QVERIFY2(HelpText().contains(Native(F().UserDatabasePath())), qPrintable(HelpText()));
        QVERIFY(!HelpText().contains(Native(F().DatabasePath())));

        Validate(QStringLiteral("353328111234561"));
        QCOMPARE(F().Caption(QStringLiteral("Label13")), QStringLiteral("Manufacturer: Samsung"));
        QCOMPARE(F().Caption(QStringLiteral("Label14")), QStringLiteral("Model: Galaxy S24 Ultra"));

        QVERIFY(F().WriteUserDatabase("35332811,Samsung,Galaxy S24 Ultra 5G\r\n99999999,2026-12-09\r\n"));
        Validate(QStringLiteral("353328111234561"));
        QCOMPARE(F().Caption(QStringLiteral("Label14")), QStringLiteral("Model: Galaxy S24 Ultra 5G"));
    }

    // Without a user's file, or once it is deleted, the database beside the program is read.
    void withoutTheUsersFileTheProgramsIsRead() {
        QVERIFY(F().WriteUserDatabase(kUserDatabase));
        QVERIFY(QFile::remove(F().UserDatabasePath()));
        QVERIFY(F().CreateAndLoad());
        QVERIFY(P().messages.isEmpty());
        QCOMPARE(F().Caption(QStringLiteral("Label20")), QStringLiteral("Database Version:   PROGRAM"));
        QVERIFY2(HelpText().contains(Native(F().DatabasePath())), qPrintable(HelpText()));
        Validate(QStringLiteral("353328111234561"));
        QCOMPARE(F().Caption(QStringLiteral("Label13")), QStringLiteral("Manufacturer: Program"));
    }

    // A user's file that is there but refused is named with its reason; the program goes on with
    // the file beside it.
    void refusedUsersDatabaseFallsBackWithItsReason() {
        const QByteArray refused[] = {QByteArray(), QByteArray(70 * 1024 * 1024, ',')};
        const char* reasons[] = {"is empty", "is larger than 64 MiB"};
        for (std::size_t i = 0; i < std::size(refused); ++i) {
            m_fixture = std::make_unique<WindowFixture>();
            QVERIFY(F().WriteDatabase(kProgramDatabase));
            QVERIFY(F().WriteUserDatabase(refused[i]));
            QVERIFY(F().CreateAndLoad());
            QCOMPARE(P().messages.size(), 1);
            const QString message = P().messages.first();
            // The folder as given, then the file's name after the system's separator.
            QVERIFY2(message.contains(QFileInfo(F().UserDatabasePath()).absolutePath()), qPrintable(message));
            QVERIFY2(message.contains(QStringLiteral("tacdex.csv is empty")) || i != 0, qPrintable(message));
            QVERIFY2(message.contains(QString::fromLatin1(reasons[i])), qPrintable(message));
            QVERIFY2(message.endsWith(QStringLiteral("Quillon goes on with the database beside the program: ") +
                                      Native(F().DatabasePath())),
                     qPrintable(message));
            QCOMPARE(F().Caption(QStringLiteral("Label20")), QStringLiteral("Database Version:   PROGRAM"));
            QVERIFY(HelpText().contains(Native(F().DatabasePath())));
            Validate(QStringLiteral("353328111234561"));
            QCOMPARE(F().Caption(QStringLiteral("Label13")), QStringLiteral("Manufacturer: Program"));
        }
    }

    // As a user would: quillon-cli import of a GSMA export with a 2024 phone's code writes the
    // user's database, and the window started next finds the phone; once the file is deleted the
    // window starts with the database beside it again.
    void importedDatabaseIsUsedByTheWindowUntilDeleted() {
        QTemporaryDir data;
        QTemporaryDir exports;
        const QString exportPath = exports.filePath(QStringLiteral("gsma.txt"));
        QFile exported(exportPath);
        QVERIFY(exported.open(QIODevice::WriteOnly));
        exported.write("TAC|Marketing Name|Manufacturer (or) Applicant|Bands|Brand Name|Model Name\r\n"
                       "35332811|Galaxy S24 Ultra|Samsung Electronics|GSM|Samsung|SM-S928B\r\n");
        exported.close();
        QProcess cli;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
#ifdef Q_OS_WIN
        environment.insert(QStringLiteral("APPDATA"), QDir::toNativeSeparators(data.path()));
        const QString folder = data.filePath(QStringLiteral("Quillon"));
#else
        environment.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
        const QString folder = data.filePath(QStringLiteral("quillon"));
#endif
        cli.setProcessEnvironment(environment);
        cli.start(QStringLiteral(QUILLON_CLI_PATH),
                  {QStringLiteral("import"), QStringLiteral("--db"), F().DatabasePath(), exportPath});
        QVERIFY(cli.waitForFinished(60000));
        QCOMPARE(cli.exitCode(), 0);

        auto start = [&] {
            m_fixture = std::make_unique<WindowFixture>();
            QVERIFY(F().WriteDatabase(kProgramDatabase));
            F().Create().SetUserDataDirectory(std::filesystem::path(folder.toStdU16String()));
            QVERIFY(F().Form().Form_Load());
            Validate(QStringLiteral("353328111234561"));
        };
        start();
        QCOMPARE(F().Caption(QStringLiteral("Label13")), QStringLiteral("Manufacturer: Samsung"));
        QCOMPARE(F().Caption(QStringLiteral("Label14")), QStringLiteral("Model: Galaxy S24 Ultra"));

        QVERIFY(QFile::remove(folder + QStringLiteral("/tacdex.csv")));
        start();
        QCOMPARE(F().Caption(QStringLiteral("Label13")), QStringLiteral("Manufacturer: Program"));
        QCOMPARE(F().Caption(QStringLiteral("Label20")), QStringLiteral("Database Version:   PROGRAM"));
    }

    // With the user's file refused and none beside the program, start-up ends as it always has.
    void neitherFileEndsStartUpWithTheFatalMessage() {
        QVERIFY(QFile::remove(F().DatabasePath()));
        QVERIFY(F().WriteUserDatabase(QByteArray()));
        QVERIFY(!F().CreateAndLoad());
        QCOMPARE(P().messages.size(), 2);
        QCOMPARE(P().messages.last(), QString::fromLatin1(quillon::kDatabaseMissingMessage));
    }
};

QTEST_MAIN(TestUserDatabase)
#include "test_user_database.moc"
