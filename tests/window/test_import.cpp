// Importing device lists from the window, and going back to the shipped list: the questions asked
// between the run's steps, what is written, and the window using the new list at once.
#include "ColumnDialog.h"
#include "WindowFixture.h"

#include "system/FileWriter.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

#include <atomic>
#include <filesystem>
#include <future>
#include <utility>

namespace {

const QByteArray kGsmaExport = "TAC|Marketing Name|Manufacturer (or) Applicant|Bands|Brand Name|Model Name\r\n"
                               "35332811|Galaxy S24 Ultra|Samsung Electronics|GSM|Samsung|SM-S928B\r\n"
                               "35000005|Phone Five|Acme Inc|GSM|Acme|A5\r\n";
const QStringList kCommands = {"Command1", "Command2"};
const QStringList kActions = {"ChkUpdate", "ImportDeviceList", "UseShippedDeviceList"};

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

bool WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QString Quoted(const QString& path) {
    return QLatin1Char('"') + QDir::toNativeSeparators(path) + QLatin1Char('"');
}

QStringList Items(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) {
        items.append(combo->itemText(i));
    }
    return items;
}

} // namespace

class TestImport : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<WindowFixture> m_fixture;
    QTemporaryDir m_exports;

    WindowFixture& F() { return *m_fixture; }
    FakePlatform& P() { return m_fixture->platform; }
    QString Export(const QString& name, const QByteArray& bytes) {
        const QString path = m_exports.filePath(name);
        return WriteAll(path, bytes) ? path : QString();
    }
    // Chooses a menu item and waits until the import it starts has ended.
    bool Run(const QString& action) {
        QSignalSpy finished(&F().Form(), &quillon::Form1::importFinished);
        F().Find<QAction>(action)->trigger();
        return !finished.isEmpty() || finished.wait(20000);
    }
    bool Import(const QString& file) {
        P().filesToChoose = {{file}};
        return Run(QStringLiteral("ImportDeviceList"));
    }
    QString HelpText() { return F().Find<QTextBrowser>(QStringLiteral("Scriptlet1"))->toPlainText(); }
    QComboBox* ModelList() { return F().Find<QComboBox>(QStringLiteral("Combo1")); }
    // Whether the commands that an import holds back are all enabled (or all disabled).
    bool CommandsEnabled(bool enabled) {
        for (const QString& name : kCommands) {
            if (F().Find<QPushButton>(name)->isEnabled() != enabled) {
                return false;
            }
        }
        for (const QString& name : kActions) {
            if (F().Find<QAction>(name)->isEnabled() != enabled) {
                return false;
            }
        }
        return true;
    }
    // Starts an import of the GSMA export that stops at its first progress until m_release is set.
    std::promise<void> m_release;
    std::atomic<bool> m_held{false};
    bool StartHeldImport() {
        m_release = {};
        m_held = false;
        F().Form().SetImportProgressHook(
            [this, released = m_release.get_future().share()](std::uint64_t, std::uint64_t) {
                if (!m_held.exchange(true)) {
                    released.wait();
                }
            });
        P().filesToChoose = {{Export(QStringLiteral("gsma.txt"), kGsmaExport)}};
        F().Find<QAction>(QStringLiteral("ImportDeviceList"))->trigger();
        return QTest::qWaitFor([this] { return m_held.load(); });
    }
    void Validate(const QString& text) { F().Validate(text); }

private slots:
    void init() {
        m_fixture = std::make_unique<WindowFixture>();
        QVERIFY(F().WriteDatabase(MakeDatabase(30)));
    }
    void cleanup() { m_fixture.reset(); }

    // A GSMA export merged into the shipped list: the summary, then the window as if it had started
    // with the file written: captions, help view, the model list line for line, lookups.
    void importedListIsUsedAtOnce() {
        QVERIFY(F().CreateAndLoad());
        ModelList()->setCurrentIndex(27);
        const QString exported = Export(QStringLiteral("gsma.txt"), kGsmaExport);
        QVERIFY(Import(exported));

        QCOMPARE(P().fileDialogs, QStringList({"Import Device List"}));
        QCOMPARE(P().fileFilters, QStringList({"Device lists (*.txt *.csv *.tsv)", "All files (*)"}));
        QCOMPARE(P().messages.size(), 1);
        QCOMPARE(P().messages.first().split(QStringLiteral("\r\n")),
                 QStringList(
                     {Quoted(exported) + QStringLiteral(": 2 rows read, GSMA layout, UTF-8"),
                      QStringLiteral("2 devices imported: 1 new, 1 replaced in the base ") + Quoted(F().DatabasePath()),
                      QStringLiteral("The window's model list leaves out lines 1 to 25 and the last device "
                                     "line, so it will not offer 1 imported device (validation finds them): "
                                     "35000005 (line 5)"),
                      QStringLiteral("Wrote ") + Quoted(F().UserDatabasePath()) +
                          QStringLiteral(": 30 devices, version 2026-01-02")}));
        QCOMPARE(F().Caption(QStringLiteral("Label20")), QStringLiteral("Database Version:   2026-01-02"));
        QCOMPARE(F().Caption(QStringLiteral("Label25")), QStringLiteral("Devices Supported: 30"));
        QVERIFY2(HelpText().contains(QDir::toNativeSeparators(F().UserDatabasePath())), qPrintable(HelpText()));
        QCOMPARE(ModelList()->currentIndex(), 0);
        QCOMPARE(ModelList()->itemText(29), QStringLiteral("Samsung Galaxy S24 Ultra"));
        QVERIFY(CommandsEnabled(true));
        // Gone with its step, so that it cannot show up over the message.
        QVERIFY(F().Find<QProgressDialog>(QStringLiteral("ImportProgress")) == nullptr);

        WindowFixture started;
        QVERIFY(started.WriteDatabase(ReadAll(F().UserDatabasePath())));
        QVERIFY(started.CreateAndLoad());
        QCOMPARE(Items(ModelList()), Items(started.Find<QComboBox>(QStringLiteral("Combo1"))));

        Validate(QStringLiteral("353328111234561"));
        QCOMPARE(F().Caption(QStringLiteral("Label13")), QStringLiteral("Manufacturer: Samsung"));
        QCOMPARE(F().Caption(QStringLiteral("Label14")), QStringLiteral("Model: Galaxy S24 Ultra"));
    }

    // A file the import refuses: one message with the reason, nothing written, the window as it was.
    void refusedFileChangesNothing_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << QByteArray() << QStringLiteral(": No such file or directory. Nothing was written.");
        QTest::newRow("open quote") << QByteArray("tac,brand,model\n35000099,\"Acme,Phone\n")
                                    << QStringLiteral("line 2 opens a quoted field that is still open at the end");
    }
    void refusedFileChangesNothing() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        QVERIFY(F().CreateAndLoad());
        const QString file =
            bytes.isEmpty() ? m_exports.filePath(QStringLiteral("none.csv")) : Export(QStringLiteral("bad.csv"), bytes);
        QVERIFY(Import(file));
        QCOMPARE(P().messages.size(), 1);
        QVERIFY2(P().messages.first().contains(Quoted(file)) && P().messages.first().contains(reason),
                 qPrintable(P().messages.first()));
        QVERIFY(!QFile::exists(F().UserDatabasePath()));
        QCOMPARE(F().Caption(QStringLiteral("Label20")), QStringLiteral("Database Version:   TEST-01.02"));
        QVERIFY(HelpText().contains(QDir::toNativeSeparators(F().DatabasePath())));
        QVERIFY(CommandsEnabled(true));
    }

    // Short codes are offered their zeros back, long rows let through, each only on Yes.
    void questionsBetweenTheSteps_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QByteArray>("written");
        const QByteArray shortCode = "tac,brand,model\n1234567,Short,Code\n35000099,Acme,Phone\n";
        const QByteArray longRow = "tac,brand,model\n35000099,Acme,\"Phone" + QByteArray(12, '\n') + "X\"\n";
        const QString shortQuestion = QStringLiteral("has 1 row whose code has seven or fewer digits");
        const QString longQuestion = QStringLiteral("line 2 opens a quoted field that takes in 13 lines");
        QTest::newRow("short code, yes") << shortCode << true << shortQuestion << QByteArray("01234567,Short,Code");
        QTest::newRow("short code, no") << shortCode << false << shortQuestion << QByteArray("35000099,Acme,Phone");
        QTest::newRow("long row, yes") << longRow << true << longQuestion
                                       << "35000099,Acme,Phone" + QByteArray(12, ' ') + "X";
        QTest::newRow("long row, no") << longRow << false << longQuestion << QByteArray("<none>");
    }
    void questionsBetweenTheSteps() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, yes);
        QFETCH(QString, question);
        QFETCH(QByteArray, written);
        QVERIFY(F().CreateAndLoad());
        const QString file = Export(QStringLiteral("list.csv"), bytes);
        P().answers = {yes};
        QVERIFY(Import(file));
        QCOMPARE(P().questions.size(), 1);
        QVERIFY2(P().questions.first().startsWith(Quoted(file)) && P().questions.first().contains(question),
                 qPrintable(P().questions.first()));
        QVERIFY2(ReadAll(F().UserDatabasePath()).contains(written), ReadAll(F().UserDatabasePath()).constData());
        QCOMPARE(P().messages.size(), written == "<none>" ? 0 : 1);
    }

    // A list whose header is not recognised is read by the columns chosen; cancelled, nothing is.
    void columnsChosenForAnUnknownHeader() {
        QVERIFY(F().CreateAndLoad());
        const QString file = Export(QStringLiteral("list.csv"), "Prefix;Maker;Device;Notes\n35000099;Acme;Phone X;n\n");
        P().columnChoices = {quillon::ColumnChoice{0, -1, 2, true}};
        QVERIFY(Import(file));
        QCOMPARE(P().columnDialogs.size(), 1);
        QCOMPARE(P().columnDialogs.first().fields, QStringList({"Prefix", "Maker", "Device", "Notes"}));
        QVERIFY((P().columnDialogs.first().suggested == quillon::ColumnChoice{0, 1, 2, true}));
        QVERIFY(P().columnDialogs.first().text.startsWith(Quoted(file) + QStringLiteral(" has no header row")));
        QVERIFY2(ReadAll(F().UserDatabasePath()).contains("35000099,,Phone X"),
                 ReadAll(F().UserDatabasePath()).constData());

        QVERIFY(QFile::remove(F().UserDatabasePath()));
        P().messages.clear();
        QVERIFY(Import(file));
        QCOMPARE(P().columnDialogs.size(), 2);
        QVERIFY(P().messages.isEmpty());
        QVERIFY(!QFile::exists(F().UserDatabasePath()));
    }

    // The dialog itself: the suggestion shown, "(none)" offered, OK only with a name column.
    void columnDialogShowsTheFields() {
        quillon::ColumnDialog dialog(QStringLiteral("Choose"), {"Acme", "35000011", "Phone"},
                                     quillon::ColumnChoice{1, 0, 2, false});
        auto* code = dialog.findChild<QListWidget*>(QStringLiteral("Code"));
        auto* manufacturer = dialog.findChild<QListWidget*>(QStringLiteral("Manufacturer"));
        auto* model = dialog.findChild<QListWidget*>(QStringLiteral("Model"));
        QCOMPARE(code->count(), 3);
        QCOMPARE(manufacturer->item(0)->text(), QStringLiteral("(none)"));
        QCOMPARE(code->currentItem()->text(), QStringLiteral("2: 35000011"));
        QVERIFY(!dialog.findChild<QCheckBox*>(QStringLiteral("FirstLineIsHeader"))->isChecked());
        QVERIFY((dialog.Choice() == quillon::ColumnChoice{1, 0, 2, false}));
        QPushButton* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        manufacturer->setCurrentRow(0);
        QVERIFY(ok->isEnabled());
        model->setCurrentRow(0);
        QVERIFY(!ok->isEnabled());
        QVERIFY((dialog.Choice() == quillon::ColumnChoice{1, -1, -1, false}));
    }

    // Held in its reading, the run disables what would use or change the database, and shows a
    // progress dialog after half a second; Cancel then writes nothing.
    void cancelMidwayKeepsTheUsersFile() {
        const QByteArray own = "35000011,Own,List\r\n99999999,OWN\r\n";
        QVERIFY(F().WriteUserDatabase(own));
        QVERIFY(F().CreateAndLoad());
        QSignalSpy finished(&F().Form(), &quillon::Form1::importFinished);
        QVERIFY(StartHeldImport());
        QVERIFY(F().Form().ImportRunning());
        QVERIFY(CommandsEnabled(false));
        auto* progress = F().Find<QProgressDialog>(QStringLiteral("ImportProgress"));
        QVERIFY(progress != nullptr);
        QCOMPARE(progress->minimumDuration(), 500);
        QCOMPARE(progress->windowModality(), Qt::WindowModal);
        QTRY_VERIFY(progress->isVisible());
        progress->findChild<QPushButton*>()->click();
        m_release.set_value();
        QVERIFY(finished.wait(20000));
        QCOMPARE(ReadAll(F().UserDatabasePath()), own);
        QVERIFY(P().messages.isEmpty());
        QVERIFY(CommandsEnabled(true));
        QCOMPARE(F().Caption(QStringLiteral("Label20")), QStringLiteral("Database Version:   OWN"));
    }

    // Closing the window in the middle of a run ends it at once, writing nothing.
    void closingTheWindowStopsTheRun() {
        QVERIFY(F().CreateAndLoad());
        // The run is let go just as the window takes the close, so it is still under way then.
        struct OnClose : QObject {
            std::function<void()> then;
            bool eventFilter(QObject*, QEvent* event) override {
                if (event->type() == QEvent::Close && then) {
                    std::exchange(then, nullptr)();
                }
                return false;
            }
        } onClose;
        onClose.then = [this] { m_release.set_value(); };
        F().Form().installEventFilter(&onClose);
        QVERIFY(StartHeldImport());
        QVERIFY(F().Form().close());
        F().Form().removeEventFilter(&onClose);
        QVERIFY(!F().Form().ImportRunning());
        QVERIFY(P().messages.isEmpty());
        QVERIFY(!QFile::exists(F().UserDatabasePath()));
        QCoreApplication::processEvents(); // a late word from the run finds nothing to do
        QVERIFY(P().messages.isEmpty());
    }

    // While another import holds the lock, the dialog says the run waits for it.
    void waitForAnotherImportIsShown() {
        QVERIFY(F().CreateAndLoad());
        const std::filesystem::path user(F().UserDatabasePath().toStdU16String());
        std::unique_ptr<quillon::FileLock> lock;
        QVERIFY(!quillon::FileLock::Take(quillon::LockFileFor(user), quillon::TargetLinks::Refuse,
                                         std::chrono::milliseconds(0), {}, lock));
        P().filesToChoose = {{Export(QStringLiteral("gsma.txt"), kGsmaExport)}};
        QSignalSpy finished(&F().Form(), &quillon::Form1::importFinished);
        F().Find<QAction>(QStringLiteral("ImportDeviceList"))->trigger();
        QTRY_VERIFY(
            F().Find<QProgressDialog>(QStringLiteral("ImportProgress")) != nullptr &&
            F().Find<QProgressDialog>(QStringLiteral("ImportProgress"))
                ->labelText()
                .startsWith(QStringLiteral("Another import is writing the same file; waiting for it to finish")));
        lock.reset();
        QVERIFY(finished.wait(20000));
        QVERIFY(ReadAll(F().UserDatabasePath()).contains("35332811,Samsung,Galaxy S24 Ultra"));
    }

    // A generation run re-reads the model list on every pass: no import starts meanwhile.
    void generationHoldsTheImportBack() {
        QVERIFY(F().CreateAndLoad());
        QSignalSpy finished(&F().Form(), &quillon::Form1::generationFinished);
        F().Form().SetPassInterval(std::chrono::milliseconds(0));
        F().Find<QComboBox>(QStringLiteral("Combo2"))->setEditText(QStringLiteral("1"));
        QTest::mouseClick(F().Find<QPushButton>(QStringLiteral("Command2")), Qt::LeftButton);
        QVERIFY(F().Form().GenerationRunning());
        QVERIFY(!F().Find<QAction>(QStringLiteral("ImportDeviceList"))->isEnabled());
        QVERIFY(!F().Find<QAction>(QStringLiteral("UseShippedDeviceList"))->isEnabled());
        QVERIFY(finished.wait(20000));
        QVERIFY(CommandsEnabled(true));
    }

    // The user's list, usable or refused at start-up, moves aside after a Yes, and the shipped
    // list is used again; with no list of the user's own there is nothing to do.
    void shippedListComesBack_data() {
        QTest::addColumn<QByteArray>("own");
        QTest::newRow("usable") << QByteArray("35000011,Own,List\r\n99999999,OWN\r\n");
        QTest::newRow("refused") << QByteArray();
    }
    void shippedListComesBack() {
        QFETCH(QByteArray, own);
        QVERIFY(F().WriteUserDatabase(own));
        QVERIFY(F().CreateAndLoad());
        P().messages.clear();
        P().answers = {true};
        QVERIFY(Run(QStringLiteral("UseShippedDeviceList")));
        QCOMPARE(P().questions.size(), 1);
        QVERIFY(P().questions.first().startsWith(QStringLiteral("Use the shipped device list ") +
                                                 Quoted(F().DatabasePath())));
        const QString aside =
            QFileInfo(F().UserDatabasePath()).dir().filePath(QStringLiteral("tacdex-2026-01-02_030405.csv"));
        QCOMPARE(ReadAll(aside), own);
        QVERIFY(!QFile::exists(F().UserDatabasePath()));
        QCOMPARE(P().messages.size(), 1);
        QVERIFY2(P().messages.first().endsWith(QStringLiteral("was moved aside as ") + Quoted(aside) + '.'),
                 qPrintable(P().messages.first()));
        QCOMPARE(F().Caption(QStringLiteral("Label20")), QStringLiteral("Database Version:   TEST-01.02"));
        QCOMPARE(F().Caption(QStringLiteral("Label25")), QStringLiteral("Devices Supported: 29"));
        QVERIFY(HelpText().contains(QDir::toNativeSeparators(F().DatabasePath())));
        QCOMPARE(ModelList()->itemText(28), QStringLiteral("Maker28 Model 28"));

        F().Find<QAction>(QStringLiteral("UseShippedDeviceList"))->trigger();
        QCOMPARE(P().questions.size(), 1);
        QCOMPARE(P().messages.size(), 2);
        QVERIFY2(P().messages.last().contains(QStringLiteral("is already in use")), qPrintable(P().messages.last()));
    }

    // A user's list refused at start-up is offered to be moved aside before an import, which then
    // adds to the shipped list.
    void refusedUsersListIsMovedAsideFirst() {
        QVERIFY(F().WriteUserDatabase(QByteArray()));
        QVERIFY(F().CreateAndLoad());
        P().answers = {true};
        QVERIFY(Import(Export(QStringLiteral("gsma.txt"), kGsmaExport)));
        QCOMPARE(P().questions.size(), 1);
        QVERIFY2(P().questions.first().contains(QStringLiteral("is empty")) &&
                     P().questions.first().contains(QStringLiteral("Move it aside")),
                 qPrintable(P().questions.first()));
        const QString aside =
            QFileInfo(F().UserDatabasePath()).dir().filePath(QStringLiteral("tacdex-2026-01-02_030405.csv"));
        QCOMPARE(ReadAll(aside), QByteArray());
        QVERIFY(P().messages.last().startsWith(QStringLiteral("Your own device list ")));
        QVERIFY(P().messages.last().contains(QStringLiteral("1 new, 1 replaced in the base ") +
                                             Quoted(F().DatabasePath())));
        QCOMPARE(F().Caption(QStringLiteral("Label25")), QStringLiteral("Devices Supported: 30"));
    }
};

QTEST_MAIN(TestImport)
#include "test_import.moc"
