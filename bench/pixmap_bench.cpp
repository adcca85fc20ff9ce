// Throughput of the heavy pixel-map operations on a 4096 × 4096 image; items are source pixels,
// so items_per_second reads as pixels per second.
#include "pixmap_factory.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

constexpr std::uint32_t kSide = 4096;

std::unique_ptr<CPixMap> Noise(std::uint32_t mode, std::uint32_t width, std::uint32_t height) {
    auto map = CreatePixMap(PixRect{0, 0, width, height}, mode);
    std::mt19937 random(1);
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* row = map->Row(y);
        for (std::int32_t i = 0; i < map->Stride(); ++i)
            row[i] = static_cast<std::uint8_t>(random());
    }
    return map;
}

// A smooth image: gradients with mild noise, closer to a photograph than pure noise.
std::unique_ptr<CPixMap> Photo(std::uint32_t mode) {
    auto map = CreatePixMap(PixRect{0, 0, kSide, kSide}, mode);
    const int bytes = map->BitsPerPixel() / 8;
    std::mt19937 random(2);
    for (std::uint32_t y = 0; y < kSide; ++y) {
        std::uint8_t* row = map->Row(y);
        for (std::uint32_t x = 0; x < kSide; ++x)
            for (int c = 0; c < bytes; ++c)
                row[x * bytes + c] =
                    static_cast<std::uint8_t>((x / 16 + y / 32 * (c + 1) + random() % 8) & 0xFF);
    }
    return map;
}

void Convert(benchmark::State& state, const CPixMap& source, std::uint32_t targetMode) {
    const auto target = CreatePixMap(source.Rect(), targetMode);
    for (auto _ : state) {
        source.ConvertTo(*target);
        benchmark::DoNotOptimize(target->GetBits());
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t{kSide} * kSide);
}

void RgbToLab(benchmark::State& state) { Convert(state, *Photo(ModeRGB), ModeLab); }
void LabToRgb(benchmark::State& state) { Convert(state, *Photo(ModeLab), ModeRGB); }
void RgbToCmyk(benchmark::State& state) { Convert(state, *Photo(ModeRGB), ModeCMYK); }
void RgbToIndexed(benchmark::State& state) { Convert(state, *Photo(ModeRGB), ModeIndexed); }
void RgbNoiseToIndexed(benchmark::State& state) {
    Convert(state, *Noise(ModeRGB, kSide, kSide), ModeIndexed);
}
void GrayToBitmap(benchmark::State& state) { Convert(state, *Photo(ModeGray), ModeBitmap); }

void RgbHalfSize(benchmark::State& state) {
    const auto source = Photo(ModeRGB);
    const auto target = CreatePixMap(PixRect{0, 0, kSide / 2, kSide / 2}, ModeRGB);
    for (auto _ : state) {
        source->StretchRect(source->Rect(), *target, target->Rect());
        benchmark::DoNotOptimize(target->GetBits());
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t{kSide} * kSide);
}

} // namespace

BENCHMARK(RgbToLab)->Unit(benchmark::kMillisecond);
BENCHMARK(LabToRgb)->Unit(benchmark::kMillisecond);
BENCHMARK(RgbToCmyk)->Unit(benchmark::kMillisecond);
BENCHMARK(RgbToIndexed)->Unit(benchmark::kMillisecond);
BENCHMARK(RgbNoiseToIndexed)->Unit(benchmark::kMillisecond);
BENCHMARK(GrayToBitmap)->Unit(benchmark::kMillisecond);
BENCHMARK(RgbHalfSize)->Unit(benchmark::kMillisecond);
