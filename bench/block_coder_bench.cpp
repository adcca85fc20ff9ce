// Throughput of the block coder alone: 2048 × 2048 detail-band-like samples (mostly small, a
// quarter zero) coded to a memory stream and decoded back, with 1 and 2 blocks per batch.
// Reported in samples/s.
#include "block_decoder.h"
#include "block_encoder.h"

#include <benchmark/benchmark.h>
#include <random>
#include <vector>

namespace {

constexpr std::uint32_t kSide = 2048;
constexpr std::size_t kSamples = std::size_t{kSide} * kSide;

const std::vector<std::int32_t>& TestBand() {
    static const std::vector<std::int32_t> band = [] {
        std::vector<std::int32_t> samples(kSamples);
        std::mt19937 random(1);
        std::geometric_distribution<std::int32_t> magnitude(0.08);
        for (auto& v : samples)
            v = random() % 4 == 0 ? 0 : (random() % 2 ? 1 : -1) * magnitude(random);
        return samples;
    }();
    return band;
}

void Encode(CQVTStream& stream, int threads) {
    CBlockEncoder encoder(stream, 1, threads > 1, threads);
    encoder.AddSamples(TestBand().data(), kSide, kSide, 0, kSide);
    encoder.FlushLast();
}

void BM_EncodeBlocks(benchmark::State& state) {
    const auto threads = static_cast<int>(state.range(0));
    TestBand(); // made once, outside the timing
    for (auto _ : state) {
        CQVTMemoryStream stream(0);
        Encode(stream, threads);
        benchmark::DoNotOptimize(stream.Data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kSamples));
}

void BM_DecodeBlocks(benchmark::State& state) {
    const auto threads = static_cast<int>(state.range(0));
    CQVTMemoryStream stream(0);
    Encode(stream, 1);
    std::vector<std::int32_t> band(kSamples);
    for (auto _ : state) {
        stream.SetPos(PosFromStart, 0);
        CBlockDecoder decoder(stream, threads > 1, threads);
        decoder.PlaceValues(band.data(), kSide, kSide, 0, kSide, 0);
        benchmark::DoNotOptimize(band.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kSamples));
}

} // namespace

BENCHMARK(BM_EncodeBlocks)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeBlocks)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
