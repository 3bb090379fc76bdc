// What the window says about its database: at start-up, and when a re-read before a lookup fails.
#include "WindowFixture.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

class TestDatabaseStates : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<WindowFixture> m_fixture;

    WindowFixture& F() { return *m_fixture; }
    FakePlatform& P() { return m_fixture->platform; }
    void Validate(const QString& text) { F().Validate(text); }

private slots:
    void init() { m_fixture = std::make_unique<WindowFixture>(); }
    void cleanup() { m_fixture.reset(); }

    // A failed re-read keeps the last good read and is told once, with its reason, until a re-read
    // succeeds; a later failure is told again.
    void failedReReadIsToldOnceUntilARereadSucceeds() {
        QVERIFY(F().WriteDatabase("49015420,Acme,Phone X\r\n99999999,QN-2026.12\r\n"));
        QVERIFY(F().CreateAndLoad());
        P().messages.clear();

        QVERIFY(QFile::remove(F().DatabasePath()));
        Validate(QStringLiteral("490154203237518"));
        QCOMPARE(P().messages.size(), 1);
        QVERIFY2(P().messages.first().contains(QStringLiteral("does not exist")), qPrintable(P().messages.first()));
        QVERIFY(P().messages.first().contains(QStringLiteral("last good read")));
        QCOMPARE(F().Caption(QStringLiteral("Label13")), QStringLiteral("Manufacturer: Acme"));

        Validate(QStringLiteral("490154203237518"));
        QVERIFY(F().WriteDatabase(QByteArray()));
        Validate(QStringLiteral("490154203237518"));
        QCOMPARE(P().messages.size(), 1);
        QCOMPARE(F().Caption(QStringLiteral("Label13")), QStringLiteral("Manufacturer: Acme"));

        QVERIFY(F().WriteDatabase("49015420,Zeta,Phone Z\r\n99999999,QN-2026.12\r\n"));
        Validate(QStringLiteral("490154203237518"));
        QCOMPARE(P().messages.size(), 1);
        QCOMPARE(F().Caption(QStringLiteral("Label13")), QStringLiteral("Manufacturer: Zeta"));

        QVERIFY(F().WriteDatabase(QByteArray()));
        Validate(QStringLiteral("490154203237518"));
        QCOMPARE(P().messages.size(), 2);
        QVERIFY2(P().messages.last().contains(QStringLiteral("is empty")), qPrintable(P().messages.last()));
        QCOMPARE(F().Caption(QStringLiteral("Label13")), QStringLiteral("Manufacturer: Zeta"));
    }

    // The model list reads its device entries from the start-up read: a changed file changes the
    // lookups but not the list.
    void modelListKeepsTheStartUpEntries() {
        QVERIFY(F().WriteDatabase(MakeDatabase(40)));
        QVERIFY(F().CreateAndLoad());
        auto* combo = F().Find<QComboBox>(QStringLiteral("Combo1"));
        QCOMPARE(combo->count(), 39);
        QCOMPARE(combo->itemText(30), QStringLiteral("Maker30 Model 30"));
        QVERIFY(
            F().WriteDatabase(MakeDatabase(30, [](int n) { return QByteArray::number(36000000 + n) + ",New,One"; })));
        Validate(QStringLiteral("360000011234567"));
        QCOMPARE(F().Caption(QStringLiteral("Label13")), QStringLiteral("Manufacturer: New"));
        QCOMPARE(combo->count(), 39);
        QCOMPARE(combo->itemText(30), QStringLiteral("Maker30 Model 30"));
    }
};

QTEST_MAIN(TestDatabaseStates)
#include "test_database_states.moc"
