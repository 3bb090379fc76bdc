// "Check a List": a stock sheet opened, checked, counted, filtered, sorted, saved as the command
// line saves it and copied for a spreadsheet; pasted lines; a header the window asks about; a check
// cancelled, or ended with the main window.
#include "CheckListWindow.h"
#include "WindowFixture.h"
#include "support/ListReadingCases.h"

#include "imei/Imei.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

#include <atomic>
#include <future>
#include <thread>

namespace {

// The IMEI of device line `line` of the test database with serial `serial`, its check digit right
// or, with `mistyped`, one off.
QByteArray Imei(int line, int serial, bool mistyped = false) {
    const std::string start =
        QStringLiteral("%1%2").arg(35000000 + line).arg(serial, 6, 10, QLatin1Char('0')).toStdString();
    const int check = (*quillon::LuhnCheckDigit(start + "0") + (mistyped ? 1 : 0)) % 10;
    return QByteArray::fromStdString(start) + char('0' + check);
}

// A stock sheet of 1,000 rows with an IMEI column: valid numbers, every 40th mistyped, every 90th
// a repeat of row 1, every 97th refused (each differently); the counts the window must show for it.
struct StockSheet {
    QByteArray bytes = "Stock No,Colour,IMEI\r\n";
    int valid = 0, notValid = 0, notAnImei = 0, repeated = 0;
};
StockSheet MakeStockSheet() {
    StockSheet sheet;
    for (int row = 1; row <= 1000; ++row) {
        QByteArray imei;
        if (row % 97 == 0) {
            imei = "\"n/a, row " + QByteArray::number(row) + "\"";
            ++sheet.notAnImei;
        } else if (row % 90 == 0) {
            imei = Imei(2, 1); // row 1's
            ++sheet.valid;
            ++sheet.repeated;
        } else if (row % 40 == 0) {
            imei = Imei(row % 28 + 1, row, true);
            ++sheet.notValid;
        } else {
            imei = Imei(row % 28 + 1, row);
            ++sheet.valid;
        }
        sheet.bytes += QByteArray::number(row) + ",black," + imei + "\r\n";
    }
    return sheet;
}

struct CliRun {
    int status = -1;
    QByteArray out;
};

CliRun RunCli(const QStringList& args, const QByteArray& input) {
    QProcess process;
    process.start(QStringLiteral(QUILLON_CLI_PATH), args);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput()};
}

} // namespace

class TestCheckList : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<WindowFixture> m_fixture;
    QTemporaryDir m_files;

    FakePlatform& P() { return m_fixture->platform; }
    quillon::CheckListWindow& W() { return *m_fixture->Form().CheckList(); }
    template <typename Widget> Widget* Find(const QString& name) { return W().findChild<Widget*>(name); }
    QTableView* Table() { return Find<QTableView>(QStringLiteral("Results")); }
    int Rows() { return W().Model().rowCount(); }
    QString Cell(int row, quillon::ListField field) { return W().Model().CellText(row, field); }

    QString Write(const QString& name, const QByteArray& bytes) {
        const QString path = m_files.filePath(name);
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? path : QString();
    }
    // Presses a button or ticks a box of the check window and waits until its work has ended.
    bool Press(QAbstractButton* button) {
        QSignalSpy finished(&W(), &quillon::CheckListWindow::workFinished);
        button->click();
        return !finished.isEmpty() || finished.wait(20000);
    }
    bool Open(const QString& path) {
        P().filesToChoose = {{path}};
        return Press(Find<QPushButton>(QStringLiteral("OpenFile")));
    }
    bool Paste(const QString& text) {
        Find<QPlainTextEdit>(QStringLiteral("PastedLines"))->setPlainText(text);
        return Press(Find<QPushButton>(QStringLiteral("CheckPastedLines")));
    }
    bool SortBy(quillon::ListField field, Qt::SortOrder order) {
        QSignalSpy finished(&W(), &quillon::CheckListWindow::workFinished);
        Table()->horizontalHeader()->setSortIndicator(static_cast<int>(field), order);
        return !finished.isEmpty() || finished.wait(20000);
    }

private slots:
    void init() {
        m_fixture = std::make_unique<WindowFixture>();
        QVERIFY(m_fixture->WriteDatabase(MakeDatabase(30)));
        QVERIFY(m_fixture->CreateAndLoad());
        m_fixture->Find<QAction>(QStringLiteral("CheckList"))->trigger();
        QVERIFY(W().isVisible());
        QVERIFY(W().parent() == nullptr);
    }
    void cleanup() { m_fixture.reset(); }

    // The whole use of a stock sheet: counts, filter, sort, a CSV byte for byte quillon-cli's, copy.
    void stockSheetIsCheckedAndSavedAsTheCommandLineSavesIt() {
        const StockSheet sheet = MakeStockSheet();
        const QString path = Write(QStringLiteral("stock.csv"), sheet.bytes);
        QVERIFY(Open(path));
        QCOMPARE(P().fileDialogs, QStringList({"Check a List of IMEIs"}));
        QVERIFY(P().columnDialogs.isEmpty());
        QCOMPARE(Rows(), 1000);
        QCOMPARE(Find<QLabel>(QStringLiteral("Counts"))->text(),
                 QStringLiteral("1,000 inputs: %1 valid, %2 not valid, %3 not an IMEI, 0 not in the database, %4 "
                                "repeated")
                     .arg(sheet.valid)
                     .arg(sheet.notValid)
                     .arg(sheet.notAnImei)
                     .arg(sheet.repeated));
        QCOMPARE(Cell(0, quillon::ListField::Line), QStringLiteral("2"));
        QCOMPARE(Cell(89, quillon::ListField::Repeated), QStringLiteral("line 2"));
        QCOMPARE(Cell(96, quillon::ListField::Input), QStringLiteral("n/a, row 97"));
        QVERIFY(Cell(39, quillon::ListField::Result).startsWith(QStringLiteral("not valid (check digit should be ")));
        QCOMPARE(W().Model().data(W().Model().index(39, 0), Qt::ForegroundRole).value<QColor>(), QColor(255, 0, 0));
        QVERIFY(!W().Model().data(W().Model().index(0, 0), Qt::ForegroundRole).isValid());

        QVERIFY(Press(Find<QCheckBox>(QStringLiteral("ShowProblemsOnly"))));
        QCOMPARE(Rows(), sheet.notValid + sheet.notAnImei + sheet.repeated);
        for (int row = 0; row < Rows(); ++row) {
            QVERIFY(Cell(row, quillon::ListField::Result) != QStringLiteral("valid") ||
                    !Cell(row, quillon::ListField::Repeated).isEmpty());
        }
        QVERIFY(SortBy(quillon::ListField::Result, Qt::DescendingOrder));
        QVERIFY(Cell(0, quillon::ListField::Result).startsWith(QStringLiteral("not an IMEI")));
        QVERIFY(SortBy(quillon::ListField::Model, Qt::AscendingOrder));
        for (int row = 1; row < Rows(); ++row) {
            QVERIFY(Cell(row - 1, quillon::ListField::Model) <= Cell(row, quillon::ListField::Model));
        }

        // Whatever the filter and sort, the CSV holds every row in the list's order.
        const QString saved = m_files.filePath(QStringLiteral("checked.csv"));
        P().saveNames = {saved};
        QVERIFY(Press(Find<QPushButton>(QStringLiteral("SaveAsCsv"))));
        QCOMPARE(P().suggestedNames, QStringList({"checked.csv"}));
        const CliRun cli =
            RunCli({"validate", "--db", m_fixture->DatabasePath(), "--column", "IMEI", "--format", "csv"}, sheet.bytes);
        QCOMPARE(cli.status, 1);
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), cli.out);
        QVERIFY(P().messages.isEmpty());
    }

    // Pasted lines, one input each, and a copy that a spreadsheet pastes as columns without running
    // anything.
    void pastedLinesAreCopiedDefused() {
        QVERIFY(Paste(QStringLiteral("=1+2\n490154203237518\tblue\n")));
        QCOMPARE(Rows(), 2);
        Table()->selectAll();
        QVERIFY(Find<QPushButton>(QStringLiteral("Copy"))->isEnabled());
        Find<QPushButton>(QStringLiteral("Copy"))->click();
        QCOMPARE(P().clipboardTexts.size(), 1);
        const QStringList lines = P().clipboardTexts.first().split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 4); // the header, two rows, nothing after the last line end
        QCOMPARE(lines[0], QStringLiteral("Line\tInput\tIMEI\tResult\tReporting body\tType Allocation Code\t"
                                          "Manufacturer\tModel\tRepeated"));
        QVERIFY2(lines[1].startsWith(QStringLiteral("1\t'=1+2\t")), qPrintable(lines[1]));
        QVERIFY2(lines[2].startsWith(QStringLiteral("2\t490154203237518 blue\t")), qPrintable(lines[2]));
        QCOMPARE(lines[2].count(QLatin1Char('\t')), 8);
    }

    // Every list the command line reads as a table by its IMEI column, or line by line, the window
    // reads alike: the same inputs on the same lines.
    void listsAreReadAsTheCommandLineReadsThem() {
        for (const quillon::testing::ListReadingCase& c : quillon::testing::ListReadingCases()) {
            if (!c.windowReadsAlike) {
                continue;
            }
            W().CheckFile(Write(QStringLiteral("list.txt"), QByteArray::fromStdString(c.bytes)));
            QSignalSpy finished(&W(), &quillon::CheckListWindow::workFinished);
            QVERIFY(!W().Running() || finished.wait(20000));
            QCOMPARE(Rows(), static_cast<int>(c.inputs.size()));
            for (int row = 0; row < Rows(); ++row) {
                const auto& [line, text] = c.inputs[static_cast<std::size_t>(row)];
                QCOMPARE(Cell(row, quillon::ListField::Line), QString::number(line));
                QCOMPARE(Cell(row, quillon::ListField::Input), QString::fromStdString(text));
            }
        }
    }

    // A first line that looks like a header but names no IMEI column: the window asks; Cancel
    // checks nothing, "No header" reads lines.
    void anUnknownHeaderAsksForTheColumn() {
        const QString path = Write(QStringLiteral("sheet.txt"), "Serial;Device\n1;490154203237518\n");
        P().imeiColumnChoices = {1, std::nullopt, -1};
        QVERIFY(Open(path));
        QCOMPARE(P().columnDialogs.size(), 1);
        QCOMPARE(P().columnDialogs.first().fields, QStringList({"Serial", "Device"}));
        QCOMPARE(Rows(), 1);
        QCOMPARE(Cell(0, quillon::ListField::Result), QStringLiteral("valid"));
        QVERIFY(Open(path));
        QCOMPARE(Rows(), 1); // nothing was checked: the last results stay
        QCOMPARE(Find<QLabel>(QStringLiteral("Status"))->text(), QStringLiteral("Nothing was checked."));
        QVERIFY(Open(path));
        QCOMPARE(Rows(), 2);
        QCOMPARE(Cell(1, quillon::ListField::Input), QStringLiteral("1;490154203237518"));
    }

    // Cancel keeps what was checked before it; closing the main window closes the check window and
    // waits for its work.
    void cancelKeepsWhatWasCheckedAndTheMainWindowClosesItAll() {
        QByteArray lines;
        for (int i = 0; i < 3000; ++i) {
            lines += Imei(1, i) + "\n";
        }
        const QString path = Write(QStringLiteral("many.txt"), lines);
        std::promise<void> release;
        std::atomic<bool> held{false};
        W().SetCheckHook([&held, released = release.get_future().share()](std::size_t checked) {
            if (checked == 1024 && !held.exchange(true)) {
                released.wait();
            }
        });
        W().CheckFile(path);
        QVERIFY(QTest::qWaitFor([&held] { return held.load(); }));
        QVERIFY(Find<QPushButton>(QStringLiteral("Cancel"))->isVisible());
        QVERIFY(!Find<QPushButton>(QStringLiteral("OpenFile"))->isEnabled());
        QSignalSpy finished(&W(), &quillon::CheckListWindow::workFinished);
        Find<QPushButton>(QStringLiteral("Cancel"))->click();
        release.set_value();
        QVERIFY(finished.wait(20000));
        QCOMPARE(Rows(), 1024);
        QVERIFY(Find<QLabel>(QStringLiteral("Status"))->text().startsWith(QStringLiteral("Cancelled: 1,024 inputs")));

        // Held at its first input until the main window closes, which cancels it and waits for it.
        std::atomic<bool> closing{false};
        held = false;
        W().SetCheckHook([&held, &closing](std::size_t checked) {
            if (checked == 0 && !held.exchange(true)) {
                while (!closing) {
                    std::this_thread::yield();
                }
            }
        });
        W().CheckFile(path);
        QVERIFY(QTest::qWaitFor([&held] { return held.load(); }));
        closing = true;
        m_fixture->Form().close();
        QVERIFY(!W().isVisible());
        QVERIFY(!W().Running());
    }
};

QTEST_MAIN(TestCheckList)
#include "test_check_list.moc"
