// Import and export of 2048 x 2048 pixel rows: RGB through the colour transform, with and
// without halved chroma, and 16-bit gray; reported in pixels per second.
#include "pixel_export.h"
#include "pixel_import.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

constexpr std::uint32_t kSide = 2048;

struct BenchImage {
    ChannelImage image;
    std::vector<std::vector<std::int32_t>> planes;
    std::vector<std::uint8_t> rows;
    std::uint32_t bitsPerPixel;

    BenchImage(std::uint8_t mode, int channels, std::uint32_t bitsPerPixel_, bool halved)
        : planes(channels), bitsPerPixel(bitsPerPixel_) {
        image.mode = mode;
        image.width = kSide;
        image.height = kSide;
        image.channels = static_cast<std::uint8_t>(channels);
        image.sampleBits = 16;
        image.version = 0x76;
        image.chromaHalved = halved;
        for (int c = 0; c < channels; ++c) {
            const std::uint32_t side = halved && c >= 1 ? kSide / 2 : kSide;
            planes[c].assign(std::size_t{side} * side, 0);
            image.planes[c] = {planes[c].data(), side, side, side};
        }
        rows.resize(std::size_t{kSide} * kSide * bitsPerPixel / 8);
        std::mt19937 rng(1);
        for (auto& byte : rows)
            byte = static_cast<std::uint8_t>(rng());
    }
    std::ptrdiff_t Pitch() const { return static_cast<std::ptrdiff_t>(kSide * bitsPerPixel / 8); }
};

void BM_ImportRgb(benchmark::State& state) {
    BenchImage bench(ModeRGB, 3, 24, false);
    for (auto _ : state)
        ImportPixelRows(bench.image, bench.rows.data(), bench.Pitch(), bench.bitsPerPixel);
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}

void BM_ExportRgb(benchmark::State& state) {
    BenchImage bench(ModeRGB, 3, 24, state.range(0) != 0);
    for (auto _ : state)
        ExportPixelRows(bench.image, bench.rows.data(), bench.Pitch(), bench.bitsPerPixel);
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}

void BM_ImportGray16(benchmark::State& state) {
    BenchImage bench(ModeGray16, 1, 16, false);
    for (auto _ : state)
        ImportPixelRows(bench.image, bench.rows.data(), bench.Pitch(), bench.bitsPerPixel);
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}

void BM_ExportGray16(benchmark::State& state) {
    BenchImage bench(ModeGray16, 1, 16, false);
    for (auto _ : state)
        ExportPixelRows(bench.image, bench.rows.data(), bench.Pitch(), bench.bitsPerPixel);
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}

} // namespace

BENCHMARK(BM_ImportRgb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportRgb)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportGray16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportGray16)->Unit(benchmark::kMillisecond);
