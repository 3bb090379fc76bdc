// Validation against a full-size device database, beside the floor of reading the same file.
#include "validation/Validation.h"

#include "support/CoreExtras.h"
#include "support/DatabaseShapes.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

// A 99,999-line tacdex.csv (99,998 device lines and the version line) in the temporary folder.
const std::filesystem::path& LargeDatabase() {
    static const std::filesystem::path path = [] {
        auto file = std::filesystem::temp_directory_path() / "quillon-bench-tacdex.csv";
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        for (int i = 1; i <= 99998; ++i) {
            out << 35000000 + i * 7 << ",Maker " << i % 97 << ",Model " << i << " Pro\r\n";
        }
        out << "99999999,QN-2026.12\r\n";
        return file;
    }();
    return path;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// The floor: read the file and count its line ends.
void BM_ReadFileAndCountLineEnds(benchmark::State& state) {
    const auto& path = LargeDatabase();
    for (auto _ : state) {
        std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
        std::string bytes(std::filesystem::file_size(path), '\0');
        bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file.get()));
        const auto lines = std::count(bytes.begin(), bytes.end(), '\n');
        benchmark::DoNotOptimize(lines);
    }
}
BENCHMARK(BM_ReadFileAndCountLineEnds)->Unit(benchmark::kMillisecond);

// One Validate command as the window runs it: re-read the file, scan it for the code, fill the panel.
void BM_ValidationRun(benchmark::State& state) {
    quillon::DeviceDatabase database(LargeDatabase(), quillon::TableLookup::Scan);
    if (database.Load()) {
        state.SkipWithError("cannot load the benchmark database");
        return;
    }
    for (auto _ : state) {
        auto result = quillon::ValidateText("35-000007-323751-8", database, {});
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_ValidationRun)->Unit(benchmark::kMillisecond);

// Normalise + Luhn + verdict on fifteen-digit texts, one core.
void BM_NormaliseAndVerdict(benchmark::State& state) {
    std::vector<std::string> inputs;
    for (int i = 0; i < 1024; ++i) {
        inputs.push_back(std::to_string(350000000000000LL + i * 7919LL));
    }
    std::size_t i = 0;
    for (auto _ : state) {
        const std::string normalised = quillon::NormaliseIMEI(inputs[i++ & 1023]);
        benchmark::DoNotOptimize(quillon::IsValidIMEI(normalised));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_NormaliseAndVerdict);

// quillon-cli's indexed load of 1,000,000 device lines: random codes (0), and codes chosen to land
// on one run of slots of an index under a fixed hash (1). The two should take about as long.
void BM_LoadIndexedDatabase(benchmark::State& state) {
    static const std::string random = quillon::test::RandomCodesDatabase(1'000'000);
    static const std::string aimed = quillon::test::AimedCodesDatabase(1'000'000);
    const std::string& bytes = state.range(0) == 0 ? random : aimed;
    for (auto _ : state) {
        const quillon::DeviceTable table = quillon::DeviceTable::FromBytes(bytes);
        benchmark::DoNotOptimize(table.LineCount());
    }
    state.SetLabel(state.range(0) == 0 ? "random codes" : "aimed codes");
}
BENCHMARK(BM_LoadIndexedDatabase)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Lookups of every code of the same two tables, in file order.
void BM_LookupIndexedDatabase(benchmark::State& state) {
    static const quillon::DeviceTable random =
        quillon::DeviceTable::FromBytes(quillon::test::RandomCodesDatabase(1'000'000));
    static const quillon::DeviceTable aimed =
        quillon::DeviceTable::FromBytes(quillon::test::AimedCodesDatabase(1'000'000));
    const quillon::DeviceTable& table = state.range(0) == 0 ? random : aimed;
    for (auto _ : state) {
        std::size_t found = 0;
        for (std::size_t number = 1; number < table.LineCount(); ++number) {
            found += table.FindLine(table.Line(number)) != 0;
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 1'000'000);
    state.SetLabel(state.range(0) == 0 ? "random codes" : "aimed codes");
}
BENCHMARK(BM_LookupIndexedDatabase)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
