// Region operations of a container held in memory, free of process start-up and file system:
// a 1024 × 1024 region from the middle of a 4096 × 4096 RGB container (256 × 256 tiles) read at
// level 0 and at level 2 by a freshly opened container (cold caches) and again by the same one
// (warm caches), and a 1000 × 1000 patch written into it. A region read should cost in
// proportion to the tiles it touches, and a warm read little more than copying them.
#include "kld_ext.h"
#include "pixmap_factory.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kSide = 4096;
constexpr std::uint16_t kTile = 256;
constexpr PixRect kRegion{1536, 1536, 2560, 2560};
constexpr std::uint64_t kDecodedCacheBytes = 0x500000;
constexpr std::uint64_t kDecoderCacheBytes = 0x400000;

// Gradients with a little texture, so tiles code to sizes a photograph would give.
std::unique_ptr<CPixMap> Pattern(const PixRect& rect, std::uint32_t seed) {
    auto map = CreatePixMap(rect, ModeRGB);
    for (std::uint32_t y = 0; y < rect.Height(); ++y) {
        std::uint8_t* row = map->Row(y);
        const std::uint32_t v = y + rect.top;
        for (std::uint32_t x = 0; x < rect.Width(); ++x) {
            const std::uint32_t u = x + rect.left;
            const std::uint32_t texture = ((u * 2654435761u ^ v * 40503u) >> 28) + seed;
            row[3 * x] = static_cast<std::uint8_t>(u / 16 + texture);
            row[3 * x + 1] = static_cast<std::uint8_t>(v / 16 + texture);
            row[3 * x + 2] = static_cast<std::uint8_t>((u + v) / 32 + texture);
        }
    }
    return map;
}

std::unique_ptr<CQVTMemoryStream> StreamHolding(const Bytes& bytes) {
    auto stream = std::make_unique<CQVTMemoryStream>(bytes.size() + 1);
    WriteBytes(*stream, bytes.data(), bytes.size());
    return stream;
}

// The container, filled a row of tiles at a time, as its bytes.
const Bytes& ContainerBytes() {
    static const Bytes bytes = [] {
        KLDExtHeader header;
        header.mode = ModeRGB;
        header.width = kSide;
        header.height = kSide;
        header.tileWidth = kTile;
        header.tileHeight = kTile;
        header.indexCompression = IndexZlib;
        header.background = {0xFF, 0xFF, 0xFF};
        auto created = std::make_unique<CQVTMemoryStream>(1 << 20);
        CQVTMemoryStream* stream = created.get();
        CKLDExt maker;
        maker.Create(std::move(created), header, 800, 800, {});
        const Bytes empty(stream->Data(), stream->Data() + stream->DataSize());
        auto writable = StreamHolding(empty);
        stream = writable.get();
        CKLDExt container;
        container.Open(std::move(writable), kDecodedCacheBytes, kDecoderCacheBytes);
        for (std::uint32_t top = 0; top < kSide; top += kTile)
            container.WriteRegion(*Pattern({0, top, kSide, top + kTile}, 1), 255, 0, 0,
                                  KLD::KindAutomatic);
        return Bytes(stream->Data(), stream->Data() + stream->DataSize());
    }();
    return bytes;
}

void ReadCold(benchmark::State& state) {
    const int level = static_cast<int>(state.range(0));
    const Bytes& bytes = ContainerBytes();
    for (auto _ : state) {
        state.PauseTiming();
        CKLDExt container;
        container.Open(std::make_unique<CQVTMemoryStream>(const_cast<std::uint8_t*>(bytes.data()),
                                                          bytes.size()),
                       kDecodedCacheBytes, kDecoderCacheBytes);
        auto map = CreatePixMap(kRegion, ModeRGB);
        state.ResumeTiming();
        container.ReadRegion(*map, level);
        benchmark::DoNotOptimize(map->GetBits());
    }
}
BENCHMARK(ReadCold)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);

void ReadWarm(benchmark::State& state) {
    const int level = static_cast<int>(state.range(0));
    Bytes bytes = ContainerBytes();
    CKLDExt container;
    container.Open(std::make_unique<CQVTMemoryStream>(bytes.data(), bytes.size()),
                   kDecodedCacheBytes, kDecoderCacheBytes);
    auto map = CreatePixMap(kRegion, ModeRGB);
    container.ReadRegion(*map, level);
    for (auto _ : state) {
        container.ReadRegion(*map, level);
        benchmark::DoNotOptimize(map->GetBits());
    }
}
BENCHMARK(ReadWarm)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);

void WritePatch(benchmark::State& state) {
    const auto patch = Pattern({1548, 1548, 2548, 2548}, 2);
    for (auto _ : state) {
        state.PauseTiming();
        CKLDExt container;
        container.Open(StreamHolding(ContainerBytes()), kDecodedCacheBytes, kDecoderCacheBytes);
        state.ResumeTiming();
        container.WriteRegion(*patch, 255, 0, 0, KLD::KindAutomatic);
    }
}
BENCHMARK(WritePatch)->Unit(benchmark::kMillisecond);

} // namespace
