#include "tile_codec_choice.h"

#include "image_mode.h"
#include "png_sample_copy.h"
#include "png_tile_codec.h"
#include "qvt_error.h"
#include "qvt_memory.h"

#include <array>
#include <cmath>
#include <cstring>
#include <random>

namespace KLD {

namespace {

// The compression ratio PNG must reach at qualities 0 to 9; from 10 on the loss allowed is so
// large that the wavelet codec always wins.
constexpr std::array<double, 10> kPngRatioThreshold = {3.0,  4.0,  6.0,  10.0,  15.0,
                                                       20.0, 40.0, 80.0, 160.0, 320.0};
constexpr std::uint32_t kSamplingSeed = 5489;
constexpr std::uint64_t kSampleRange = 32767; // draws fall in 0 .. kSampleRange

std::uint32_t SampleRowCount(std::uint32_t height) {
    if (height < 10) return 2;
    return static_cast<std::uint32_t>(std::floor(std::log(static_cast<double>(height)))) + 1;
}

// Row j = draw × H ÷ 32767, kept off the first and the last row.
std::uint32_t SampleRow(std::mt19937& generator, std::uint32_t height) {
    const std::uint64_t draw = generator() >> 17; // the top 15 bits: 0 .. 32767
    auto row = static_cast<std::uint32_t>(draw * height / kSampleRange);
    if (row == 0) row = 1;
    if (row == height) row = height - 1;
    return row;
}

} // namespace

TileCodecKind ChooseTileCodec(const std::uint8_t* rows, std::ptrdiff_t stride,
                              const TileHeader& header) {
    const TileHeader tile = NormalizeTileHeader(header);
    if (!PngParametersFor(tile)) return KindWavelet;
    // Bitmaps and palettes suffer from any loss; tiny tiles leave nothing to sample.
    if (tile.height < 3 || tile.mode == ModeBitmap || tile.mode == ModeIndexed) return KindPng;
    if (tile.quality >= kPngRatioThreshold.size()) return KindWavelet;

    const std::uint32_t sampleRows = SampleRowCount(tile.height);
    const std::uint64_t rowBytes = StrideBytes(stride);
    const auto sampleBytes = CheckedMul(rowBytes, sampleRows);
    ByteBuffer samples = sampleBytes ? TryAllocate<std::uint8_t>(*sampleBytes) : nullptr;
    if (!samples) ThrowCodecError(ErrorOutOfMemory);
    std::mt19937 generator(kSamplingSeed);
    for (std::uint32_t i = 0; i < sampleRows; ++i) {
        const std::uint32_t row = SampleRow(generator, tile.height);
        std::memcpy(samples.get() + i * rowBytes, rows + static_cast<std::ptrdiff_t>(row) * stride,
                    rowBytes);
    }

    TileHeader trialHeader = tile;
    trialHeader.height = sampleRows;
    CPNG trial;
    trial.SetHeader(trialHeader);
    trial.ImportPixels(samples.get(), static_cast<std::ptrdiff_t>(rowBytes), tile.bitsPerPixel);
    CQVTMemoryStream stream(*sampleBytes / 2 + 1024);
    std::uint64_t written = 0;
    try {
        trial.Write(stream, false, written);
    } catch (const IOException& error) {
        // A failed trial counts what it got out before failing.
        if (error.error != ErrorPng) throw;
    }
    const std::uint64_t pngBytes = stream.DataSize();
    if (pngBytes == 0) return KindWavelet;
    const double ratio = static_cast<double>(*sampleBytes) / static_cast<double>(pngBytes);
    return ratio >= kPngRatioThreshold[tile.quality] ? KindPng : KindWavelet;
}

} // namespace KLD
