// "Check a List" with a list of a million lines (bench/check-list.sh makes it), each figure against
// its baseline measured in the same run:
//  - CheckListWindow: the window's check from "Open File..." until the table is ready, against
//    ValidateCsvCommand, `quillon-cli validate --format csv` in-process on the same file (its
//    output thrown away): target within 2 x.
//  - SortByManufacturer: the table's sort by the manufacturer column, against StableSortKeys,
//    std::stable_sort of the same keys: target within 3 x.
// Usage: quillon_check_list_bench LIST DATABASE [benchmark options]
#include "CheckListWindow.h"
#include "Commands.h"
#include "StartupServices.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::filesystem::path g_list;
std::filesystem::path g_database;

// Output thrown away, as into /dev/null.
class NullOutput final : public quillon::OutputSink {
    int Write(std::string_view) override { return 0; }
};

void BM_ValidateCsvCommand(benchmark::State& state) {
    for (auto _ : state) {
        int error = 0;
        std::unique_ptr<quillon::FileInput> in = quillon::FileInput::Open(g_list, error);
        NullOutput out, err;
        quillon::SystemClock clock;
        quillon::cli::ValidateOptions options{g_database.string(), quillon::cli::Format::Csv, {}};
        const int status = quillon::cli::RunValidateCommand(options, {{}, *in, out, err, clock});
        benchmark::DoNotOptimize(status);
    }
}
BENCHMARK(BM_ValidateCsvCommand)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_CheckListWindow(benchmark::State& state) {
    SilentPlatform platform(stderr);
    quillon::DeviceTable table;
    if (quillon::ReadDeviceTable(g_database, table)) {
        state.SkipWithError("cannot read the database");
        return;
    }
    for (auto _ : state) {
        quillon::CheckListWindow window(quillon::ServicesOf(platform), [&table] {
            return quillon::CheckListWindow::DatabaseInUse{g_database, table};
        });
        // The event loop waits for the check, as the window's does: it takes no processor meanwhile.
        QEventLoop loop;
        QObject::connect(&window, &quillon::CheckListWindow::workFinished, &loop, &QEventLoop::quit);
        const auto start = std::chrono::steady_clock::now();
        window.CheckFile(QString::fromStdString(g_list.string()));
        loop.exec();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (window.Model().rowCount() == 0) {
            state.SkipWithError("nothing was checked");
            return;
        }
    }
}
BENCHMARK(BM_CheckListWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// The core's check alone, without the window's examination of the start, thread and table.
void BM_CheckListCore(benchmark::State& state) {
    quillon::DeviceTable table;
    quillon::ReadDeviceTable(g_database, table);
    for (auto _ : state) {
        quillon::CheckedList list(table);
        int error = 0;
        std::unique_ptr<quillon::FileInput> in = quillon::FileInput::Open(g_list, error);
        quillon::CheckList(*in, std::nullopt, list);
        benchmark::DoNotOptimize(list.Size());
    }
}
BENCHMARK(BM_CheckListCore)->Unit(benchmark::kMillisecond)->Iterations(5);

// The checked list both sorts work on, checked once.
const quillon::CheckedList& List() {
    static const std::unique_ptr<quillon::CheckedList> list = [] {
        quillon::DeviceTable table;
        quillon::ReadDeviceTable(g_database, table);
        auto checked = std::make_unique<quillon::CheckedList>(table);
        int error = 0;
        std::unique_ptr<quillon::FileInput> in = quillon::FileInput::Open(g_list, error);
        quillon::CheckList(*in, std::nullopt, *checked);
        return checked;
    }();
    return *list;
}

void BM_StableSortKeys(benchmark::State& state) {
    const quillon::CheckedList& list = List();
    std::vector<std::string_view> keys;
    for (std::size_t i = 0; i < list.Size(); ++i) {
        const std::uint32_t line = list.Row(i).deviceLine;
        keys.push_back(line == 0 ? std::string_view() : quillon::Field(list.Table().Line(line), 2));
    }
    for (auto _ : state) {
        std::vector<std::string_view> sorted = keys;
        std::stable_sort(sorted.begin(), sorted.end());
        benchmark::DoNotOptimize(sorted.data());
    }
}
BENCHMARK(BM_StableSortKeys)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_SortByManufacturer(benchmark::State& state) {
    const quillon::CheckedList& list = List();
    for (auto _ : state) {
        std::vector<std::uint32_t> order = quillon::ListOrder(list, quillon::ListField::Manufacturer, false, false);
        benchmark::DoNotOptimize(order.data());
    }
}
BENCHMARK(BM_SortByManufacturer)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: quillon_check_list_bench LIST DATABASE [benchmark options]\n");
        return 2;
    }
    g_list = argv[1];
    g_database = argv[2];
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    int rest = argc - 2;
    argv[2] = argv[0];
    benchmark::Initialize(&rest, argv + 2);
    if (benchmark::ReportUnrecognizedArguments(rest, argv + 2)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
