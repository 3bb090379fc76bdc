#include "WindowFixture.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTextBrowser>
#include <QtTest>

using quillon::Twips;

namespace {

const QStringList kFocusOrder = {"Text1",  "Command1", "Command2", "Check1", "Check2", "Check3",     "Check4",
                                 "Check5", "Check6",   "Check7",   "Check8", "Combo1", "Scriptlet1", "Combo2"};

// The named control that holds the focus (an editable combo box hands it to its line edit).
QString FocusedControl() {
    for (QWidget* widget = QApplication::focusWidget(); widget != nullptr; widget = widget->parentWidget()) {
        if (kFocusOrder.contains(widget->objectName())) {
            return widget->objectName();
        }
    }
    return QStringLiteral("<none>");
}

// Whether the widths and faces that the window's fonts give can be checked. Not on a Windows that
// lacks the faces Windows 10 and 11 ship (MS Sans Serif, Verdana, Terminal): Wine, whose substitutes
// are wider and have no fixed-pitch face.
bool NamedFontsPresent() {
#ifdef Q_OS_WIN
    return QFontDatabase::hasFamily(QStringLiteral("MS Sans Serif")) &&
           QFontDatabase::hasFamily(QStringLiteral("Verdana")) && QFontDatabase::hasFamily(QStringLiteral("Terminal"));
#else
    return true;
#endif
}

} // namespace

class LayoutTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void controlGeometry_data();
    void controlGeometry();
    void labelsSitAtTheirPlace_data();
    void labelsSitAtTheirPlace();
    void clientAreaIsFixed();
    void fontsAndColours();
    void menuBar();
    void buttonsAreNeverDefault();
    void longCaptionWidensToTheRight();
    void focusOrder();
    void enterAndEscapePressNoButton();
    void accessibleNames_data();
    void accessibleNames();
    void everyControlIsDescribed();
    void iconDesktopNameAndNoMaximise();
    void helpViewKeepsItsFrameWhenScaled();

private:
    WindowFixture& Fixture() { return *m_fixture; }
    std::unique_ptr<WindowFixture> m_fixture;
};

void LayoutTest::init() {
    m_fixture = std::make_unique<WindowFixture>();
    QVERIFY(m_fixture->WriteDatabase(MakeDatabase(30)));
    QVERIFY(m_fixture->CreateAndLoad());
    m_fixture->Form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&m_fixture->Form()));
}

void LayoutTest::cleanup() {
    m_fixture.reset();
}

void LayoutTest::controlGeometry_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips"); // Left, Top, Width, Height

    QTest::newRow("Combo1") << "Combo1" << QRect(120, 120, 5775, 315);
    QTest::newRow("Combo2") << "Combo2" << QRect(6000, 120, 650, 315);
    QTest::newRow("Text1") << "Text1" << QRect(6840, 120, 3135, 405);
    QTest::newRow("Command1") << "Command1" << QRect(3960, 600, 855, 315);
    QTest::newRow("Command2") << "Command2" << QRect(4920, 600, 855, 315);
    QTest::newRow("Check6") << "Check6" << QRect(6120, 600, 735, 195);
    QTest::newRow("Check3") << "Check3" << QRect(6960, 600, 855, 195);
    QTest::newRow("Check8") << "Check8" << QRect(7800, 600, 855, 195);
    QTest::newRow("Check5") << "Check5" << QRect(8640, 600, 1335, 195);
    QTest::newRow("Check1") << "Check1" << QRect(6120, 840, 855, 195);
    QTest::newRow("Check2") << "Check2" << QRect(6960, 840, 855, 195);
    QTest::newRow("Check7") << "Check7" << QRect(7800, 840, 855, 195);
    QTest::newRow("Check4") << "Check4" << QRect(8640, 840, 1215, 195);
    // Start-up resizes the page view from its design size.
    QTest::newRow("Scriptlet1") << "Scriptlet1" << QRect(120, 2520, 7025, 905);
}

void LayoutTest::controlGeometry() {
    QFETCH(QString, name);
    QFETCH(QRect, twips);
    const auto* widget = Fixture().Find<QWidget>(name);
    QVERIFY(widget != nullptr);
    QCOMPARE(widget->geometry(),
             QRect(Twips(twips.x()), Twips(twips.y()), Twips(twips.width()), Twips(twips.height())));
}

void LayoutTest::labelsSitAtTheirPlace_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QPoint>("twips");

    const struct {
        const char* name;
        const char* caption;
        int left;
        int top;
    } rows[] = {
        {"Label22", "Author", 120, 480},
        {"Label23", "Database", 120, 720},
        {"Label24", "Copy IMEI to Clipboard", 6120, 1080},
        {"Label4", "Full IMEI Presentation", 120, 1560},
        {"Label8", "0", 2040, 1560},
        {"Label17", "Result:", 5400, 1560},
        {"Label16", "INVALID", 6000, 1560},
        {"Label5", "Reporting Body Identifier", 120, 1800},
        {"Label9", "00", 2040, 1800},
        {"Label6", "Type Allocation Code", 120, 2040},
        {"Label10", "000000", 2040, 2040},
        {"Label13", "Manufacturer:", 5400, 2040},
        {"Label7", "Serial Number", 120, 2280},
        {"Label11", "00000", 2040, 2280},
        {"Label14", "Model:", 5400, 2280},
        {"Label1", "Check: 00000000000000", 7440, 2520},
        {"Label3", "Luhn:", 9480, 2520},
        {"Label2", "CheckSum", 7440, 2760},
        {"Label12", "Generated", 7440, 3000},
        {"Label19", "Valid", 7440, 3240},
        {"Label18", nullptr, 1560, 480},
        {"Label21", nullptr, 1560, 720},
        {"Label20", nullptr, 120, 960},
        {"Label25", nullptr, 120, 1200},
        {"Label15", nullptr, 120, 3480},
    };
    for (const auto& row : rows) {
        QTest::newRow(row.name) << QString::fromLatin1(row.name)
                                << (row.caption != nullptr ? QString::fromLatin1(row.caption) : QString())
                                << QPoint(row.left, row.top);
    }
}

void LayoutTest::labelsSitAtTheirPlace() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QPoint, twips);
    const auto* label = Fixture().Find<QLabel>(name);
    QVERIFY(label != nullptr);
    if (!caption.isEmpty()) {
        QCOMPARE(label->text(), caption);
    }
    QCOMPARE(label->pos(), QPoint(Twips(twips.x()), Twips(twips.y())));
    // One line, exactly as large as its caption, and inside the client area.
    QCOMPARE(label->size(), label->sizeHint());
    QVERIFY(!label->wordWrap());
    QVERIFY2(!NamedFontsPresent() || label->geometry().right() < Twips(quillon::kClientWidthTwips),
             qPrintable(label->text()));
    QVERIFY2(label->geometry().bottom() < Twips(quillon::kClientHeightTwips), qPrintable(label->text()));
}

void LayoutTest::clientAreaIsFixed() {
    quillon::Form1& form = Fixture().Form();
    QWidget* client = form.centralWidget();
    QCOMPARE(client->size(), QSize(675, 247));
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QCOMPARE(form.height(), 247 + form.menuBar()->height());
    // Every control lies fully inside the client area.
    for (const QWidget* child : client->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        QVERIFY2(!NamedFontsPresent() || client->rect().contains(child->geometry()), qPrintable(child->objectName()));
    }
}

void LayoutTest::fontsAndColours() {
    auto font = [this](const char* name) { return Fixture().Find<QWidget>(QString::fromLatin1(name))->font(); };
    auto colour = [this](const char* name) {
        return Fixture().Find<QWidget>(QString::fromLatin1(name))->palette().color(QPalette::WindowText);
    };

    QCOMPARE(font("Label4").pointSizeF(), 8.25);
    QCOMPARE(font("Label4").weight(), QFont::Normal);
    QCOMPARE(font("Command1").pointSizeF(), 8.25);
    QCOMPARE(font("Text1").pointSizeF(), 11.25);
    QCOMPARE(font("Text1").weight(), QFont::Bold);
    for (const char* bold : {"Combo1", "Label18", "Label21", "Label13", "Label14", "Label16", "Label17"}) {
        QVERIFY2(font(bold).weight() == QFont::Bold, bold);
        QCOMPARE(font(bold).pointSizeF(), 8.25);
    }
    QCOMPARE(font("Combo2").weight(), QFont::Normal);
    QCOMPARE(font("Label24").pointSizeF(), 9.0);
    QCOMPARE(font("Label24").weight(), QFont::Bold);
    QVERIFY(!NamedFontsPresent() || QFontInfo(font("Label24")).fixedPitch());
    QVERIFY(font("Label15").italic());
    QCOMPARE(font("Label15").weight(), QFont::Normal);

    QCOMPARE(colour("Label18"), QColor(0, 0, 255));
    QCOMPARE(colour("Label21"), QColor(0, 0, 255));
    QCOMPARE(colour("Label16"), QColor(255, 0, 0));
    QCOMPARE(colour("Label17"), QColor(0, 0, 0));
}

void LayoutTest::menuBar() {
    const QMenuBar* bar = Fixture().Form().menuBar();
    QStringList captions;
    for (const QAction* action : bar->actions()) {
        captions.append(action->text());
    }
    QCOMPARE(captions, QStringList({"File", "About", "Update"}));
    const auto* file = Fixture().Find<QMenu>("File");
    QVERIFY(file != nullptr);
    QStringList items;
    for (const QAction* action : file->actions()) {
        QVERIFY(!action->isSeparator());
        items.append(action->text());
    }
    QCOMPARE(items,
             QStringList({"Import Device List...", "Use Shipped Device List", "Check a List of IMEIs...", "Exit"}));
    QCOMPARE(file->actions().last(), Fixture().Find<QAction>("Exit"));
    for (const char* name : {"ImportDeviceList", "UseShippedDeviceList", "CheckList", "Exit", "About", "ChkUpdate"}) {
        const auto* action = Fixture().Find<QAction>(QString::fromLatin1(name));
        QVERIFY2(action != nullptr, name);
        QVERIFY2(action->shortcut().isEmpty(), name);
        QVERIFY2(!action->text().contains(QLatin1Char('&')), name);
    }
    // About and Update are commands on the bar itself.
    QVERIFY(Fixture().Find<QAction>("About")->menu() == nullptr);
    QVERIFY(Fixture().Find<QAction>("ChkUpdate")->menu() == nullptr);
}

void LayoutTest::buttonsAreNeverDefault() {
    for (const char* name : {"Command1", "Command2"}) {
        const auto* button = Fixture().Find<QPushButton>(QString::fromLatin1(name));
        QVERIFY2(!button->autoDefault(), name);
        QVERIFY2(!button->isDefault(), name);
    }
}

void LayoutTest::longCaptionWidensToTheRight() {
    // A valid number with an unknown code, then the long name of reporting body 49.
    Fixture().Find<QLineEdit>("Text1")->setText(QStringLiteral("356938035643809"));
    QTest::mouseClick(Fixture().Find<QPushButton>("Command1"), Qt::LeftButton);
    const auto* manufacturer = Fixture().Find<QLabel>("Label13");
    QCOMPARE(manufacturer->text(), QStringLiteral("Manufacturer: Not Found in Database!"));
    QCOMPARE(manufacturer->pos(), QPoint(Twips(5400), Twips(2040)));
    QVERIFY(manufacturer->width() > Twips(1200));
    QCOMPARE(manufacturer->size(), manufacturer->sizeHint());
    QVERIFY(!NamedFontsPresent() || manufacturer->geometry().right() < 675);

    Fixture().Find<QLineEdit>("Text1")->setText(QStringLiteral("490154203237518"));
    QTest::mouseClick(Fixture().Find<QPushButton>("Command1"), Qt::LeftButton);
    const auto* body = Fixture().Find<QLabel>("Label9");
    QCOMPARE(body->pos(), QPoint(Twips(2040), Twips(1800)));
    QVERIFY(body->width() > 10 * Twips(180));
    QCOMPARE(body->height(), Fixture().Find<QLabel>("Label5")->height()); // still one line
    QVERIFY(!NamedFontsPresent() || body->geometry().right() < 675);
}

void LayoutTest::focusOrder() {
    quillon::Form1& form = Fixture().Form();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QCOMPARE(FocusedControl(), QStringLiteral("Text1"));

    // The generation run shows the two lists; with them visible every control is in the chain.
    Fixture().Find<QComboBox>("Combo1")->show();
    Fixture().Find<QComboBox>("Combo2")->show();
    QStringList visited{FocusedControl()};
    for (int i = 1; i < kFocusOrder.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.append(FocusedControl());
    }
    QCOMPARE(visited, kFocusOrder);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(FocusedControl(), QStringLiteral("Text1"));
}

void LayoutTest::enterAndEscapePressNoButton() {
    quillon::Form1& form = Fixture().Form();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    for (const char* name : {"Text1", "Command1", "Command2"}) {
        auto* widget = Fixture().Find<QWidget>(QString::fromLatin1(name));
        widget->setFocus();
        QTRY_COMPARE(FocusedControl(), QString::fromLatin1(name));
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            QTest::keyClick(widget, key);
        }
    }
    // No validation ran: the panel and the state are as start-up left them.
    QCOMPARE(Fixture().Caption("Label8"), QStringLiteral("0"));
    QVERIFY(Fixture().Find<QLabel>("Label16")->isHidden());
    QCOMPARE(form.CurrentIMEI(), QString());
    QVERIFY(Fixture().platform.messages.isEmpty());
    QVERIFY(form.isVisible());
}

// What a screen reader hears for the named control.
QString AccessibleText(QWidget* widget, QAccessible::Text which) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible != nullptr ? accessible->text(which) : QStringLiteral("<not accessible>");
}

void LayoutTest::accessibleNames_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("descriptionPart");
    QTest::newRow("IMEI box") << "Text1"
                              << "IMEI"
                              << "IMEI";
    QTest::newRow("Validate") << "Command1"
                              << "Validate"
                              << "Validates";
    QTest::newRow("Generate") << "Command2"
                              << "Generate"
                              << "Generates";
    QTest::newRow("model list") << "Combo1"
                                << "Model"
                                << "Manufacturer";
    QTest::newRow("count list") << "Combo2"
                                << "Count"
                                << "How many";
    QTest::newRow("result caption") << "Label17"
                                    << "Result"
                                    << "result";
    QTest::newRow("verdict") << "Label16"
                             << "INVALID"
                             << "Result";
    QTest::newRow("copy IMEI") << "Label24"
                               << "Copy IMEI to Clipboard"
                               << "Copies the text of the IMEI box";
    QTest::newRow("TAC") << "Label10"
                         << "000000"
                         << "copies it to the clipboard";
    QTest::newRow("manufacturer") << "Label13"
                                  << "Manufacturer:"
                                  << "opens a lookup of the IMEI";
    QTest::newRow("model") << "Label14"
                           << "Model:"
                           << "opens a lookup of the IMEI";
    QTest::newRow("donation") << "Label15"
                              << ""
                              << "Copies the donation address";
    QTest::newRow("maker's site") << "Label18"
                                  << ""
                                  << "Opens the maker's home page";
    QTest::newRow("service's site") << "Label21"
                                    << ""
                                    << "Opens the device database service's home page";
    QTest::newRow("PTCRB") << "Check8"
                           << "PTCRB"
                           << "Reporting body PTCRB";
    QTest::newRow("BABT/BAPT") << "Check4"
                               << "BABT/BAPT"
                               << "Reporting body BABT/BAPT";
    QTest::newRow("help") << "Scriptlet1"
                          << "Help"
                          << "How to use";
}

void LayoutTest::accessibleNames() {
    QFETCH(QString, control);
    QFETCH(QString, name);
    QFETCH(QString, descriptionPart);
    QWidget* widget = m_fixture->Find<QWidget>(control);
    QVERIFY(widget != nullptr);
    if (!name.isEmpty()) {
        QCOMPARE(AccessibleText(widget, QAccessible::Name), name);
    }
    const QString description = AccessibleText(widget, QAccessible::Description);
    QVERIFY2(description.contains(descriptionPart), qPrintable(description));
}

// Every control has a name and a description, and nothing visible came with them: no tooltip, no
// special pointer.
void LayoutTest::everyControlIsDescribed() {
    const QList<QWidget*> controls = m_fixture->Find<QWidget>(QStringLiteral("ClientArea"))
                                         ->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(controls.size(), 39); // 25 labels, 8 boxes, 2 lists, 2 buttons, the text box and the help view
    for (QWidget* widget : controls) {
        const QString what = widget->objectName();
        QVERIFY2(!AccessibleText(widget, QAccessible::Name).isEmpty(), qPrintable(what));
        QVERIFY2(!AccessibleText(widget, QAccessible::Description).isEmpty(), qPrintable(what));
        QVERIFY2(widget->toolTip().isEmpty(), qPrintable(what));
        if (qobject_cast<QLabel*>(widget) != nullptr) {
            QVERIFY2(widget->cursor().shape() == Qt::ArrowCursor, qPrintable(what));
        }
    }
}

void LayoutTest::iconDesktopNameAndNoMaximise() {
    quillon::SetUpApplicationIdentity();
    QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral("quillon"));
    QVERIFY(!QGuiApplication::windowIcon().pixmap(32, 32).isNull());
    QVERIFY(!m_fixture->Form().windowIcon().pixmap(32, 32).isNull());
    const Qt::WindowFlags flags = m_fixture->Form().windowFlags();
    QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowTitleHint));
}

// At a fractional scale the page area is rounded to whole pixels; one pixel of room inside the
// frame's right and bottom edges keeps it from covering them (seen at QT_SCALE_FACTOR=1.5).
void LayoutTest::helpViewKeepsItsFrameWhenScaled() {
    auto* view = m_fixture->Find<QTextBrowser>(QStringLiteral("Scriptlet1"));
    QVERIFY(view != nullptr);
    const QRect page = view->viewport()->geometry();
    const int frame = view->frameWidth();
    QVERIFY2(page.right() <= view->width() - 1 - frame - 1,
             qPrintable(QStringLiteral("page ends at %1 of %2").arg(page.right()).arg(view->width())));
    QVERIFY(page.bottom() <= view->height() - 1 - frame - 1);
    // The room is filled in the page's colour, so nothing shows at 1x.
    QVERIFY(view->autoFillBackground());
    QCOMPARE(view->palette().color(QPalette::Window), view->palette().color(QPalette::Base));
}

QTEST_MAIN(LayoutTest)
#include "test_layout.moc"
