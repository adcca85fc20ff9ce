// Tile numbering and index handling of the container: Hilbert lookups over a 1000 × 1000 tile
// grid and a zlib index of 100 000 entries written and read back.
#include "index_io.h"
#include "kld_header.h"
#include "ordering.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr std::uint32_t kGridSide = 1000;

void BM_HilbertXYToIndex(benchmark::State& state) {
    const CHilbertOrdering ordering(kGridSide, kGridSide);
    for (auto _ : state) {
        std::uint64_t sum = 0;
        for (std::uint32_t y = 0; y < kGridSide; ++y)
            for (std::uint32_t x = 0; x < kGridSide; ++x) {
                std::uint32_t index = 0;
                ordering.XYToIndex(x, y, index);
                sum += index;
            }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kGridSide * kGridSide);
}
BENCHMARK(BM_HilbertXYToIndex)->Unit(benchmark::kMillisecond);

void BM_HilbertIndexToXY(benchmark::State& state) {
    const CHilbertOrdering ordering(kGridSide, kGridSide);
    for (auto _ : state) {
        std::uint64_t sum = 0;
        for (std::uint32_t i = 0; i < kGridSide * kGridSide; ++i) {
            std::uint32_t x = 0, y = 0;
            ordering.IndexToXY(i, x, y);
            sum += x + y;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kGridSide * kGridSide);
}
BENCHMARK(BM_HilbertIndexToXY)->Unit(benchmark::kMillisecond);

void BM_ZlibIndexRoundTrip(benchmark::State& state) {
    std::vector<IndexEntry> entries;
    std::uint64_t offset = 56;
    for (std::uint32_t tile = 0; tile < 100000; ++tile) {
        const std::uint32_t length = 20000 + (tile * 7919) % 30000;
        entries.push_back({tile, length, offset});
        offset += length;
    }
    const CIndex index(std::move(entries));
    for (auto _ : state) {
        // The index lies behind some bytes, as it does in a file (offset 0 means "no index").
        CQVTMemoryStream stream(1 << 20);
        const std::uint8_t lead[8]{};
        WriteBytes(stream, lead, sizeof lead);
        const std::uint64_t stored = WriteIndex(index, stream, IndexZlib, sizeof lead);
        benchmark::DoNotOptimize(
            ReadIndex(stream, IndexZlib, sizeof lead, 1600000, stored).Count());
        state.counters["stored"] = static_cast<double>(stored);
    }
}
BENCHMARK(BM_ZlibIndexRoundTrip)->Unit(benchmark::kMillisecond);

} // namespace
