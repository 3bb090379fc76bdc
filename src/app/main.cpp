#include "Form1.h"
#include "GuardedApplication.h"
#include "QtPlatform.h"
#include "update/CurlFetch.h"

#include <QCoreApplication>
#include <QDir>

#include <filesystem>

int main(int argc, char** argv) {
    const quillon::CurlLibrary curl;
    quillon::GuardedApplication application(argc, argv);
    quillon::SetUpApplicationIdentity();
    quillon::QtPlatform platform;
    application.SetDialogs(&platform);
    // The program's own files live beside the executable, and so does tacdex.csv unless the user
    // has one of their own (quillon-cli import), which start-up then reads instead.
    const std::filesystem::path programDirectory =
        QDir(QCoreApplication::applicationDirPath()).filesystemAbsolutePath();
    quillon::SystemClock clock;
    quillon::CurlFetcher fetcher;
    quillon::Form1 window(quillon::ServicesOf(platform), clock, fetcher, programDirectory);
    if (!window.Form_Load()) {
        return 1;
    }
    window.show();
    return QApplication::exec();
}
