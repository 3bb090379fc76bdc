#include "WindowFixture.h"

#include "devicedb/DeviceTable.h"
#include "generation/ModelCatalogue.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QTextBrowser>
#include <QtTest>

using quillon::Form1;

namespace {

QString FromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QStringList Items(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) {
        items.append(combo->itemText(i));
    }
    return items;
}

QStringList FixedModelTexts() {
    QStringList texts;
    for (const std::string& text : quillon::FixedModelListTexts()) {
        texts.append(QString::fromStdString(text));
    }
    return texts;
}

} // namespace

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void startUpStates();
    void modelListFromDatabase_data();
    void modelListFromDatabase();
    void deviceLineWithFewFieldsKeepsPositions();
    void administratorRefusal_data();
    void administratorRefusal();
    void missingDatabase();
    void oversizedDatabase();
    void exitEndsAtOnce();
    void closeBoxEndsAtOnce();
};

void StartupTest::startUpStates() {
    WindowFixture fixture;
    QVERIFY(fixture.WriteDatabase(MakeDatabase(30)));
    QVERIFY(fixture.CreateAndLoad());
    Form1& form = fixture.Form();

    QCOMPARE(form.VersionText(), QStringLiteral("2.1.2.5 Professional Edition"));
    QCOMPARE(form.VersionNumber(), QStringLiteral("2125"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Quillon v2.1.2.5 Professional Edition"));
    QVERIFY(fixture.platform.messages.isEmpty());
    QCOMPARE(fixture.platform.administratorTests, 1);
    QVERIFY(!form.isVisible()); // start-up runs before the window is shown

    for (const char* hidden : {"Label12", "Label13", "Label14", "Label16", "Label17"}) {
        QVERIFY2(fixture.Find<QLabel>(QString::fromLatin1(hidden))->isHidden(), hidden);
    }
    for (const char* name : {"Combo1", "Combo2"}) {
        const auto* combo = fixture.Find<QComboBox>(QString::fromLatin1(name));
        QVERIFY2(combo->isHidden(), name);
        QCOMPARE(combo->currentIndex(), 0);
        QCOMPARE(combo->currentText(), QString());
    }
    QCOMPARE(Items(fixture.Find<QComboBox>("Combo2")), QStringList({"", "1", "10", "25", "50", "100", "250"}));

    const auto* scriptlet = fixture.Find<QTextBrowser>("Scriptlet1");
    QCOMPARE(scriptlet->size(), QSize(quillon::Twips(7025), quillon::Twips(905)));
    QVERIFY(scriptlet->toPlainText().contains(QStringLiteral("tacdex.csv")));
    QVERIFY(!scriptlet->openLinks());

    // The default IMEI stands unvalidated: the panel keeps its design-time captions.
    QCOMPARE(fixture.Find<QLineEdit>("Text1")->text(), QStringLiteral("490154203237518"));
    QCOMPARE(form.CurrentIMEI(), QString());
    QVERIFY(!form.FoundInDB());
    QVERIFY(!form.IMEIValid());
    QCOMPARE(fixture.Caption("Label8"), QStringLiteral("0"));
    QCOMPARE(fixture.Caption("Label9"), QStringLiteral("00"));
    QCOMPARE(fixture.Caption("Label10"), QStringLiteral("000000"));
    QCOMPARE(fixture.Caption("Label11"), QStringLiteral("00000"));
    QCOMPARE(fixture.Caption("Label1"), QStringLiteral("Check: 00000000000000"));
    QCOMPARE(fixture.Caption("Label2"), QStringLiteral("CheckSum"));
    QCOMPARE(fixture.Caption("Label3"), QStringLiteral("Luhn:"));

    QCOMPARE(fixture.Caption("Label20"), QStringLiteral("Database Version:   ") + kTestVersionText);
    QCOMPARE(fixture.Caption("Label25"), QStringLiteral("Devices Supported: 29"));
    QCOMPARE(form.Database().Table().LineCount(), std::size_t{30});
}

void StartupTest::modelListFromDatabase_data() {
    QTest::addColumn<int>("lineCount");
    QTest::addColumn<QStringList>("deviceEntries"); // positions 26 onwards

    QTest::newRow("27 lines: nothing after the separator") << 27 << QStringList();
    QTest::newRow("28 lines: line 26 at 26") << 28 << QStringList({"Maker26 Model 26"});
    QTest::newRow("32 lines: lines 26 to 30") << 32
                                              << QStringList({"Maker26 Model 26", "Maker27 Model 27",
                                                              "Maker28 Model 28", "Maker29 Model 29", "Acme Phone X"});
    QTest::newRow("1 line: only the version line") << 1 << QStringList();
}

void StartupTest::modelListFromDatabase() {
    QFETCH(int, lineCount);
    QFETCH(QStringList, deviceEntries);

    WindowFixture fixture;
    // Line 30 carries more fields than the list shows.
    QVERIFY(fixture.WriteDatabase(MakeDatabase(lineCount, [](int number) {
        return number == 30 ? QByteArray("35000030,Acme,Phone X,extra,more") : DefaultDeviceLine(number);
    })));
    QVERIFY(fixture.CreateAndLoad());

    const QStringList items = Items(fixture.Find<QComboBox>("Combo1"));
    QCOMPARE(items.size(), 26 + deviceEntries.size());
    QCOMPARE(items.mid(0, 25), FixedModelTexts());
    QCOMPARE(items.at(0), QString());
    QCOMPARE(items.at(24), QStringLiteral("Custom"));
    QCOMPARE(items.at(25), FromView(quillon::kSeparatorEntry));
    // Exactly these: lines 1 to 25, the last device line and the version line are never offered.
    QCOMPARE(items.mid(26), deviceEntries);
    QCOMPARE(fixture.Find<QComboBox>("Combo1")->currentIndex(), 0);
    QCOMPARE(fixture.Caption("Label25"), QStringLiteral("Devices Supported: %1").arg(lineCount - 1));
}

void StartupTest::deviceLineWithFewFieldsKeepsPositions() {
    WindowFixture fixture;
    QVERIFY(fixture.WriteDatabase(MakeDatabase(32, [](int number) {
        if (number == 27) {
            return QByteArray("35000027,OnlyMaker");
        }
        if (number == 28) {
            return QByteArray("35000028");
        }
        return DefaultDeviceLine(number);
    })));
    QVERIFY(fixture.CreateAndLoad());

    const auto* combo = fixture.Find<QComboBox>("Combo1");
    QCOMPARE(combo->count(), 31);
    QCOMPARE(combo->itemText(26), QStringLiteral("Maker26 Model 26"));
    QCOMPARE(combo->itemText(29), QStringLiteral("Maker29 Model 29"));
    QCOMPARE(combo->itemText(30), QStringLiteral("Maker30 Model 30"));
}

void StartupTest::administratorRefusal_data() {
    QTest::addColumn<bool>("databasePresent");
    QTest::newRow("database present") << true;
    QTest::newRow("database missing") << false;
}

void StartupTest::administratorRefusal() {
    QFETCH(bool, databasePresent);
    WindowFixture fixture;
    if (databasePresent) {
        QVERIFY(fixture.WriteDatabase(MakeDatabase(40)));
    }
    fixture.platform.administrator = false;

    QVERIFY(!fixture.CreateAndLoad());
    // Only the one message: a missing database is never even noticed.
    QCOMPARE(fixture.platform.messages,
             QStringList({QStringLiteral("FATAL ERROR: Quillon requires Administrator rights")}));
    QVERIFY(!fixture.Form().isVisible());
    QCOMPARE(fixture.Form().windowTitle(), QStringLiteral("Quillon v2.1.2.5 Professional Edition"));
    // The database was not read: the table is empty and the captions are the design-time ones.
    QCOMPARE(fixture.Form().Database().Table().LineCount(), std::size_t{0});
    QCOMPARE(fixture.Caption("Label20"), QStringLiteral("Database Version:  v0.99.0000"));
    QCOMPARE(fixture.Caption("Label25"), QStringLiteral("Devices Supported: 99999"));
    QCOMPARE(fixture.Find<QComboBox>("Combo1")->count(), 0);
    QCOMPARE(fixture.Find<QLineEdit>("Text1")->text(), QStringLiteral("Text1"));
}

void StartupTest::missingDatabase() {
    WindowFixture fixture;
    QVERIFY(!fixture.CreateAndLoad());
    QCOMPARE(fixture.platform.messages,
             QStringList({QStringLiteral("Fatal Error! IMEI Database not found! Please download and reinstall!")}));
    QCOMPARE(fixture.Caption("Label20"), QStringLiteral("Database Version: ERROR! Download and reinstall!"));
    QVERIFY(!fixture.Form().isVisible());
    QCOMPARE(fixture.Form().Database().Table().LineCount(), std::size_t{0});
    // Start-up stopped at the load: the fixed entries are there, the separator is not.
    QCOMPARE(Items(fixture.Find<QComboBox>("Combo1")), FixedModelTexts());
    QCOMPARE(fixture.Find<QLineEdit>("Text1")->text(), QStringLiteral("490154203237518"));
}

void StartupTest::oversizedDatabase() {
    WindowFixture fixture;
    {
        QFile file(fixture.DatabasePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(MakeDatabase(30)) > 0);
        // A sparse file: large on paper, nothing written to disk.
        QVERIFY(file.resize(static_cast<qint64>(quillon::kMaxDatabaseBytes) + 1));
    }
    QVERIFY(!fixture.CreateAndLoad());
    QCOMPARE(fixture.platform.messages.size(), 1);
    const QString message = fixture.platform.messages.first();
    QVERIFY2(message.startsWith(QStringLiteral("Fatal Error! IMEI Database could not be read!")), qPrintable(message));
    // The reason names the file, so the user knows what to repair.
    QVERIFY2(message.contains(QStringLiteral("tacdex.csv")), qPrintable(message));
    QCOMPARE(fixture.Caption("Label20"), QStringLiteral("Database Version: ERROR! Download and reinstall!"));
    QCOMPARE(fixture.Form().Database().Table().LineCount(), std::size_t{0});
}

void StartupTest::exitEndsAtOnce() {
    WindowFixture fixture;
    QVERIFY(fixture.WriteDatabase(MakeDatabase(30)));
    QVERIFY(fixture.CreateAndLoad());
    fixture.Form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&fixture.Form()));

    auto* exitAction = fixture.Find<QAction>("Exit");
    QVERIFY(exitAction != nullptr);
    exitAction->trigger();
    QVERIFY(!fixture.Form().isVisible());
    QVERIFY(fixture.platform.messages.isEmpty());
    // Nothing is written on the way out.
    QCOMPARE(QDir(fixture.DirectoryPath()).entryList(QDir::Files), QStringList({"tacdex.csv"}));
}

void StartupTest::closeBoxEndsAtOnce() {
    WindowFixture fixture;
    QVERIFY(fixture.WriteDatabase(MakeDatabase(30)));
    QVERIFY(fixture.CreateAndLoad());
    fixture.Form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&fixture.Form()));
    QVERIFY(fixture.Form().close());
    QVERIFY(!fixture.Form().isVisible());
    QVERIFY(fixture.platform.messages.isEmpty());
    QCOMPARE(QDir(fixture.DirectoryPath()).entryList(QDir::Files), QStringList({"tacdex.csv"}));
}

QTEST_MAIN(StartupTest)
#include "test_startup.moc"
