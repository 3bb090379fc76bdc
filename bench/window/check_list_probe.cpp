// Opens "Check a List" on the offscreen platform, checks the list given against the database given
// until the table is ready, shows its first rows, and prints the rows and the process's peak
// resident memory in MB: for bench/check-list.sh, whose target is under 300 MB for a million rows.
// Usage: quillon_check_list_probe LIST DATABASE
#include "CheckListWindow.h"
#include "StartupServices.h"

#include <QApplication>
#include <QEventLoop>
#include <QTableView>

#include <sys/resource.h>

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: quillon_check_list_probe LIST DATABASE\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    SilentPlatform platform(stderr);
    const std::filesystem::path database(argv[2]);
    quillon::DeviceTable table;
    if (quillon::ReadDeviceTable(database, table)) {
        std::fprintf(stderr, "cannot read the database\n");
        return 1;
    }
    quillon::CheckListWindow window(quillon::ServicesOf(platform), [&] {
        return quillon::CheckListWindow::DatabaseInUse{database, table};
    });
    window.show();
    QEventLoop loop;
    QObject::connect(&window, &quillon::CheckListWindow::workFinished, &loop, &QEventLoop::quit);
    window.CheckFile(QString::fromLocal8Bit(argv[1]));
    loop.exec();
    // The table paints its first rows, as the user sees them.
    window.findChild<QTableView*>()->repaint();
    QCoreApplication::processEvents();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("rows %d\npeak_rss_MB %.1f\n", window.Model().rowCount(),
                static_cast<double>(usage.ru_maxrss) / 1024.0);
    return window.Model().rowCount() > 0 ? 0 : 1;
}
