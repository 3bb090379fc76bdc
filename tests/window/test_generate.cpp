#include "GenerationFixture.h"
#include "WindowFixture.h"
#include "present/ProblemText.h"

#include "generation/Generation.h"
#include "generation/ModelCatalogue.h"
#include "generation/Report.h"
#include "imei/Imei.h"
#include "support/CoreExtras.h"
#include "validation/Validation.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using quillon::Form1;
using namespace std::chrono_literals;

namespace {

QString FromStd(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The numbers of a GeneratedList text: each one follows a CR LF.
QStringList ListedNumbers(const QString& generatedList) {
    if (generatedList.isEmpty()) {
        return {};
    }
    if (!generatedList.startsWith(QStringLiteral("\r\n"))) {
        return {QStringLiteral("<list does not start with CR LF>")};
    }
    return generatedList.mid(2).split(QStringLiteral("\r\n"));
}

bool IsValidNumber(const QString& number) {
    return quillon::IsValidIMEI(number.toStdString());
}

bool HasOnlyDigitsOneToNine(const QString& text, qsizetype from) {
    for (qsizetype i = from; i < text.size(); ++i) {
        if (text[i] < u'1' || text[i] > u'9') {
            return false;
        }
    }
    return true;
}

QStringList SamsungGalaxyS6Codes() {
    const quillon::CatalogueEntry* entry = quillon::FindCatalogueEntry("Samsung Galaxy S6");
    QStringList codes;
    if (entry != nullptr) {
        for (const std::string_view code : entry->tacs) {
            codes.append(FromStd(code));
        }
    }
    return codes;
}

// What the window showed whenever Text1 took a new text during a run: the text itself and the
// captions that stood at that moment.
struct Shown {
    QString text;
    QString generated;    // Label12
    QString valid;        // Label19
    QString check;        // Label1
    QString checkSum;     // Label2
    QString verdict;      // Label16, empty while hidden
    QString presentation; // Label8
};

// Calls back on every time-out of the window's pass timer, before the window handles it.
class TimerWatch final : public QObject {
public:
    explicit TimerWatch(std::function<void(const QTimer*)> onTimeout) : m_onTimeout(std::move(onTimeout)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Timer && watched->objectName() == QStringLiteral("GenerationPassTimer")) {
            m_onTimeout(static_cast<const QTimer*>(watched));
        }
        return false;
    }

private:
    std::function<void(const QTimer*)> m_onTimeout;
};

} // namespace

class GenerateTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstGenerateAfterStartUp();
    void passOrderShowsBeforeItTests();
    void passesArePaced();
    void samsungGalaxyS6TenWritesAReport();
    void runMatchesTheUnpacedCore();
    void randomSourceMadeOncePerRun();
    void ptcrbOverTafGivesPrefix01();
    void bztCetecomBeforeBabtAfterValidating();
    void countOfLettersStopsAtFirstValid();
    void countOfTwoCollectsItsNumbers();
    void raisingTheCountDuringARun();
    void customKeepsTheTrimmedPrefix();
    void customWithBadPrefixStartsNoRun_data();
    void customWithBadPrefixStartsNoRun();
    void customPrefixBrokenDuringARun();
    void customPrefixBrokenBeforeAnyNumber();
    void typedTextIsNotCompleted();
    void countIsTheLeadingNumber_data();
    void countIsTheLeadingNumber();
    void deviceEntryValidatesEveryCandidate();
    void deviceEntryWithBadCodeStartsNoRun();
    void clicksDuringARunAreIgnored();
    void closingDuringARunEndsIt();
    void reportGoesToDocumentsWhenProgramFolderRefuses();
    void reportFailureIsToldAndNumbersStay();
    void reportsKeepTheirRecordedBytes();

private:
    Form1& Form() { return m_fixture->Form(); }
    QLineEdit* Text1() const { return m_fixture->Find<QLineEdit>("Text1"); }
    QComboBox* Combo(int number) const { return m_fixture->Find<QComboBox>(QStringLiteral("Combo%1").arg(number)); }
    QCheckBox* Check(int number) const { return m_fixture->Find<QCheckBox>(QStringLiteral("Check%1").arg(number)); }
    QLabel* Label(int number) const { return m_fixture->Find<QLabel>(QStringLiteral("Label%1").arg(number)); }

    void Start(std::unique_ptr<WindowFixture> fixture);
    void UseSeed(std::uint64_t seed);
    void SelectModel(const QString& text);
    void SetCount(const QString& text) { Combo(2)->setEditText(text); }
    void ClickGenerate() { QTest::mouseClick(m_fixture->Find<QPushButton>("Command2"), Qt::LeftButton); }
    void ClickValidate() { QTest::mouseClick(m_fixture->Find<QPushButton>("Command1"), Qt::LeftButton); }
    // Clicks Generate and waits until the run has ended.
    void Generate();
    // Records every text Text1 takes from now on, with the captions of that moment.
    void RecordShown();

    std::unique_ptr<WindowFixture> m_fixture;
    std::unique_ptr<QSignalSpy> m_finished;
    std::vector<Shown> m_shown;
    int m_randomSourcesMade = 0;
};

void GenerateTest::init() {
    auto fixture = std::make_unique<WindowFixture>();
    QVERIFY(fixture->WriteDatabase(MakeDatabase(30)));
    Start(std::move(fixture));
}

void GenerateTest::Start(std::unique_ptr<WindowFixture> fixture) {
    m_finished.reset();
    m_shown.clear();
    m_randomSourcesMade = 0;
    m_fixture = std::move(fixture);
    QVERIFY(m_fixture->CreateAndLoad());
    Form().SetPassInterval(0ms);
    UseSeed(1);
    Form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form()));
    m_finished = std::make_unique<QSignalSpy>(&Form(), &Form1::generationFinished);
}

void GenerateTest::cleanup() {
    m_finished.reset();
    m_fixture.reset();
}

void GenerateTest::UseSeed(std::uint64_t seed) {
    Form().SetRandomSourceFactory([this, seed] {
        ++m_randomSourcesMade;
        return std::make_unique<quillon::SeededRandomSource>(seed);
    });
}

void GenerateTest::SelectModel(const QString& text) {
    const int index = Combo(1)->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    Combo(1)->setCurrentIndex(index);
}

void GenerateTest::Generate() {
    const int before = m_finished->count();
    ClickGenerate();
    QTRY_COMPARE_WITH_TIMEOUT(m_finished->count(), before + 1, kRunTimeout);
    QVERIFY(!Form().GenerationRunning());
}

void GenerateTest::RecordShown() {
    connect(Text1(), &QLineEdit::textChanged, this, [this](const QString& text) {
        m_shown.push_back(Shown{text, Label(12)->text(), Label(19)->text(), Label(1)->text(), Label(2)->text(),
                                Label(16)->isHidden() ? QString() : Label(16)->text(), Label(8)->text()});
    });
}

void GenerateTest::firstGenerateAfterStartUp() {
    QVERIFY(Combo(1)->isHidden());
    QVERIFY(Combo(2)->isHidden());
    QVERIFY(Label(12)->isHidden());
    RecordShown();

    Generate();

    QVERIFY(Combo(1)->isVisible());
    QVERIFY(Combo(2)->isVisible());
    QVERIFY(Label(12)->isVisible());
    QCOMPARE(Combo(1)->currentText(), QString());
    QCOMPARE(Combo(2)->currentText(), QStringLiteral("1"));

    // Fifteen digits 1 to 9 each; every one before the last fails the check, the last passes.
    QVERIFY(!m_shown.empty());
    QCOMPARE(static_cast<int>(m_shown.size()), Form().GeneratedCount());
    for (std::size_t i = 0; i < m_shown.size(); ++i) {
        const QString& candidate = m_shown[i].text;
        QCOMPARE(candidate.size(), 15);
        QVERIFY2(HasOnlyDigitsOneToNine(candidate, 0), qPrintable(candidate));
        QCOMPARE(IsValidNumber(candidate), i + 1 == m_shown.size());
    }
    const QString last = m_shown.back().text;
    QCOMPARE(Text1()->text(), last);
    QCOMPARE(Form().CurrentIMEI(), last);
    QVERIFY(Form().IMEIValid());
    QCOMPARE(Label(12)->text(), QStringLiteral("Generated: %1").arg(m_shown.size()));
    QCOMPARE(Label(19)->text(), QStringLiteral("Valid: 1"));
    const quillon::LuhnCaptions luhn = quillon::PresentLuhnWorking(quillon::ComputeLuhnWorking(last.toStdString()));
    QCOMPARE(Label(1)->text(), luhn.check);
    QCOMPARE(Label(2)->text(), luhn.checkSum);
    QCOMPARE(Label(3)->text(), luhn.luhn);

    // The verdict and the device lines stay hidden; nothing is collected, written or said.
    QVERIFY(Label(13)->isHidden());
    QVERIFY(Label(14)->isHidden());
    QVERIFY(Label(16)->isHidden());
    QVERIFY(Label(17)->isHidden());
    QCOMPARE(Form().GeneratedList(), QString());
    QCOMPARE(AllFiles(m_fixture->DirectoryPath()), QStringList({"tacdex.csv"}));
    QCOMPARE(m_fixture->platform.messages, QStringList());
}

void GenerateTest::passOrderShowsBeforeItTests() {
    // Watches the time-outs of the pass timer: the wait of a pass is the one time-out of the pass
    // interval, so what the window shows then is what the pass has done before its wait.
    struct Waiting {
        QString text;
        QString generated;
        QString valid;
        QString check;
        QString checkSum;
        QString luhn;
    };
    std::vector<Waiting> waits;
    TimerWatch watch([&](const QTimer* timer) {
        if (timer->interval() == 1) {
            waits.push_back(Waiting{Text1()->text(), Label(12)->text(), Label(19)->text(), Label(1)->text(),
                                    Label(2)->text(), Label(3)->text()});
        }
    });
    QCoreApplication::instance()->installEventFilter(&watch);
    Form().SetPassInterval(1ms);
    SetCount(QStringLiteral("3"));
    const QString initialCheck = Label(1)->text();
    RecordShown();
    Generate();
    QCoreApplication::instance()->removeEventFilter(&watch);

    // During the wait of pass n: candidate n shown and counted, the Luhn lines still those of n - 1.
    QCOMPARE(waits.size(), m_shown.size());
    QCOMPARE(static_cast<int>(waits.size()), Form().GeneratedCount());
    int valid = 0;
    for (std::size_t i = 0; i < waits.size(); ++i) {
        const Waiting& wait = waits[i];
        QCOMPARE(wait.text, m_shown[i].text);
        QCOMPARE(wait.generated, QStringLiteral("Generated: %1").arg(i + 1));
        QCOMPARE(wait.valid, QStringLiteral("Valid: %1").arg(valid));
        if (i == 0) {
            QCOMPARE(wait.check, initialCheck);
        } else {
            const quillon::LuhnCaptions luhn =
                quillon::PresentLuhnWorking(quillon::ComputeLuhnWorking(m_shown[i - 1].text.toStdString()));
            QCOMPARE(wait.check, luhn.check);
            QCOMPARE(wait.checkSum, luhn.checkSum);
            QCOMPARE(wait.luhn, luhn.luhn);
        }
        valid += IsValidNumber(m_shown[i].text) ? 1 : 0;
    }
    QCOMPARE(valid, 3);
    QCOMPARE(Label(19)->text(), QStringLiteral("Valid: 3"));
}

void GenerateTest::passesArePaced() {
    constexpr auto kInterval = 15ms;
    Form().SetPassInterval(kInterval);
    QElapsedTimer clock;
    clock.start();
    Generate();
    // Every pass waits at least the interval between showing its candidate and testing it.
    QVERIFY(Form().GeneratedCount() >= 1);
    QVERIFY2(clock.elapsed() >= Form().GeneratedCount() * kInterval.count(),
             qPrintable(QStringLiteral("%1 ms for %2 passes").arg(clock.elapsed()).arg(Form().GeneratedCount())));

    // The program itself waits 50 ms.
    WindowFixture fresh;
    QVERIFY(fresh.WriteDatabase(MakeDatabase(30)));
    QCOMPARE(fresh.Create().PassInterval(), 50ms);
}

void GenerateTest::samsungGalaxyS6TenWritesAReport() {
    UseSeed(20261206);
    SelectModel(QStringLiteral("Samsung Galaxy S6"));
    SetCount(QStringLiteral("10"));
    Generate();

    QCOMPARE(Label(19)->text(), QStringLiteral("Valid: 10"));
    QCOMPARE(Label(12)->text(), QStringLiteral("Generated: %1").arg(Form().GeneratedCount()));

    const QStringList numbers = ListedNumbers(Form().GeneratedList());
    QCOMPARE(numbers.size(), 10);
    const QStringList codes = SamsungGalaxyS6Codes();
    QCOMPARE(codes.size(), 5);
    for (const QString& number : numbers) {
        QVERIFY2(IsValidNumber(number), qPrintable(number));
        QVERIFY2(codes.contains(number.left(8)), qPrintable(number));
        QVERIFY2(HasOnlyDigitsOneToNine(number, 8), qPrintable(number));
    }
    QCOMPARE(Text1()->text(), numbers.last());
    QCOMPARE(Form().CurrentIMEI(), numbers.last());

    // One report beside the program, no temporary file left behind.
    const QStringList reports = ReportFiles(m_fixture->DirectoryPath());
    QCOMPARE(reports.size(), 1);
    QCOMPARE(AllFiles(m_fixture->DirectoryPath()), QStringList({reports.first(), QStringLiteral("tacdex.csv")}));
    // Named for the fixture clock's 2026-01-02 03:04:05, month first.
    QCOMPARE(reports.first(), QStringLiteral("Quillon.v2.1.2.3.Professional-(01-02-2026_030405).txt"));
    const QString reportPath = QDir(m_fixture->DirectoryPath()).filePath(reports.first());
    QFile file(reportPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString content = QString::fromUtf8(file.readAll());
    QVERIFY(content.endsWith(QStringLiteral("\r\n")));
    const QStringList lines = content.chopped(2).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 16);
    QCOMPARE(lines[0], QStringLiteral("Quillon v2.1.2.5 Professional Edition"));
    QCOMPARE(lines[3], QStringLiteral("Mobile Device Type: Samsung Galaxy S6"));
    // The fixture clock makes every run take 1.234 s.
    QCOMPARE(lines[4], QStringLiteral("Calculation completed in  1.234 seconds."));
    QCOMPARE(lines[5], QString(38, u'-'));
    QCOMPARE(lines.mid(6), numbers);
    // The whole text as the report writer builds it.
    const QString seconds = QStringLiteral(" 1.234");
    QCOMPARE(content, FromStd(quillon::ReportText(Form().VersionText().toStdString(), "Samsung Galaxy S6",
                                                  seconds.toStdString(), Form().GeneratedList().toStdString())));

    // The completion message names that file with the same seconds.
    const QString fullPath = QDir::toNativeSeparators(QFileInfo(reportPath).absoluteFilePath());
    QCOMPARE(m_fixture->platform.messages,
             QStringList({QStringLiteral("Calculation completed in  1.234 seconds. Output written to ") + fullPath}));
}

void GenerateTest::runMatchesTheUnpacedCore() {
    // The window and the unpaced core build candidates alike: the same seed gives the same numbers.
    constexpr std::uint64_t kSeed = 77;
    UseSeed(kSeed);
    SelectModel(QStringLiteral("Apple"));
    SetCount(QStringLiteral("25"));
    Generate();

    const quillon::ModelChoice choice = quillon::ResolveModelChoice("Apple", 1, Form().Database().Table());
    const auto recipe = quillon::MakeCandidateRecipe(quillon::BoxStates{}, choice, "");
    QVERIFY(recipe.has_value());
    quillon::SeededRandomSource random(kSeed);
    QStringList expected;
    const quillon::GenerationCounts counts = quillon::GenerateValid(*recipe, 25, random, [&](std::string_view n) {
        expected.append(FromStd(n));
        return true;
    });
    QCOMPARE(ListedNumbers(Form().GeneratedList()), expected);
    QCOMPARE(static_cast<std::uint64_t>(Form().GeneratedCount()), counts.generated);
}

void GenerateTest::randomSourceMadeOncePerRun() {
    SetCount(QStringLiteral("5"));
    Generate();
    QCOMPARE(m_randomSourcesMade, 1);
    Generate();
    QCOMPARE(m_randomSourcesMade, 2);
    // The same seed again gives the same run.
    const QString first = Form().GeneratedList();
    Generate();
    QCOMPARE(Form().GeneratedList(), first);
}

void GenerateTest::ptcrbOverTafGivesPrefix01() {
    Check(8)->setChecked(true); // PTCRB
    Check(1)->setChecked(true); // TAF
    SetCount(QStringLiteral("10"));
    RecordShown();
    Generate();

    QCOMPARE(static_cast<int>(m_shown.size()), Form().GeneratedCount());
    for (const Shown& shown : m_shown) {
        QCOMPARE(shown.text.size(), 15);
        QVERIFY2(shown.text.startsWith(QStringLiteral("01")), qPrintable(shown.text));
        QVERIFY2(HasOnlyDigitsOneToNine(shown.text, 2), qPrintable(shown.text));
    }
    // Without a device entry the boxes are read, never written.
    QVERIFY(Check(8)->isChecked());
    QVERIFY(Check(1)->isChecked());
    QCOMPARE(ListedNumbers(Form().GeneratedList()).size(), 10);
}

void GenerateTest::bztCetecomBeforeBabtAfterValidating() {
    Text1()->setText(QStringLiteral("49-015420-323751-8"));
    ClickValidate();
    QVERIFY(Check(4)->isChecked());
    QVERIFY(Check(5)->isChecked());
    SetCount(QStringLiteral("10"));
    Generate();
    const QStringList numbers = ListedNumbers(Form().GeneratedList());
    QCOMPARE(numbers.size(), 10);
    for (const QString& number : numbers) {
        QVERIFY2(number.startsWith(QStringLiteral("52")), qPrintable(number));
    }
    // What the validation left on the panel stays, apart from the verdict the run hides.
    QCOMPARE(Label(8)->text(), QStringLiteral("490154-20-323751-8"));
    QVERIFY(Label(16)->isHidden());
}

void GenerateTest::countOfLettersStopsAtFirstValid() {
    SelectModel(QStringLiteral("Nokia"));
    SetCount(QStringLiteral("lots"));
    Generate();
    QCOMPARE(Combo(2)->currentText(), QStringLiteral("lots"));
    QCOMPARE(Label(19)->text(), QStringLiteral("Valid: 1"));
    QVERIFY(IsValidNumber(Text1()->text()));
    QCOMPARE(Form().GeneratedList(), QString());
    QCOMPARE(ReportFiles(m_fixture->DirectoryPath()), QStringList());
    QCOMPARE(m_fixture->platform.messages, QStringList());
}

void GenerateTest::countOfTwoCollectsItsNumbers() {
    SetCount(QStringLiteral("2"));
    Generate();
    const QStringList numbers = ListedNumbers(Form().GeneratedList());
    QCOMPARE(numbers.size(), 2);
    QCOMPARE(ReportFiles(m_fixture->DirectoryPath()).size(), 1);
    QFile file(QDir(m_fixture->DirectoryPath()).filePath(ReportFiles(m_fixture->DirectoryPath()).first()));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString content = QString::fromUtf8(file.readAll());
    QVERIFY(content.endsWith(QStringLiteral("\r\n") + numbers[0] + QStringLiteral("\r\n") + numbers[1] +
                             QStringLiteral("\r\n")));
    QCOMPARE(content.split(QStringLiteral("\r\n")).at(3), QStringLiteral("Mobile Device Type: "));
}

void GenerateTest::raisingTheCountDuringARun() {
    SetCount(QStringLiteral("2"));
    // The user raises the count while the first candidate is on show.
    connect(Text1(), &QLineEdit::textChanged, this, [this] {
        if (Form().GeneratedCount() == 1) {
            SetCount(QStringLiteral("4"));
        }
    });
    Generate();
    QCOMPARE(Label(19)->text(), QStringLiteral("Valid: 4"));
    QCOMPARE(ListedNumbers(Form().GeneratedList()).size(), 4);
}

void GenerateTest::customKeepsTheTrimmedPrefix() {
    SelectModel(QStringLiteral("Custom"));
    Text1()->setText(QStringLiteral("  490154203237518 "));
    SetCount(QStringLiteral("10"));
    RecordShown();
    Generate();
    QVERIFY(!m_shown.empty());
    QCOMPARE(m_shown.front().text, QStringLiteral("490154203237518")); // the trimmed text
    for (std::size_t i = 1; i < m_shown.size(); ++i) {
        QVERIFY2(m_shown[i].text.startsWith(QStringLiteral("49015420")), qPrintable(m_shown[i].text));
        QVERIFY2(HasOnlyDigitsOneToNine(m_shown[i].text, 8), qPrintable(m_shown[i].text));
    }
    QCOMPARE(ListedNumbers(Form().GeneratedList()).size(), 10);
    QCOMPARE(m_fixture->platform.messages.size(), 1);
    QVERIFY(m_fixture->platform.messages.first().startsWith(QStringLiteral("Calculation completed in ")));
}

void GenerateTest::customWithBadPrefixStartsNoRun_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("letters") << QStringLiteral("49O15420323751");
    QTest::newRow("short") << QStringLiteral("4901542");
    QTest::newRow("separators") << QStringLiteral("49-015420-323751-8");
    QTest::newRow("empty") << QString();
    QTest::newRow("non-ASCII digits") << QStringLiteral("\u0664\u0669015420323751");
}

void GenerateTest::customWithBadPrefixStartsNoRun() {
    QFETCH(QString, text);
    SelectModel(QStringLiteral("Custom"));
    SetCount(QStringLiteral("10"));
    Text1()->setText(text);
    const QString label12 = Label(12)->text();

    ClickGenerate();

    QCOMPARE(m_fixture->platform.messages,
             QStringList({FromStd(quillon::ProblemText(*quillon::CustomPrefixProblem(text.toStdString())))}));
    QVERIFY(!Form().GenerationRunning());
    QCOMPARE(m_finished->count(), 0);
    // Nothing else changed: the lists and the progress line stay hidden, the text stays as typed.
    QVERIFY(Combo(1)->isHidden());
    QVERIFY(Label(12)->isHidden());
    QCOMPARE(Label(12)->text(), label12);
    QCOMPARE(Text1()->text(), text);
    QCOMPARE(Form().GeneratedCount(), 0);
    QCOMPARE(ReportFiles(m_fixture->DirectoryPath()), QStringList());
}

// The numbers found before the prefix broke are kept: the report is written with them, and the
// message says why the run stopped and how far it got.
void GenerateTest::customPrefixBrokenDuringARun() {
    SelectModel(QStringLiteral("Custom"));
    SetCount(QStringLiteral("250"));
    Form().SetPassInterval(1ms);
    ClickGenerate();
    QVERIFY(Form().GenerationRunning());
    QTRY_VERIFY_WITH_TIMEOUT(ListedNumbers(Form().GeneratedList()).size() >= 2, kRunTimeout);

    Text1()->setText(QStringLiteral("abc"));
    QTRY_COMPARE_WITH_TIMEOUT(m_finished->count(), 1, kRunTimeout);

    const QStringList numbers = ListedNumbers(Form().GeneratedList());
    QVERIFY(numbers.size() >= 2 && numbers.size() < 250);
    const QStringList reports = ReportFiles(m_fixture->DirectoryPath());
    QCOMPARE(reports.size(), 1);
    const QString path = QDir::toNativeSeparators(QDir(m_fixture->DirectoryPath()).filePath(reports.first()));
    QCOMPARE(m_fixture->platform.messages,
             QStringList({QStringLiteral("The run stopped early: ") +
                          FromStd(quillon::ProblemText(*quillon::CustomPrefixProblem("abc"))) +
                          QStringLiteral("\r\n%1 of 250 numbers were found. Output written to ").arg(numbers.size()) +
                          path}));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString content = QString::fromUtf8(file.readAll());
    QVERIFY(content.endsWith(QStringLiteral("-\r\n") + numbers.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
    QCOMPARE(content.split(QStringLiteral("\r\n")).at(3), QStringLiteral("Mobile Device Type: Custom"));
    QVERIFY(content.split(QStringLiteral("\r\n")).at(4).startsWith(QStringLiteral("Calculation stopped early after ")));
    QCOMPARE(Text1()->text(), QStringLiteral("abc"));
}

// Broken before any number was found: nothing to keep, and the message says so.
void GenerateTest::customPrefixBrokenBeforeAnyNumber() {
    SelectModel(QStringLiteral("Custom"));
    SetCount(QStringLiteral("10"));
    connect(Text1(), &QLineEdit::textChanged, this, [this] {
        if (Form().GeneratedCount() == 1 && Text1()->text() != QStringLiteral("abc")) {
            Text1()->setText(QStringLiteral("abc"));
        }
    });
    // Every random digit 5: 49015420 5555555 has the Luhn total 53, so the one candidate fails.
    Form().SetRandomSourceFactory(
        [] { return std::make_unique<quillon::SequenceRandomSource>(std::vector<double>{0.5}); });
    Generate();
    QCOMPARE(Form().GeneratedList(), QString());
    QCOMPARE(m_fixture->platform.messages,
             QStringList({QStringLiteral("The run stopped early: ") +
                          FromStd(quillon::ProblemText(*quillon::CustomPrefixProblem("abc"))) +
                          QStringLiteral("\r\n0 of 10 numbers were found; no report was written.")}));
    QCOMPARE(ReportFiles(m_fixture->DirectoryPath()), QStringList());
}

// Typed counts and names stay as typed: no completion turns "2" into "25".
void GenerateTest::typedTextIsNotCompleted() {
    Combo(1)->show();
    Combo(2)->show();
    Form().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&Form()));
    // Typed the way a user types: into the focused box, key by key.
    Combo(2)->lineEdit()->setFocus();
    QTRY_VERIFY(Combo(2)->lineEdit()->hasFocus());
    Combo(2)->lineEdit()->clear();
    QTest::keyClicks(Combo(2)->lineEdit(), QStringLiteral("2"));
    QCOMPARE(Combo(2)->currentText(), QStringLiteral("2"));
    QCOMPARE(Combo(2)->lineEdit()->selectedText(), QString());
    Combo(1)->lineEdit()->setFocus();
    QTRY_VERIFY(Combo(1)->lineEdit()->hasFocus());
    Combo(1)->lineEdit()->clear();
    QTest::keyClicks(Combo(1)->lineEdit(), QStringLiteral("Sam"));
    QCOMPARE(Combo(1)->currentText(), QStringLiteral("Sam"));
    QCOMPARE(Combo(1)->lineEdit()->selectedText(), QString());
    Generate();
    QCOMPARE(Label(19)->text(), QStringLiteral("Valid: 2"));
    QCOMPARE(ListedNumbers(Form().GeneratedList()).size(), 2);
}

// The count is the number the text begins with, a fraction included.
void GenerateTest::countIsTheLeadingNumber_data() {
    QTest::addColumn<QString>("count");
    QTest::addColumn<int>("valid");
    QTest::addColumn<bool>("report");
    QTest::newRow("fraction") << QStringLiteral("1.5") << 2 << true;
    QTest::newRow("below one") << QStringLiteral("0.5") << 1 << false;
    QTest::newRow("negative") << QStringLiteral("-3") << 1 << false;
    QTest::newRow("plus sign") << QStringLiteral("+3") << 3 << true;
    QTest::newRow("leading blanks") << QStringLiteral("  3") << 3 << true;
    QTest::newRow("words after") << QStringLiteral("3 numbers") << 3 << true;
    QTest::newRow("no exponent") << QStringLiteral("1e3") << 1 << false;
}

void GenerateTest::countIsTheLeadingNumber() {
    QFETCH(QString, count);
    QFETCH(int, valid);
    QFETCH(bool, report);
    SelectModel(QStringLiteral("Nokia"));
    SetCount(count);
    Generate();
    QCOMPARE(Label(19)->text(), QStringLiteral("Valid: %1").arg(valid));
    QCOMPARE(ReportFiles(m_fixture->DirectoryPath()).size(), report ? 1 : 0);
    if (report) {
        QCOMPARE(ListedNumbers(Form().GeneratedList()).size(), valid);
    }
}

void GenerateTest::deviceEntryValidatesEveryCandidate() {
    // Line 27 of the test database: 35000027,Maker27,Model 27, at list position 27.
    QCOMPARE(Combo(1)->itemText(27), QStringLiteral("Maker27 Model 27"));
    Combo(1)->setCurrentIndex(27);
    SetCount(QStringLiteral("3"));
    RecordShown();
    Generate();

    const QStringList numbers = ListedNumbers(Form().GeneratedList());
    QCOMPARE(numbers.size(), 3);
    for (const Shown& shown : m_shown) {
        QVERIFY2(shown.text.startsWith(QStringLiteral("35000027")), qPrintable(shown.text));
    }
    // Each candidate was validated before the next one came: the panel showed its verdict and grouping.
    QVERIFY(m_shown.size() >= 3);
    for (std::size_t i = 1; i < m_shown.size(); ++i) {
        const QString previous = m_shown[i - 1].text;
        QCOMPARE(m_shown[i].verdict, IsValidNumber(previous) ? QStringLiteral("VALID") : QStringLiteral("INVALID"));
        QCOMPARE(m_shown[i].presentation, FromStd(quillon::FullIMEIPresentation(previous.toStdString())));
    }

    // The panel ends with the validation of the last number.
    const QString last = numbers.last();
    QCOMPARE(Text1()->text(), last);
    QVERIFY(Label(16)->isVisible());
    QVERIFY(Label(17)->isVisible());
    QCOMPARE(Label(16)->text(), QStringLiteral("VALID"));
    QVERIFY(Label(13)->isVisible());
    QVERIFY(Label(14)->isVisible());
    QCOMPARE(Label(13)->text(), QStringLiteral("Manufacturer: Maker27"));
    QCOMPARE(Label(14)->text(), QStringLiteral("Model: Model 27"));
    QCOMPARE(Label(10)->text(), QStringLiteral("35000027"));
    QCOMPARE(Label(11)->text(), last.mid(8, 6));
    QVERIFY(Form().FoundInDB());
    // Code 35 ticks BABT/BAPT alone.
    QVERIFY(Check(4)->isChecked());

    const QStringList reports = ReportFiles(m_fixture->DirectoryPath());
    QCOMPARE(reports.size(), 1);
    QFile file(QDir(m_fixture->DirectoryPath()).filePath(reports.first()));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n")).at(3),
             QStringLiteral("Mobile Device Type: Maker27 Model 27"));
}

void GenerateTest::deviceEntryWithBadCodeStartsNoRun() {
    auto fixture = std::make_unique<WindowFixture>();
    QVERIFY(fixture->WriteDatabase(MakeDatabase(30, [](int number) {
        return number == 27 ? QByteArray("3500-027,Maker27,Model 27") : DefaultDeviceLine(number);
    })));
    Start(std::move(fixture));
    Combo(1)->setCurrentIndex(27);
    SetCount(QStringLiteral("5"));

    ClickGenerate();

    QCOMPARE(
        m_fixture->platform.messages,
        QStringList({FromStd(quillon::ProblemText(*quillon::DevicePrefixProblem("Maker27 Model 27", "3500-027")))}));
    QVERIFY(!Form().GenerationRunning());
    QCOMPARE(Form().GeneratedCount(), 0);
    QVERIFY(Combo(1)->isHidden());
}

void GenerateTest::clicksDuringARunAreIgnored() {
    SelectModel(QStringLiteral("HTC"));
    SetCount(QStringLiteral("250"));
    Form().SetPassInterval(1ms);
    ClickGenerate();
    QTRY_VERIFY_WITH_TIMEOUT(Form().GeneratedCount() >= 5, kRunTimeout);

    // A second Generate does not start the run again, Validate does not validate.
    const int generated = Form().GeneratedCount();
    ClickGenerate();
    ClickValidate();
    QVERIFY(Label(16)->isHidden());
    QVERIFY(Form().GenerationRunning());
    QTRY_VERIFY_WITH_TIMEOUT(Form().GeneratedCount() > generated + 2, kRunTimeout);
    QCOMPARE(m_randomSourcesMade, 1);
    QCOMPARE(m_fixture->platform.messages, QStringList());

    // Lowering the count ends the run at its next valid number, without a report for a count of 1.
    SetCount(QStringLiteral("1"));
    QTRY_COMPARE_WITH_TIMEOUT(m_finished->count(), 1, kRunTimeout);
    QVERIFY(IsValidNumber(Text1()->text()));
    QCOMPARE(ReportFiles(m_fixture->DirectoryPath()), QStringList());

    // Once the run has ended, Validate works again.
    ClickValidate();
    QVERIFY(Label(16)->isVisible());
    QCOMPARE(Label(16)->text(), QStringLiteral("VALID"));
}

void GenerateTest::closingDuringARunEndsIt() {
    SelectModel(QStringLiteral("Huawei"));
    SetCount(QStringLiteral("250"));
    Form().SetPassInterval(1ms);
    ClickGenerate();
    QTRY_VERIFY_WITH_TIMEOUT(Form().GeneratedCount() >= 3, kRunTimeout);
    auto* timer = m_fixture->Find<QTimer>("GenerationPassTimer");
    QVERIFY(timer != nullptr);
    QVERIFY(timer->isActive());

    QVERIFY(Form().close());

    QVERIFY(!Form().GenerationRunning());
    QVERIFY(!timer->isActive());
    QCOMPARE(m_finished->count(), 1);
    QCOMPARE(ReportFiles(m_fixture->DirectoryPath()), QStringList());
    QCOMPARE(AllFiles(m_fixture->DirectoryPath()), QStringList({"tacdex.csv"}));
    QCOMPARE(m_fixture->platform.messages, QStringList());
    // The window goes away cleanly with the run's state still in it.
    m_finished.reset();
    m_fixture.reset();
}

void GenerateTest::reportGoesToDocumentsWhenProgramFolderRefuses() {
    BlockedProgramFolder window;
    QVERIFY(window.loaded && window.blocked);
    const QString documents = window.root.filePath(QStringLiteral("home/Documents")); // made when needed
    window.form.SetDocumentsDirectory(std::filesystem::path(documents.toStdU16String()));
    QVERIFY(window.Generate(QStringLiteral("10")));

    const QStringList reports = ReportFiles(documents);
    QCOMPARE(reports.size(), 1);
    QCOMPARE(AllFiles(documents), reports);
    const QString written = QDir::toNativeSeparators(QDir(documents).absoluteFilePath(reports.first()));
    QCOMPARE(window.platform.messages.size(), 1);
    const QString message = window.platform.messages.first();
    QVERIFY2(message.startsWith(QStringLiteral("Calculation completed in ")), qPrintable(message));
    QVERIFY2(message.endsWith(QStringLiteral(" seconds. Output written to ") + written), qPrintable(message));
    QFile file(QDir(documents).filePath(reports.first()));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(file.readAll()).endsWith(window.form.GeneratedList() + QStringLiteral("\r\n")));
}

void GenerateTest::reportFailureIsToldAndNumbersStay() {
    BlockedProgramFolder window;
    QVERIFY(window.loaded && window.blocked);
    // A documents folder below a plain file can never be made.
    const QString blocker = window.root.filePath(QStringLiteral("blocker"));
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    window.form.SetDocumentsDirectory(std::filesystem::path(QDir(blocker).filePath("Documents").toStdU16String()));
    QVERIFY(window.Generate(QStringLiteral("5")));

    QCOMPARE(window.platform.messages.size(), 1);
    const QString message = window.platform.messages.first();
    QVERIFY2(message.startsWith(QStringLiteral("The report could not be written")), qPrintable(message));
    // Both folders with the system's own separators.
    QVERIFY2(message.contains(QStringLiteral("Beside the program: ")) &&
                 message.contains(QDir::toNativeSeparators(window.program)),
             qPrintable(message));
    QVERIFY2(message.contains(QStringLiteral("In the documents folder: ")) &&
                 message.contains(QDir::toNativeSeparators(blocker)),
             qPrintable(message));
#ifndef Q_OS_WIN
    // Both failures in full, with the system's reasons.
    QCOMPARE(
        QString(message).replace(window.root.path(), QStringLiteral("{root}")),
        QStringLiteral("The report could not be written; the numbers of this run were not saved.\r\n"
                       "Beside the program: cannot create a file in the folder \"{root}/program\": Not a directory\r\n"
                       "In the documents folder: cannot create the folder \"{root}/blocker/Documents\": Not a "
                       "directory"));
#endif
    QCOMPARE(ListedNumbers(window.form.GeneratedList()).size(), 5);
    QCOMPARE(window.form.findChild<QLabel*>("Label19")->text(), QStringLiteral("Valid: 5"));
    QCOMPARE(QDir(window.root.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList({"blocker", "program"}));
}

// The bytes of reports and messages, recorded: seed 1, and a clock that reads 2026-01-02 03:04:05
// and moves 1.234 s a reading.
void GenerateTest::reportsKeepTheirRecordedBytes() {
    struct Recorded {
        QString model;
        QString count;
        QByteArray report;
        QString message;
    };
    const Recorded runs[] = {
        {QStringLiteral("Samsung Galaxy S6"), QStringLiteral("3"),
         QByteArray(
             "Quillon v2.1.2.5 Professional Edition\r\nMade by The Quillon developers\r\nHomepage: "
             "http://quillon.example.org/\r\n"
             "Mobile Device Type: Samsung Galaxy S6\r\nCalculation completed in  1.234 seconds.\r\n"
             "--------------------------------------\r\n359521062186236\r\n359669066846667\r\n357460061151556\r\n"),
         QStringLiteral("Calculation completed in  1.234 seconds. Output written to "
                        "{dir}%1Quillon.v2.1.2.3.Professional-(01-02-2026_030405).txt")
             .arg(QDir::separator())},
        {QStringLiteral("Maker26 Model 26"), QStringLiteral("2"),
         QByteArray("Quillon v2.1.2.5 Professional Edition\r\nMade by The Quillon developers\r\nHomepage: "
                    "http://quillon.example.org/\r\n"
                    "Mobile Device Type: Maker26 Model 26\r\nCalculation completed in  1.234 seconds.\r\n"
                    "--------------------------------------\r\n350000265578787\r\n350000261611467\r\n"),
         QStringLiteral("Calculation completed in  1.234 seconds. Output written to "
                        "{dir}%1Quillon.v2.1.2.3.Professional-(01-02-2026_030405).txt")
             .arg(QDir::separator())},
        {QString(), QStringLiteral("2"),
         QByteArray("Quillon v2.1.2.5 Professional Edition\r\nMade by The Quillon developers\r\nHomepage: "
                    "http://quillon.example.org/\r\n"
                    "Mobile Device Type: \r\nCalculation completed in  1.234 seconds.\r\n"
                    "--------------------------------------\r\n353941629851757\r\n351441831249835\r\n"),
         QStringLiteral("Calculation completed in  1.234 seconds. Output written to "
                        "{dir}%1Quillon.v2.1.2.3.Professional-(01-02-2026_030405).txt")
             .arg(QDir::separator())},
    };
    const QString folder = QDir::toNativeSeparators(m_fixture->DirectoryPath());
    for (const Recorded& run : runs) {
        for (const QString& name : ReportFiles(m_fixture->DirectoryPath())) {
            QVERIFY(QDir(m_fixture->DirectoryPath()).remove(name));
        }
        m_fixture->platform.messages.clear();
        if (run.model.isEmpty()) {
            Combo(1)->setCurrentIndex(0);
        } else {
            SelectModel(run.model);
        }
        SetCount(run.count);
        Generate();
        const QStringList reports = ReportFiles(m_fixture->DirectoryPath());
        QCOMPARE(reports, QStringList({"Quillon.v2.1.2.3.Professional-(01-02-2026_030405).txt"}));
        QFile file(QDir(m_fixture->DirectoryPath()).filePath(reports.first()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), run.report);
        QCOMPARE(m_fixture->platform.messages.size(), 1);
        QCOMPARE(m_fixture->platform.messages.first().replace(folder, QStringLiteral("{dir}")), run.message);
    }
}

QTEST_MAIN(GenerateTest)
#include "test_generate.moc"
