// Bands through the block stream: tiles of a real pyramid written in region-file order and read
// back for a region land exactly on the crop of the written bands (scaled by each band's shift),
// with the tiles outside the region skipped; old files' interleaved HL and LH bands come back
// whole; and windows outside a band's buffer are refused instead of read or written.
#include "band_order.h"
#include "block_decoder.h"
#include "block_encoder.h"
#include "quantize.h"
#include "qvt_error.h"
#include "wavelet_pyramid.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {

constexpr BandOrientation kDetails[] = {BandOrientation::HL, BandOrientation::LH,
                                        BandOrientation::HH};

std::vector<std::uint8_t> BytesOf(const CQVTMemoryStream& stream) {
    return {stream.Data(), stream.Data() + stream.DataSize()};
}

std::unique_ptr<CQVTMemoryStream> StreamOver(const std::vector<std::uint8_t>& bytes) {
    auto stream = std::make_unique<CQVTMemoryStream>(bytes.size());
    WriteBytes(*stream, bytes.data(), bytes.size());
    stream->SetPos(PosFromStart, 0);
    return stream;
}

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

// Region-file order: the top LL in a block of its own, then per level the tiles row by row,
// each ending its block.
std::vector<std::uint8_t> EncodeTiled(const CWaveletPyramid& pyramid, int blockCount) {
    const int top = pyramid.DecompositionLevels();
    CQVTMemoryStream stream(0);
    CBlockEncoder encoder(stream, static_cast<std::uint8_t>(top), true, blockCount);
    encoder.SetUseRegionBlocks(true);
    const CWaveletBand& ll = pyramid.Band(top, BandOrientation::LL);
    encoder.AddBand(ll, ll.width, ll.height, 0, ll.width);
    encoder.FinishTile();
    for (int level = top; level >= 1; --level) {
        const std::uint32_t tiles = 1u << (top - level);
        for (std::uint32_t ty = 0; ty < tiles; ++ty)
            for (std::uint32_t tx = 0; tx < tiles; ++tx) {
                for (const BandOrientation orientation : kDetails)
                    encoder.AddBandTile(pyramid.Band(level, orientation), tx, ty);
                if (tx + 1 == tiles && ty + 1 == tiles) encoder.MarkLevelEnd(top - level);
                encoder.FinishTile();
            }
    }
    encoder.FlushLast();
    return BytesOf(stream);
}

void DecodeRegion(const std::vector<std::uint8_t>& bytes, CWaveletPyramid& pyramid, int q,
                  int blockCount) {
    const int top = pyramid.DecompositionLevels();
    const auto stream = StreamOver(bytes);
    CBlockDecoder decoder(*stream, true, blockCount);
    decoder.SetUseRegionBlocks(true);
    decoder.NextBlock();
    decoder.PlaceBand(pyramid.Band(top, BandOrientation::LL), q);
    for (int level = top; level >= 1; --level) {
        const std::uint32_t tiles = 1u << (top - level);
        const TileRect& needed = pyramid.TileRects()[static_cast<std::size_t>(level)];
        for (std::uint32_t ty = 0; ty < tiles; ++ty)
            for (std::uint32_t tx = 0; tx < tiles; ++tx) {
                if (tx < needed.left || tx >= needed.right || ty < needed.top ||
                    ty >= needed.bottom) {
                    decoder.SkipTile();
                    continue;
                }
                decoder.NextBlock();
                for (const BandOrientation orientation : kDetails)
                    decoder.PlaceBandTile(pyramid.Band(level, orientation), q, tx, ty);
            }
    }
}

// The decoded region buffer of `band` equals the written band inside that region, scaled.
void ExpectRegionMatches(const CWaveletBand& written, const CWaveletBand& band, int q) {
    const RegionRect& region = band.region;
    const int shift = BandShift(band.orientation, band.level, q);
    for (std::uint32_t y = region.top; y < region.bottom; ++y)
        for (std::uint32_t x = region.left; x < region.right; ++x) {
            const std::int32_t expected =
                Dequantize(written.data[std::uint64_t{y} * written.width + x], shift);
            const std::int32_t actual =
                band.data[std::uint64_t{y - region.top} * region.Width() + (x - region.left)];
            ASSERT_EQ(actual, expected)
                << "level " << band.level << " band " << static_cast<int>(band.orientation)
                << " at " << x << ", " << y;
        }
}

} // namespace

TEST(BandPlacement, RegionReadOfTiledBandsEqualsTheCrop) {
    const int levels = 3;
    const int q = 4;
    const CWaveletPyramid written = TransformedPyramid(200, 120, levels, q);
    const auto bytes = EncodeTiled(written, 1);
    for (const int blockCount : {1, 2, 3}) {
        EXPECT_EQ(EncodeTiled(written, blockCount), bytes);
        for (const RegionRect rect :
             {RegionRect{150, 90, 160, 100}, RegionRect{0, 0, 200, 120}, RegionRect{0, 0, 1, 1}}) {
            CWaveletPyramid read(200, 120, levels);
            read.SetRegion(rect);
            DecodeRegion(bytes, read, q, blockCount);
            ExpectRegionMatches(written.Band(levels, BandOrientation::LL),
                                read.Band(levels, BandOrientation::LL), q);
            for (int level = 1; level <= levels; ++level)
                for (const BandOrientation orientation : kDetails)
                    ExpectRegionMatches(written.Band(level, orientation),
                                        read.Band(level, orientation), q);
        }
    }
}

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
                    encoder.AddValue(hl.data[h]);
                    encoder.AddValue(lh.data[l]);
                },
                [&](std::uint64_t l) { encoder.AddValue(lh.data[l]); },
                [&](std::uint64_t h) { encoder.AddValue(hl.data[h]); });
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
    const auto errorOf = [](const auto& action) -> std::uint32_t {
        try {
            action();
        } catch (const IOException& e) {
            return e.error;
        }
        return 0;
    };
    CWaveletPyramid written = TransformedPyramid(200, 200, 2, 0);
    CQVTMemoryStream stream(0);
    CBlockEncoder encoder(stream, 2, false);
    const CWaveletBand& hl = written.Band(1, BandOrientation::HL);
    EXPECT_EQ(errorOf([&] { encoder.AddBand(hl, hl.width, hl.height, 1, hl.width); }),
              ErrorWrongFormat);
    EXPECT_EQ(errorOf([&] { encoder.AddBand(hl, hl.width + 1, 2, 0, hl.width); }),
              ErrorWrongFormat);
    for (int i = 0; i < 2; ++i)
        encoder.AddBand(hl, hl.width, hl.height, 0, hl.width);
    encoder.FlushLast();

    CWaveletPyramid read(200, 200, 2);
    read.SetRegion({0, 0, 10, 10}); // level 1 keeps only some of its 2 × 2 tiles
    stream.SetPos(PosFromStart, 0);
    CBlockDecoder decoder(stream, false);
    CWaveletBand& band = read.Band(1, BandOrientation::HL);
    ASSERT_NE(band.region, (RegionRect{0, 0, band.width, band.height}));
    EXPECT_EQ(errorOf([&] { decoder.PlaceBand(band, 0); }), ErrorWrongFormat);
    EXPECT_EQ(errorOf([&] { decoder.PlaceBandTile(band, 0, 1, 1); }), ErrorWrongFormat);
    EXPECT_EQ(errorOf([&] { decoder.PlaceBandTile(band, 0, 0, 0); }), 0u);
}
