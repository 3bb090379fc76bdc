// Time from creating the window to the window shown, with a database of 99,999 lines, and the
// peak memory of the process. Targets: at most 300 ms and 150 MB.
#include "Form1.h"
#include "StartupServices.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <QWindow>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace {

constexpr int kDatabaseLines = 99999;

// 99,998 device lines with distinct codes and names, and the version line.
bool WriteLargeDatabase(const QString& path) {
    QByteArray bytes;
    bytes.reserve(kDatabaseLines * 40);
    for (int number = 1; number < kDatabaseLines; ++number) {
        bytes += QByteArray::number(35000000 + number);
        bytes += ",Maker ";
        bytes += QByteArray::number(number % 500);
        bytes += ",Model line ";
        bytes += QByteArray::number(number);
        bytes += "\r\n";
    }
    bytes += "99999999,BENCH-2026\r\n";
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

double PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0; // ru_maxrss is in KiB
}

void BM_StartUpWithFullDatabase(benchmark::State& state) {
    QTemporaryDir directory;
    if (!directory.isValid() || !WriteLargeDatabase(directory.filePath(QStringLiteral("tacdex.csv")))) {
        state.SkipWithError("cannot write the database");
        return;
    }
    const std::filesystem::path programDirectory(directory.path().toStdU16String());
    SilentPlatform platform(stderr);
    NoFetcher fetcher;
    quillon::SystemClock clock;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        auto form = std::make_unique<quillon::Form1>(quillon::ServicesOf(platform), clock, fetcher, programDirectory);
        form->SetUserDataDirectory({}); // the database measured, never one the developer imported
        if (!form->Form_Load()) {
            state.SkipWithError("start-up failed");
            return;
        }
        form->show();
        while (form->windowHandle() == nullptr || !form->windowHandle()->isExposed()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        QCoreApplication::processEvents();
        const auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        benchmark::DoNotOptimize(form.get());
        form.reset();
        QCoreApplication::processEvents();
    }
    state.counters["peak_rss_MB"] = PeakMegabytes();
    state.counters["lines"] = kDatabaseLines;
}
BENCHMARK(BM_StartUpWithFullDatabase)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char** argv) {
    // A benchmark needs no screen; an explicit platform choice still wins.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
