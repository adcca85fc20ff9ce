// Bands through the block stream: old files' interleaved HL and LH bands come back whole (scaled
// by each band's shift), and windows outside a band's buffer are refused instead of read or
// written. Region reads of tiled bands are covered end to end by the image tests.
#include "band_order.h"
#include "block_decoder.h"
#include "block_encoder.h"
#include "error_of.h"
#include "quantize.h"
#include "qvt_error.h"
#include "wavelet_pyramid.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {

constexpr BandOrientation kDetails[] = {BandOrientation::HL, BandOrientation::LH,
                                        BandOrientation::HH};

CWaveletPyramid TransformedPyramid(std::uint32_t width, std::uint32_t height, int levels, int q) {
    std::mt19937 rng(width * 31 + height);
    SampleBuffer samples = TryAllocateSamples(std::uint64_t{width} * height);
    for (std::uint64_t i = 0; i < std::uint64_t{width} * height; ++i)
        samples[i] = static_cast<std::int32_t>(rng() % 4096);
    CWaveletPyramid pyramid(width, height, levels, std::move(samples));
    pyramid.SetRegion({0, 0, width, height});
    for (int level = 0; level < levels; ++level)
        EXPECT_EQ(pyramid.ForwardLevel(level, q), 0u);
    return pyramid;
}

// Sample i of a whole band, counted row by row.
std::int32_t SampleAt(const CWaveletBand& band, std::uint64_t i) {
    return band.Samples()[i / band.width * band.Pitch() + i % band.width];
}

// The decoded region buffer of `band` equals the written band inside that region, scaled.
void ExpectRegionMatches(const CWaveletBand& written, const CWaveletBand& band, int q) {
    const RegionRect& region = band.region;
    const int shift = BandShift(band.orientation, band.level, q);
    for (std::uint32_t y = region.top; y < region.bottom; ++y)
        for (std::uint32_t x = region.left; x < region.right; ++x) {
            const std::int32_t expected =
                Dequantize(written.Samples()[y * written.Pitch() + x], shift);
            const std::int32_t actual =
                band.data[std::uint64_t{y - region.top} * region.Width() + (x - region.left)];
            ASSERT_EQ(actual, expected)
                << "level " << band.level << " band " << static_cast<int>(band.orientation)
                << " at " << x << ", " << y;
        }
}

} // namespace

TEST(BandPlacement, InterleavedBandsOfOldFilesComeBackWhole) {
    for (const std::uint32_t size : {1u, 5u, 8u, 9u, 37u}) {
        CWaveletPyramid written = TransformedPyramid(size, size + 3, 1, 0);
        const CWaveletBand& hl = written.Band(1, BandOrientation::HL);
        const CWaveletBand& lh = written.Band(1, BandOrientation::LH);
        CQVTMemoryStream stream(0);
        {
            CBlockEncoder encoder(stream, 1, false);
            ForEachInterleavedPair(
                hl.width, hl.height, lh.width, lh.height,
                [&](std::uint64_t h, std::uint64_t l) {
                    encoder.AddValue(SampleAt(hl, h));
                    encoder.AddValue(SampleAt(lh, l));
                },
                [&](std::uint64_t l) { encoder.AddValue(SampleAt(lh, l)); },
                [&](std::uint64_t h) { encoder.AddValue(SampleAt(hl, h)); });
            encoder.FlushLast();
        }
        CWaveletPyramid read(size, size + 3, 1);
        stream.SetPos(PosFromStart, 0);
        CBlockDecoder decoder(stream, false);
        decoder.PlaceInterleaved(read.Band(1, BandOrientation::HL),
                                 read.Band(1, BandOrientation::LH), 3);
        ExpectRegionMatches(hl, read.Band(1, BandOrientation::HL), 3);
        ExpectRegionMatches(lh, read.Band(1, BandOrientation::LH), 3);
    }
}

TEST(BandPlacement, WindowsOutsideTheBufferAreRefused) {
    CWaveletPyramid written = TransformedPyramid(200, 200, 2, 0);
    CQVTMemoryStream stream(0);
    CBlockEncoder encoder(stream, 2, false);
    const CWaveletBand& hl = written.Band(1, BandOrientation::HL);
    EXPECT_EQ(ErrorOf([&] { encoder.AddBand(hl, hl.width, hl.height, 1, hl.Pitch()); }),
              ErrorWrongFormat);
    EXPECT_EQ(ErrorOf([&] { encoder.AddBand(hl, hl.width, 2, 0, hl.width - 1); }),
              ErrorWrongFormat);
    for (int i = 0; i < 2; ++i)
        encoder.AddBand(hl, hl.width, hl.height, 0, hl.Pitch());
    encoder.FlushLast();

    CWaveletPyramid read(200, 200, 2);
    read.SetRegion({0, 0, 10, 10}); // level 1 keeps only some of its 2 × 2 tiles
    stream.SetPos(PosFromStart, 0);
    CBlockDecoder decoder(stream, false);
    CWaveletBand& band = read.Band(1, BandOrientation::HL);
    ASSERT_NE(band.region, (RegionRect{0, 0, band.width, band.height}));
    EXPECT_EQ(ErrorOf([&] { decoder.PlaceBand(band, 0); }), ErrorWrongFormat);
    EXPECT_EQ(ErrorOf([&] { decoder.PlaceBandTile(band, 0, 1, 1); }), ErrorWrongFormat);
    EXPECT_EQ(ErrorOf([&] { decoder.PlaceBandTile(band, 0, 0, 0); }), 0u);
}
