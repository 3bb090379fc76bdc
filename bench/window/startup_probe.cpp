// Starts the window once on the offscreen platform with the tacdex.csv of the folder given, shows
// it, and ends: for measuring the start-up's peak memory from outside (bench/memory-shapes.sh).
// Prints "started" or the message that ended the start-up; exit status 0 or 1.
#include "Form1.h"
#include "StartupServices.h"

#include <QApplication>
#include <QUrl>
#include <QWindow>

#include <chrono>
#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillon_startup_probe PROGRAM_FOLDER\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    SilentPlatform platform(stdout);
    quillon::SystemClock clock;
    NoFetcher fetcher;
    quillon::Form1 form(quillon::ServicesOf(platform), clock, fetcher, std::filesystem::path(argv[1]));
    form.SetUserDataDirectory({}); // the database measured, never one the developer imported
    if (!form.Form_Load()) {
        return 1;
    }
    form.show();
    while (form.windowHandle() == nullptr || !form.windowHandle()->isExposed()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    QCoreApplication::processEvents();
    std::printf("started\n");
    return 0;
}
