#pragma once

#include "FakePlatform.h"
#include "Form1.h"
#include "WindowFixture.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <filesystem>

// Helpers shared by the tests that run the Generate command.

inline constexpr int kRunTimeout = 30000; // ms; a run here takes a small fraction of this

inline QStringList ReportFiles(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral("Quillon.v2.1.2.3.Professional-(*).txt")}, QDir::Files);
}

// Every file of a folder, hidden ones included, so that a left-over temporary file shows up.
inline QStringList AllFiles(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// A window whose program folder is replaced by a plain file once it has loaded, so that nothing can
// be written beside the program whoever runs the test (permissions do not stop root).
struct BlockedProgramFolder {
    BlockedProgramFolder() {
        QDir().mkpath(program);
        QFile database(QDir(program).filePath(QStringLiteral("tacdex.csv")));
        loaded = database.open(QIODevice::WriteOnly) && database.write(MakeDatabase(30)) > 0;
        database.close();
        loaded = loaded && form.Form_Load();
        form.SetPassInterval(std::chrono::milliseconds(0));
        QFile blocker(program);
        blocked = QDir(program).removeRecursively() && blocker.open(QIODevice::WriteOnly);
    }
    // Sets the count, clicks Generate and waits for the end of the run.
    bool Generate(const QString& count) {
        QSignalSpy finished(&form, &quillon::Form1::generationFinished);
        form.findChild<QComboBox*>("Combo2")->setEditText(count);
        QTest::mouseClick(form.findChild<QPushButton*>("Command2"), Qt::LeftButton);
        return finished.count() == 1 || finished.wait(kRunTimeout);
    }

    QTemporaryDir root;
    QString program = root.filePath(QStringLiteral("program"));
    FakePlatform platform;
    quillon::SettableClock clock;
    FakeFetcher fetcher;
    quillon::Form1 form{quillon::ServicesOf(platform), clock, fetcher, std::filesystem::path(program.toStdU16String())};
    bool loaded = false;
    bool blocked = false;
};
