#include "generation/Generation.h"
#include "generation/ModelCatalogue.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string_view>

namespace {

// Unpaced generation as quillon-cli does it: valid IMEIs per second for one catalogue entry.
void BM_GenerateValidCatalogueEntry(benchmark::State& state) {
    quillon::ModelChoice choice;
    choice.kind = quillon::ModelChoiceKind::Catalogue;
    choice.entry = quillon::FindCatalogueEntry("Samsung Galaxy S6");
    const auto recipe = quillon::MakeCandidateRecipe({}, choice, {});
    quillon::SeededRandomSource random(1);
    constexpr std::uint64_t kBatch = 100000;
    std::uint64_t checksum = 0;
    std::uint64_t candidates = 0;
    for (auto _ : state) {
        const quillon::GenerationCounts counts =
            quillon::GenerateValid(*recipe, kBatch, random, [&checksum](std::string_view number) {
                checksum += static_cast<unsigned char>(number[14]);
                return true;
            });
        candidates += counts.generated;
    }
    benchmark::DoNotOptimize(checksum);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kBatch));
    state.counters["candidates_per_valid"] =
        static_cast<double>(candidates) / static_cast<double>(state.iterations() * kBatch);
}
BENCHMARK(BM_GenerateValidCatalogueEntry)->Unit(benchmark::kMillisecond);

// The same without a model: the reporting-body candidate of 15 random digits stands.
void BM_GenerateValidNoModel(benchmark::State& state) {
    const auto recipe = quillon::MakeCandidateRecipe({}, {}, {});
    quillon::SeededRandomSource random(1);
    constexpr std::uint64_t kBatch = 100000;
    for (auto _ : state) {
        quillon::GenerateValid(*recipe, kBatch, random, [](std::string_view number) {
            benchmark::DoNotOptimize(number.data());
            return true;
        });
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kBatch));
}
BENCHMARK(BM_GenerateValidNoModel)->Unit(benchmark::kMillisecond);

} // namespace
