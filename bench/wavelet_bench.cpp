// Throughput of the per-channel wavelet passes: forward (q = 0) and inverse of 4096 × 4096
// channels over 6 levels, for 1 and 3 channels and 1 and 2 threads. Reported in samples/s.
#include "wavelet_passes.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr std::uint32_t kSide = 4096;
constexpr std::size_t kSamples = std::size_t{kSide} * kSide;
constexpr int kLevels = 6;

// A smooth gradient with some noise, roughly like 16-bit image content.
const std::vector<std::int32_t>& TestPlane() {
    static const std::vector<std::int32_t> plane = [] {
        std::vector<std::int32_t> samples(kSamples);
        std::mt19937 random(1);
        std::uniform_int_distribution<std::int32_t> noise(-64, 64);
        for (std::size_t y = 0; y < kSide; ++y)
            for (std::size_t x = 0; x < kSide; ++x)
                samples[y * kSide + x] = static_cast<std::int32_t>(8 * (x + y)) + noise(random);
        return samples;
    }();
    return plane;
}

std::vector<ChannelPlane> FreshChannels(std::int64_t count) {
    std::vector<ChannelPlane> channels(static_cast<std::size_t>(count));
    for (ChannelPlane& channel : channels) {
        channel.width = kSide;
        channel.height = kSide;
        channel.ownedData = TryAllocateSamples(kSamples);
        std::memcpy(channel.ownedData.get(), TestPlane().data(), kSamples * sizeof(std::int32_t));
        channel.data = channel.ownedData.get();
    }
    return channels;
}

void BM_ForwardPass(benchmark::State& state) {
    const std::int64_t channelCount = state.range(0);
    const int threads = static_cast<int>(state.range(1));
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<ChannelPlane> channels = FreshChannels(channelCount);
        state.ResumeTiming();
        if (RunForwardPass(channels, kLevels, 0, threads) != 0) state.SkipWithError("forward");
        state.PauseTiming();
        channels.clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * channelCount *
                            static_cast<std::int64_t>(kSamples));
}

// The coded bands of a channel, kept so every iteration can start from the same top level.
struct SavedBand {
    int level;
    BandOrientation orientation;
    std::vector<std::int32_t> samples;
};

std::vector<SavedBand> SaveBands(const CWaveletPyramid& pyramid) {
    std::vector<SavedBand> saved;
    for (int level = 1; level <= kLevels; ++level) {
        for (auto o :
             {BandOrientation::LL, BandOrientation::HL, BandOrientation::LH, BandOrientation::HH}) {
            const CWaveletBand& band = pyramid.Band(level, o);
            if (band.data)
                saved.push_back({level, o, {band.data.get(), band.data.get() + band.size}});
        }
    }
    return saved;
}

bool RestoreBands(CWaveletPyramid& pyramid, const std::vector<SavedBand>& saved) {
    for (const SavedBand& band : saved) {
        CWaveletBand& target = pyramid.Band(band.level, band.orientation);
        if (!target.SizeForRegion()) return false;
        std::memcpy(target.data.get(), band.samples.data(),
                    band.samples.size() * sizeof(std::int32_t));
    }
    return true;
}

void BM_InversePass(benchmark::State& state) {
    const std::int64_t channelCount = state.range(0);
    const int threads = static_cast<int>(state.range(1));
    std::vector<ChannelPlane> channels = FreshChannels(channelCount);
    if (RunForwardPass(channels, kLevels, 0, threads) != 0) state.SkipWithError("forward");
    const std::vector<SavedBand> saved = SaveBands(*channels[0].pyramid);
    for (auto _ : state) {
        state.PauseTiming();
        for (ChannelPlane& channel : channels)
            if (!RestoreBands(*channel.pyramid, saved)) state.SkipWithError("restore");
        state.ResumeTiming();
        for (int level = kLevels; level >= 1; --level)
            if (RunInversePass(channels, level, threads) != 0) state.SkipWithError("inverse");
    }
    state.SetItemsProcessed(state.iterations() * channelCount *
                            static_cast<std::int64_t>(kSamples));
}

} // namespace

BENCHMARK(BM_ForwardPass)
    ->ArgsProduct({{1, 3}, {1, 2}})
    ->ArgNames({"channels", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_InversePass)
    ->ArgsProduct({{1, 3}, {1, 2}})
    ->ArgNames({"channels", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
