// Encode and decode of whole 4096 × 4096 images through the codec image object, in megapixels
// per second: RGB lossless and at quality 8, Gray16 lossless, with 1 and 2 threads. The peak
// resident memory of the process is reported as a counter; run one benchmark per process
// (--benchmark_filter) to read the peak of that one.
#include "qvt_image.h"

#include <benchmark/benchmark.h>
#include <random>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr std::uint32_t kSide = 4096;

struct TestImage {
    QVTHeader header;
    std::vector<std::uint8_t> pixels;
    std::size_t rowBytes;
};

// A smooth picture with noise, so that coding does real work at every plane.
TestImage MakeImage(std::uint8_t mode) {
    TestImage image;
    image.header.width = kSide;
    image.header.height = kSide;
    image.header.mode = mode;
    const std::size_t bytesPerPixel = mode == ModeGray16 ? 2 : 3;
    image.rowBytes = kSide * bytesPerPixel;
    image.pixels.resize(image.rowBytes * kSide);
    std::mt19937 random(3);
    for (std::size_t y = 0; y < kSide; ++y)
        for (std::size_t i = 0; i < image.rowBytes; ++i) {
            const std::size_t phase = (i / bytesPerPixel + 2 * y) % 960;
            const std::size_t wave = phase < 480 ? phase : 959 - phase;
            image.pixels[y * image.rowBytes + i] =
                static_cast<std::uint8_t>(wave / 2 + random() % 16);
        }
    return image;
}

const TestImage& ImageOf(std::uint8_t mode) {
    static const TestImage rgb = MakeImage(ModeRGB);
    static const TestImage gray16 = MakeImage(ModeGray16);
    return mode == ModeRGB ? rgb : gray16;
}

std::uint32_t BitsPerPixel(std::uint8_t mode) { return mode == ModeRGB ? 24 : 16; }

std::vector<std::uint8_t> Encode(const TestImage& image, std::uint8_t quality, int threads) {
    CQVTImage codec;
    codec.SetThreadCount(threads);
    QVTHeader header = image.header;
    header.quality = quality;
    codec.SetHeader(header);
    codec.ImportPixels(static_cast<std::ptrdiff_t>(image.rowBytes), image.pixels.data(),
                       BitsPerPixel(header.mode));
    CQVTMemoryStream stream(0);
    codec.Write(stream);
    const auto* data = static_cast<const std::uint8_t*>(stream.Data());
    return {data, data + stream.DataSize()};
}

void ReportCounters(benchmark::State& state, std::size_t fileBytes) {
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
    state.counters["MPixel/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kSide * kSide / 1e6, benchmark::Counter::kIsRate);
    state.counters["bpp"] = 8.0 * static_cast<double>(fileBytes) / (double{kSide} * kSide);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peakMiB"] = static_cast<double>(usage.ru_maxrss) / 1024;
}

void BM_Encode(benchmark::State& state) {
    const auto mode = static_cast<std::uint8_t>(state.range(0));
    const auto quality = static_cast<std::uint8_t>(state.range(1));
    const int threads = static_cast<int>(state.range(2));
    const TestImage& image = ImageOf(mode);
    std::size_t bytes = 0;
    for (auto _ : state)
        bytes = Encode(image, quality, threads).size();
    ReportCounters(state, bytes);
}

void BM_Decode(benchmark::State& state) {
    const auto mode = static_cast<std::uint8_t>(state.range(0));
    const auto quality = static_cast<std::uint8_t>(state.range(1));
    const int threads = static_cast<int>(state.range(2));
    const TestImage& image = ImageOf(mode);
    std::vector<std::uint8_t> file = Encode(image, quality, threads);
    std::vector<std::uint8_t> pixels(image.pixels.size());
    for (auto _ : state) {
        CQVTMemoryStream stream(file.data(), file.size());
        CQVTImage codec;
        codec.SetThreadCount(threads);
        codec.Open(stream);
        codec.Read(0);
        codec.ExportPixels(static_cast<std::ptrdiff_t>(image.rowBytes), pixels.data(),
                           BitsPerPixel(mode));
    }
    ReportCounters(state, file.size());
}

void Arguments(benchmark::internal::Benchmark* benchmark) {
    for (const int threads : {1, 2}) {
        benchmark->Args({ModeRGB, 0, threads});
        benchmark->Args({ModeRGB, 8, threads});
        benchmark->Args({ModeGray16, 0, threads});
    }
    benchmark->ArgNames({"mode", "quality", "threads"})->Unit(benchmark::kMillisecond);
    benchmark->UseRealTime();
}

BENCHMARK(BM_Encode)->Apply(Arguments);
BENCHMARK(BM_Decode)->Apply(Arguments);

} // namespace
