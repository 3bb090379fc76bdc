#pragma once

#include "FakePlatform.h"
#include "Form1.h"
#include "support/FakeFetcher.h"
#include "update/CurlFetch.h"

#include <QAction>
#include <QByteArray>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

// The version line every generated database ends with; characters 10 to 19 are the version.
inline const QByteArray kTestVersionLine = "99999999,TEST-01.02";
inline const QString kTestVersionText = QStringLiteral("TEST-01.02");

// Device line `number` of a generated database: a code from the line number, a maker and a model.
inline QByteArray DefaultDeviceLine(int number) {
    return QStringLiteral("%1,Maker%2,Model %2").arg(35000000 + number, 8, 10, QLatin1Char('0')).arg(number).toUtf8();
}

// A tacdex.csv of `lineCount` lines: lineCount - 1 device lines and the version line, CR LF ends.
inline QByteArray MakeDatabase(int lineCount, const std::function<QByteArray(int)>& deviceLine = DefaultDeviceLine) {
    QByteArray bytes;
    for (int number = 1; number < lineCount; ++number) {
        bytes += deviceLine(number);
        bytes += "\r\n";
    }
    if (lineCount > 0) {
        bytes += kTestVersionLine;
        bytes += "\r\n";
    }
    return bytes;
}

// A program directory of its own for one test, with a fake platform and the window in it.
class WindowFixture {
public:
    WindowFixture() = default;

    QString DirectoryPath() const { return m_dir.path(); }
    QString DatabasePath() const { return m_dir.filePath(QStringLiteral("tacdex.csv")); }

    bool WriteDatabase(const QByteArray& bytes) const {
        QFile file(DatabasePath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            return false;
        }
        return file.write(bytes) == bytes.size();
    }

    // The user's data folder of the test, empty unless a test writes the user's database there.
    QString UserDatabasePath() const { return m_userDir.filePath(QStringLiteral("tacdex.csv")); }
    bool WriteUserDatabase(const QByteArray& bytes) const {
        QFile file(UserDatabasePath());
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
    }

    quillon::Form1& Create() {
        m_form = std::make_unique<quillon::Form1>(quillon::ServicesOf(platform), clock, fetcher,
                                                  std::filesystem::path(m_dir.path().toStdU16String()));
        // Never the developer's own: a database imported on this machine must not change a result.
        m_form->SetUserDataDirectory(std::filesystem::path(m_userDir.path().toStdU16String()));
        return *m_form;
    }

    // Creates the window and runs its start-up.
    bool CreateAndLoad() { return Create().Form_Load(); }

    quillon::Form1& Form() { return *m_form; }
    // Ends the window as the program does at its end.
    void DestroyForm() { m_form.reset(); }

    template <typename Widget> Widget* Find(const QString& name) const { return m_form->findChild<Widget*>(name); }
    // The caption of a label, or a text no label shows when the label does not exist.
    QString Caption(const QString& label) const {
        const QLabel* widget = Find<QLabel>(label);
        return widget != nullptr ? widget->text() : QStringLiteral("<no %1>").arg(label);
    }

    // Types `text` into the IMEI box and presses "Validate".
    void Validate(const QString& text) {
        Find<QLineEdit>(QStringLiteral("Text1"))->setText(text);
        QTest::mouseClick(Find<QPushButton>(QStringLiteral("Command1")), Qt::LeftButton);
    }

    // Chooses "Update" and waits until its answer has been shown; false when none came.
    bool RunUpdateCheck() {
        QSignalSpy finished(m_form.get(), &quillon::Form1::updateCheckFinished);
        Find<QAction>(QStringLiteral("ChkUpdate"))->trigger();
        return finished.wait(20000);
    }

    FakePlatform platform;
    FakeFetcher fetcher;
    // Each run takes exactly 1.234 s by this clock, on 2026-01-02 at 03:04:05.
    quillon::SettableClock clock{std::chrono::milliseconds(1234)};

private:
    QTemporaryDir m_dir;
    QTemporaryDir m_userDir;
    std::unique_ptr<quillon::Form1> m_form;
};

// Sends the window's fetches, made for the service's host, to `hostAndPort` over libcurl instead.
inline FakeFetcher::Forward FetchFrom(const std::string& hostAndPort) {
    return
        [hostAndPort](const std::string& address, const quillon::FetchLimits& limits, const std::atomic<bool>& stop) {
            quillon::CurlFetcher curl;
            const auto path = address.find('/', address.find("//") + 2);
            return curl.Get("http://" + hostAndPort + address.substr(path), limits, stop);
        };
}
