#include "ClickableLabel.h"
#include "Form1.h"
#include "QtText.h"
#include "WindowFixture.h"
#include "identity/Identity.h"
#include "imei/Imei.h"
#include "support/CoreExtras.h"

#include <QAccessible>
#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <QUrlQuery>

using quillon::ToQString;
namespace identity = quillon::identity;

namespace {

const QString kNotFoundIMEI = QStringLiteral("490154203237518"); // its code is not in the test database

// A Luhn-valid IMEI whose code is on device line `line` of the test database.
QString FoundIMEI(int line) {
    const QString body = QString::fromUtf8(DefaultDeviceLine(line).left(8)) + QStringLiteral("123456");
    for (int digit = 0; digit <= 9; ++digit) {
        const QString candidate = body + QString::number(digit);
        if (quillon::IsValidIMEI(candidate.toStdString())) {
            return candidate;
        }
    }
    return {};
}

QString ServiceHost() {
    return ToQString(identity::kServiceHost);
}

// The single `imei` value of an address as the browser reads it, or a marker when the address
// does not hold exactly one.
QString ImeiValue(const QString& address) {
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid()) {
        return QStringLiteral("<invalid address>");
    }
    const QUrlQuery query(url);
    const QStringList values = query.allQueryItemValues(QStringLiteral("imei"), QUrl::FullyDecoded);
    if (values.size() != 1 || query.queryItems().size() != 1) {
        return QStringLiteral("<%1 query items>").arg(query.queryItems().size());
    }
    return values.first();
}

} // namespace

class TestActions : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<WindowFixture> m_fixture;

    WindowFixture& F() { return *m_fixture; }

    void Click(const QString& label) {
        auto* widget = F().Find<quillon::ClickableLabel>(label);
        QVERIFY2(widget != nullptr, qPrintable(label));
        QVERIFY2(widget->isVisible(), qPrintable(label + QStringLiteral(" is hidden")));
        QTest::mouseClick(widget, Qt::LeftButton);
    }

    // Everything the window asked of the platform so far.
    QStringList Effects() {
        return QStringList{F().platform.messages.join(u'|'), F().platform.clipboardTexts.join(u'|'),
                           F().platform.openedAddresses.join(u'|')};
    }

    // The label's accessible press action, as a screen reader does it.
    static void Press(QWidget* label) {
        QAccessibleActionInterface* actions = QAccessible::queryAccessibleInterface(label)->actionInterface();
        QVERIFY(actions != nullptr);
        QCOMPARE(actions->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});
        actions->doAction(QAccessibleActionInterface::pressAction());
    }

    void Validate(const QString& text) { F().Validate(text); }

private slots:
    void init() {
        m_fixture = std::make_unique<WindowFixture>();
        QVERIFY(F().WriteDatabase(MakeDatabase(40)));
        QVERIFY(F().CreateAndLoad());
        F().Form().show();
        QVERIFY(QTest::qWaitForWindowExposed(&F().Form()));
        F().platform.messages.clear();
    }

    void cleanup() { m_fixture.reset(); }

    // Pressing a clickable label through accessibility has exactly the effect of clicking it.
    void pressActionDoesWhatAClickDoes_data() {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("validated"); // validated first, when not empty
        QTest::newRow("copy IMEI") << QStringLiteral("Label24") << QString();
        QTest::newRow("TAC") << QStringLiteral("Label10") << kNotFoundIMEI;
        QTest::newRow("manufacturer lookup") << QStringLiteral("Label13") << kNotFoundIMEI;
        QTest::newRow("model lookup") << QStringLiteral("Label14") << kNotFoundIMEI;
        QTest::newRow("donation") << QStringLiteral("Label15") << QString();
        QTest::newRow("maker's site") << QStringLiteral("Label18") << QString();
        QTest::newRow("service's site") << QStringLiteral("Label21") << QString();
    }

    void pressActionDoesWhatAClickDoes() {
        QFETCH(QString, label);
        QFETCH(QString, validated);
        QStringList effects[2];
        for (const bool press : {false, true}) {
            cleanup();
            init();
            if (!validated.isEmpty()) {
                Validate(validated);
                F().platform.messages.clear();
            }
            press ? Press(F().Find<QWidget>(label)) : Click(label);
            effects[press ? 1 : 0] = Effects();
        }
        QVERIFY2(effects[0] != QStringList(3), "the click did something");
        QCOMPARE(effects[1], effects[0]);
    }

    // Only labels with a click handler offer the action, and a hidden one does nothing when pressed.
    void pressActionOnlyWhereAClickDoesSomething() {
        for (const char* label : {"Label1", "Label8", "Label9", "Label16", "Label17", "Label20", "Label25"}) {
            QVERIFY2(QAccessible::queryAccessibleInterface(F().Find<QWidget>(label))->actionInterface() == nullptr,
                     label);
        }
        auto* manufacturer = F().Find<QWidget>(QStringLiteral("Label13"));
        QVERIFY(manufacturer->isHidden());
        Press(manufacturer);
        QCOMPARE(Effects(), QStringList(3));
    }

    void aboutTextByteForByte() {
        F().Find<QAction>(QStringLiteral("About"))->trigger();
        QCOMPARE(F().platform.messages.size(), 1);
        const QString text = F().platform.messages.first();
        QCOMPARE(text, QStringLiteral("Quillon v2.1.2.5 Professional Edition by ") + ToQString(identity::kMakerName) +
                           QStringLiteral("\r\nE-Mail: ") + ToQString(identity::kMakerEmail) +
                           QStringLiteral("\r\nTwitter: ") + ToQString(identity::kMakerSocial) +
                           QStringLiteral("\r\nBitCoin: ") + ToQString(identity::kDonationAddress) +
                           QStringLiteral("\r\nWeb: ") + ToQString(identity::kMakerHost));
        QCOMPARE(text.count(QStringLiteral("\r\n")), 4);
        QCOMPARE(text.count(QLatin1Char('\r')), 4);
        QCOMPARE(text.count(QLatin1Char('\n')), 4);
        QVERIFY(!text.endsWith(QLatin1Char('\n')));
        QVERIFY(F().platform.clipboardTexts.isEmpty());
        QVERIFY(F().platform.openedAddresses.isEmpty());
    }

    void copyImeiTakesTheTextBoxAsItStands() {
        Validate(kNotFoundIMEI);
        // Typed after the validation, never cleaned: blanks and separators stay.
        const QString typed = QStringLiteral(" 35-2099 x/1 ");
        F().Find<QLineEdit>(QStringLiteral("Text1"))->setText(typed);
        Click(QStringLiteral("Label24"));
        QCOMPARE(F().platform.clipboardTexts, QStringList{typed});
        QCOMPARE(F().Form().CurrentIMEI(), kNotFoundIMEI);
        QCOMPARE(F().Find<QLineEdit>(QStringLiteral("Text1"))->text(), typed);
        QVERIFY(F().platform.messages.isEmpty());
    }

    void copyImeiOfAnEmptyBoxCopiesAnEmptyText() {
        F().Find<QLineEdit>(QStringLiteral("Text1"))->clear();
        Click(QStringLiteral("Label24"));
        QCOMPARE(F().platform.clipboardTexts, QStringList{QString()});
    }

    void donationAddressIsCopiedBareWithItsMessage() {
        Click(QStringLiteral("Label15"));
        QCOMPARE(F().platform.clipboardTexts, QStringList{ToQString(identity::kDonationAddress)});
        QCOMPARE(F().platform.messages,
                 QStringList{QStringLiteral("BitCoin Address copied to Clipboard! Ctrl+V to paste :)")});
    }

    void clipboardThatFailsEndsTheActionQuietly() {
        F().platform.clipboardWorks = false;
        Click(QStringLiteral("Label15"));
        Click(QStringLiteral("Label24"));
        QVERIFY(F().platform.clipboardTexts.isEmpty());
        QVERIFY2(F().platform.messages.isEmpty(), "no claim that the address was copied");
        F().platform.clipboardWorks = true;
        Click(QStringLiteral("Label24"));
        QCOMPARE(F().platform.clipboardTexts.size(), 1);
    }

    void homePagesOpen() {
        Click(QStringLiteral("Label18"));
        Click(QStringLiteral("Label21"));
        QCOMPARE(F().platform.openedAddresses,
                 (QStringList{QStringLiteral("http://") + ToQString(identity::kMakerHost) + QStringLiteral("/"),
                              QStringLiteral("http://") + ServiceHost() + QStringLiteral("/")}));
        QVERIFY(F().platform.messages.isEmpty());
    }

    // Where no browser can be opened the user is told, with the address to copy by hand, and the
    // program goes on as before.
    void browserThatFailsSaysSoWithTheAddress_data() {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("address");
        QTest::newRow("maker's site") << QStringLiteral("Label18")
                                      << QStringLiteral("http://") + ToQString(identity::kMakerHost) +
                                             QStringLiteral("/");
        QTest::newRow("service's site") << QStringLiteral("Label21")
                                        << QStringLiteral("http://") + ServiceHost() + QStringLiteral("/");
        QTest::newRow("manufacturer lookup")
            << QStringLiteral("Label13")
            << QStringLiteral("http://") + ServiceHost() + QStringLiteral("/?imei=") + kNotFoundIMEI;
        QTest::newRow("model lookup") << QStringLiteral("Label14")
                                      << QStringLiteral("http://") + ServiceHost() + QStringLiteral("/?imei=") +
                                             kNotFoundIMEI;
    }

    void browserThatFailsSaysSoWithTheAddress() {
        QFETCH(QString, label);
        QFETCH(QString, address);
        Validate(kNotFoundIMEI);
        F().platform.openWorks = false;
        Click(label);
        QVERIFY(F().platform.openedAddresses.isEmpty());
        QCOMPARE(F().platform.messages,
                 QStringList{QStringLiteral("No web browser could be opened. The address is:\r\n") + address});
        F().platform.openWorks = true;
        F().platform.messages.clear();
        Click(label);
        QCOMPARE(F().platform.openedAddresses, QStringList{address});
        QVERIFY(F().platform.messages.isEmpty());
    }

    void lookupOpensNothingAfterAFoundDevice() {
        const QString found = FoundIMEI(30);
        QVERIFY(!found.isEmpty());
        Validate(found);
        QVERIFY(F().Form().FoundInDB());
        Click(QStringLiteral("Label13"));
        Click(QStringLiteral("Label14"));
        QVERIFY(F().platform.openedAddresses.isEmpty());
        QVERIFY(F().platform.messages.isEmpty());
    }

    void lookupSendsTheCleanedImeiOfTheLastValidation() {
        Validate(QStringLiteral("49-015420-323751-8"));
        QVERIFY(!F().Form().FoundInDB());
        F().Find<QLineEdit>(QStringLiteral("Text1"))->setText(QStringLiteral("something else"));
        Click(QStringLiteral("Label13"));
        Click(QStringLiteral("Label14"));
        const QString expected = QStringLiteral("http://") + ServiceHost() + QStringLiteral("/?imei=490154203237518");
        QCOMPARE(F().platform.openedAddresses, (QStringList{expected, expected}));
        QVERIFY(F().platform.messages.isEmpty());
    }

    void lookupAfterFoundThenNotFound() {
        Validate(FoundIMEI(31));
        QVERIFY(F().Form().FoundInDB());
        Validate(kNotFoundIMEI);
        Click(QStringLiteral("Label14"));
        QCOMPARE(F().platform.openedAddresses.size(), 1);
        QCOMPARE(ImeiValue(F().platform.openedAddresses.first()), kNotFoundIMEI);
    }

    // A rejected text stays in CurrentIMEI and the labels keep their not-found state: the
    // characters it holds must travel as one value and nothing else.
    void lookupCarriesAnyCharactersAsOneValue() {
        Validate(kNotFoundIMEI);
        const QString odd = QStringLiteral("12&3|4;5\"6%7%41+8=9?é€😀'<>`$(x)");
        Validate(odd);
        QCOMPARE(F().platform.messages, QStringList{QStringLiteral("Invalid IMEI")});
        QVERIFY(!F().Form().FoundInDB());
        const QString current = F().Form().CurrentIMEI();
        QVERIFY(current.contains(QStringLiteral("&")) && current.contains(QStringLiteral("%41")));
        Click(QStringLiteral("Label13"));
        QCOMPARE(F().platform.openedAddresses.size(), 1);
        const QString address = F().platform.openedAddresses.first();
        QCOMPARE(ImeiValue(address), current);
        QVERIFY2(address.startsWith(QStringLiteral("http://") + ServiceHost() + QStringLiteral("/?imei=")),
                 qPrintable(address));
        // Nothing a shell or a browser would read as a separator or a fragment stays bare.
        const QString value = address.mid(address.indexOf(QStringLiteral("?imei=")) + 6);
        for (const QChar c : value) {
            QVERIFY2(c.isLetterOrNumber() || QStringLiteral("%-._~").contains(c), qPrintable(address));
        }
    }

    void lookupAddressEncodesEveryCharacter_data() {
        QTest::addColumn<QString>("imei");
        QTest::addColumn<QString>("query"); // as it must appear after "?imei="
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("digits") << QStringLiteral("490154203237518") << QStringLiteral("490154203237518");
        QTest::newRow("ampersand") << QStringLiteral("4901&imei=1") << QStringLiteral("4901%26imei%3D1");
        QTest::newRow("pipe and semicolon") << QStringLiteral("49|calc;49") << QStringLiteral("49%7Ccalc%3B49");
        QTest::newRow("quote") << QStringLiteral("49\"0154") << QStringLiteral("49%220154");
        QTest::newRow("percent") << QStringLiteral("49%2015%41%") << QStringLiteral("49%252015%2541%25");
        QTest::newRow("hash") << QStringLiteral("4901#54") << QStringLiteral("4901%2354");
        QTest::newRow("space and plus") << QStringLiteral("4901 5+4 ") << QStringLiteral("4901%205%2B4%20");
        QTest::newRow("non-ASCII") << QStringLiteral("49é€") << QStringLiteral("49%C3%A9%E2%82%AC");
        QTest::newRow("control characters") << QStringLiteral("49\r\n01\t") << QStringLiteral("49%0D%0A01%09");
        QTest::newRow("unreserved") << QStringLiteral("a-._~") << QStringLiteral("a-._~");
    }

    void lookupAddressEncodesEveryCharacter() {
        QFETCH(QString, imei);
        QFETCH(QString, query);
        const QString text = quillon::LookupAddress(imei).toString(QUrl::FullyEncoded);
        QCOMPARE(text, QStringLiteral("http://") + ServiceHost() + QStringLiteral("/?imei=") + query);
        QCOMPARE(ImeiValue(text), imei);
    }
};

QTEST_MAIN(TestActions)
#include "test_actions.moc"
