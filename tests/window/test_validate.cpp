#include "WindowFixture.h"

#include "imei/ReportingBody.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using quillon::Form1;

namespace {

// A database whose line 5 knows the example's Type Allocation Code.
QByteArray ExampleDatabase() {
    return MakeDatabase(
        30, [](int number) { return number == 5 ? QByteArray("49015420,Acme, Phone 49") : DefaultDeviceLine(number); });
}

QString Body(const char* code) {
    const std::string text = quillon::LookupReportingBody(code).text;
    return QString::fromStdString(text);
}

// Everything on the result panel that a run may write, to compare before and after a run.
struct Panel {
    QStringList captions;
    QList<bool> visible;
    QList<bool> boxes;
    bool foundInDB = false;
    bool imeiValid = false;

    bool operator==(const Panel&) const = default;
};

} // namespace

class ValidateTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void exampleFillsThePanel();
    void unknownCodeValidShowsNotFoundTexts();
    void unknownCodeInvalidShowsNoDeviceLines();
    void sixteenDigitsLeavesThePanel();
    void boxesFollowTheReportingBody_data();
    void boxesFollowTheReportingBody();
    void typeAllocationCodeCopy();
    void databaseReReadAtEveryRun();

private:
    void Validate(const QString& text);
    QCheckBox* Check(int number) const { return m_fixture->Find<QCheckBox>(QStringLiteral("Check%1").arg(number)); }
    QList<bool> Boxes() const;
    Panel Snapshot() const;

    std::unique_ptr<WindowFixture> m_fixture;
};

void ValidateTest::init() {
    m_fixture = std::make_unique<WindowFixture>();
    QVERIFY(m_fixture->WriteDatabase(ExampleDatabase()));
    QVERIFY(m_fixture->CreateAndLoad());
    m_fixture->Form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&m_fixture->Form()));
}

void ValidateTest::cleanup() {
    m_fixture.reset();
}

void ValidateTest::Validate(const QString& text) {
    m_fixture->Find<QLineEdit>("Text1")->setText(text);
    QTest::mouseClick(m_fixture->Find<QPushButton>("Command1"), Qt::LeftButton);
}

QList<bool> ValidateTest::Boxes() const {
    QList<bool> boxes;
    for (int number = 1; number <= 8; ++number) {
        boxes.append(Check(number)->isChecked());
    }
    return boxes;
}

Panel ValidateTest::Snapshot() const {
    Panel panel;
    for (const char* name : {"Label1", "Label2", "Label3", "Label8", "Label9", "Label10", "Label11", "Label13",
                             "Label14", "Label16", "Label17", "Label20", "Label25"}) {
        const QString label = QString::fromLatin1(name);
        panel.captions.append(m_fixture->Caption(label));
        panel.visible.append(m_fixture->Find<QLabel>(label)->isVisible());
    }
    panel.boxes = Boxes();
    panel.foundInDB = m_fixture->Form().FoundInDB();
    panel.imeiValid = m_fixture->Form().IMEIValid();
    return panel;
}

void ValidateTest::exampleFillsThePanel() {
    Validate(QStringLiteral("49-015420-323751-8"));
    const Form1& form = m_fixture->Form();

    QVERIFY(m_fixture->platform.messages.isEmpty());
    QCOMPARE(m_fixture->Find<QLineEdit>("Text1")->text(), QStringLiteral("490154203237518"));
    QCOMPARE(form.CurrentIMEI(), QStringLiteral("490154203237518"));
    QCOMPARE(m_fixture->Caption("Label8"), QStringLiteral("490154-20-323751-8"));
    QCOMPARE(m_fixture->Caption("Label9"), Body("49"));
    QVERIFY(m_fixture->Caption("Label9").startsWith(QStringLiteral("49 (")));
    // BABT/BAPT and BZT/Cetecom.
    QCOMPARE(Boxes(), QList<bool>({false, false, false, true, true, false, false, false}));
    QCOMPARE(m_fixture->Caption("Label10"), QStringLiteral("49015420"));
    QCOMPARE(m_fixture->Caption("Label11"), QStringLiteral("323751"));
    QCOMPARE(m_fixture->Caption("Label1"), QStringLiteral("Check: 49025820343552"));
    QCOMPARE(m_fixture->Caption("Label2"), QStringLiteral("CheckSum: 52(60)"));
    QCOMPARE(m_fixture->Caption("Label3"), QStringLiteral("Luhn: 8"));

    // The device line's fields as they stand, the leading space included.
    QVERIFY(form.FoundInDB());
    QVERIFY(m_fixture->Find<QLabel>("Label13")->isVisible());
    QVERIFY(m_fixture->Find<QLabel>("Label14")->isVisible());
    QCOMPARE(m_fixture->Caption("Label13"), QStringLiteral("Manufacturer: Acme"));
    QCOMPARE(m_fixture->Caption("Label14"), QStringLiteral("Model:  Phone 49"));

    QVERIFY(form.IMEIValid());
    const auto* verdict = m_fixture->Find<QLabel>("Label16");
    QVERIFY(verdict->isVisible());
    QVERIFY(m_fixture->Find<QLabel>("Label17")->isVisible());
    QCOMPARE(verdict->text(), QStringLiteral("VALID"));
    QCOMPARE(verdict->palette().color(QPalette::WindowText), QColor(0, 175, 0));
}

void ValidateTest::unknownCodeValidShowsNotFoundTexts() {
    Validate(QStringLiteral("356938035643809"));
    QVERIFY(m_fixture->Form().IMEIValid());
    QVERIFY(!m_fixture->Form().FoundInDB());
    QCOMPARE(m_fixture->Caption("Label16"), QStringLiteral("VALID"));
    QVERIFY(m_fixture->Find<QLabel>("Label13")->isVisible());
    QCOMPARE(m_fixture->Caption("Label13"), QStringLiteral("Manufacturer: Not Found in Database!"));
    QCOMPARE(m_fixture->Caption("Label14"), QStringLiteral("Model:            ^^ Click to Submit ^^"));
}

void ValidateTest::unknownCodeInvalidShowsNoDeviceLines() {
    // First a run that shows the device lines, then an invalid number with an unknown code.
    Validate(QStringLiteral("490154203237518"));
    Validate(QStringLiteral("356938035643808"));
    QVERIFY(!m_fixture->Form().IMEIValid());
    QCOMPARE(m_fixture->Caption("Label16"), QStringLiteral("INVALID"));
    QCOMPARE(m_fixture->Find<QLabel>("Label16")->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QVERIFY(m_fixture->Find<QLabel>("Label16")->isVisible());
    QVERIFY(m_fixture->Find<QLabel>("Label13")->isHidden());
    QVERIFY(m_fixture->Find<QLabel>("Label14")->isHidden());
}

void ValidateTest::sixteenDigitsLeavesThePanel() {
    Validate(QStringLiteral("49-015420-323751-8"));
    Panel before = Snapshot();

    Validate(QStringLiteral("4901542032375180"));
    QCOMPARE(m_fixture->platform.messages, QStringList({QStringLiteral("Invalid IMEI")}));
    QCOMPARE(m_fixture->Find<QLineEdit>("Text1")->text(), QStringLiteral("4901542032375180"));
    QCOMPARE(m_fixture->Form().CurrentIMEI(), QStringLiteral("4901542032375180"));

    // Only the verdict and its caption disappear; everything else stays as the first run left it.
    Panel after = Snapshot();
    QVERIFY(!m_fixture->Find<QLabel>("Label16")->isVisible());
    QVERIFY(!m_fixture->Find<QLabel>("Label17")->isVisible());
    before.visible[9] = false;  // Label16
    before.visible[10] = false; // Label17
    QCOMPARE(after.captions, before.captions);
    QCOMPARE(after.visible, before.visible);
    QCOMPARE(after.boxes, before.boxes);
    QCOMPARE(after.foundInDB, before.foundInDB);
    QCOMPARE(after.imeiValid, before.imeiValid);
}

void ValidateTest::boxesFollowTheReportingBody_data() {
    QTest::addColumn<QString>("second");
    QTest::addColumn<QList<bool>>("boxes"); // Check1 .. Check8 after the second run

    // Row 50 leaves the other boxes as they were: PTCRB from the first run, MSAI ticked by hand.
    QTest::newRow("50 keeps PTCRB and adds BZT/Cetecom")
        << QStringLiteral("500000000000000") << QList<bool>({false, true, false, false, true, false, false, true});
    QTest::newRow("51 leaves only BZT/Cetecom")
        << QStringLiteral("510000000000000") << QList<bool>({false, false, false, false, true, false, false, false});
    QTest::newRow("00 clears every box") << QStringLiteral("000000000000000")
                                         << QList<bool>({false, false, false, false, false, false, false, false});
}

void ValidateTest::boxesFollowTheReportingBody() {
    QFETCH(QString, second);
    QFETCH(QList<bool>, boxes);

    Validate(QStringLiteral("010000000000000"));
    QCOMPARE(Boxes(), QList<bool>({false, false, false, false, false, false, false, true}));
    QCOMPARE(m_fixture->Caption("Label9"), Body("01"));
    Check(2)->setChecked(true); // MSAI, ticked by the user between the runs

    Validate(second);
    QCOMPARE(Boxes(), boxes);
    QCOMPARE(m_fixture->Caption("Label9"), Body(second.left(2).toLatin1().constData()));
}

void ValidateTest::typeAllocationCodeCopy() {
    auto* label = m_fixture->Find<QLabel>("Label10");
    QTest::mouseClick(label, Qt::LeftButton);
    QCOMPARE(m_fixture->platform.clipboardTexts, QStringList({QStringLiteral("000000")}));

    Validate(QStringLiteral("49-015420-323751-8"));
    QTest::mouseClick(label, Qt::LeftButton);
    QCOMPARE(m_fixture->platform.clipboardTexts, QStringList({QStringLiteral("000000"), QStringLiteral("49015420")}));
    QVERIFY(m_fixture->platform.messages.isEmpty());

    // A clipboard that refuses the text changes nothing on the window and says nothing.
    m_fixture->platform.clipboardWorks = false;
    QTest::mouseClick(label, Qt::LeftButton);
    QCOMPARE(m_fixture->platform.clipboardTexts.size(), 2);
    QVERIFY(m_fixture->platform.messages.isEmpty());
}

void ValidateTest::databaseReReadAtEveryRun() {
    Validate(QStringLiteral("356938035643809"));
    QVERIFY(!m_fixture->Form().FoundInDB());
    const QString version = m_fixture->Caption("Label20");
    const QString count = m_fixture->Caption("Label25");

    QVERIFY(m_fixture->WriteDatabase(MakeDatabase(
        40, [](int number) { return number == 33 ? QByteArray("35693803,Later,Added") : DefaultDeviceLine(number); })));
    Validate(QStringLiteral("356938035643809"));
    QVERIFY(m_fixture->Form().FoundInDB());
    QCOMPARE(m_fixture->Caption("Label13"), QStringLiteral("Manufacturer: Later"));
    QCOMPARE(m_fixture->Caption("Label14"), QStringLiteral("Model: Added"));
    // The captions keep what start-up showed.
    QCOMPARE(m_fixture->Caption("Label20"), version);
    QCOMPARE(m_fixture->Caption("Label25"), count);
}

QTEST_MAIN(ValidateTest)
#include "test_validate.moc"
