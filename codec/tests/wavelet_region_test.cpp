// Region-of-interest bookkeeping: SetRegion reproduces known regions and tile rectangles, its
// edges are the tile boundaries of the tile span rule, and a region rebuilt from region-sized
// bands equals the full image inside the requested rectangle.
#include "test_samples.h"
#include "tile_span.h"
#include "wavelet_pyramid.h"
#include "wavelet_test_util.h"

#include <gtest/gtest.h>

namespace {

RegionRect RandomRect(std::uint32_t width, std::uint32_t height, std::mt19937& random) {
    auto span = [&](std::uint32_t size) {
        std::uniform_int_distribution<std::uint32_t> pick(0, size);
        std::uint32_t a = pick(random);
        std::uint32_t b = pick(random);
        if (a > b) std::swap(a, b);
        if (a == b) a == size ? --a : ++b;
        return std::pair{a, b};
    };
    const auto [left, right] = span(width);
    const auto [top, bottom] = span(height);
    return {left, top, right, bottom};
}

TEST(TileSpan, HalvesRecursivelyWithTheExtraSampleFirst) {
    const auto spans = [](std::uint32_t tiles, std::uint32_t samples) {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> result;
        for (std::uint32_t i = 0; i < tiles; ++i) {
            const TileSpan span = TileSpanOf(i, tiles, samples);
            result.emplace_back(span.start, span.size);
        }
        return result;
    };
    using Spans = std::vector<std::pair<std::uint32_t, std::uint32_t>>;
    EXPECT_EQ(spans(4, 5), (Spans{{0, 2}, {2, 1}, {3, 1}, {4, 1}}));
    EXPECT_EQ(spans(4, 3), (Spans{{0, 1}, {1, 1}, {2, 1}, {3, 0}}));
    EXPECT_EQ(spans(2, 7), (Spans{{0, 4}, {4, 3}}));
    EXPECT_EQ(spans(1, 9), (Spans{{0, 9}}));
    EXPECT_EQ(spans(2, 0xFFFFFFFFu), (Spans{{0, 0x80000000u}, {0x80000000u, 0x7FFFFFFFu}}));
}

struct RegionExample {
    int levels;
    std::uint32_t width;
    std::uint32_t height;
    RegionRect rect;
    std::vector<RegionRect> regions; // LL region per level
    std::vector<TileRect> tiles;     // tile rectangle per level
};

TEST(SetRegion, ReproducesKnownRegionsAndTiles) {
    const RegionExample examples[] = {
        {2,
         40,
         40,
         {0, 0, 10, 10},
         {{0, 0, 30, 30}, {0, 0, 20, 20}, {0, 0, 10, 10}},
         {{0, 0, 3, 3}, {0, 0, 2, 2}, {0, 0, 1, 1}}},
        {3,
         200,
         120,
         {150, 90, 160, 100},
         {{100, 45, 200, 120}, {50, 15, 100, 60}, {25, 0, 50, 30}, {0, 0, 25, 15}},
         {{4, 3, 8, 8}, {2, 1, 4, 4}, {1, 0, 2, 2}, {0, 0, 1, 1}}},
    };
    for (const RegionExample& example : examples) {
        CWaveletPyramid pyramid(example.width, example.height, example.levels);
        pyramid.SetRegion(example.rect);
        ASSERT_EQ(pyramid.TileRects().size(), example.tiles.size());
        for (int level = 0; level <= example.levels; ++level) {
            const auto index = static_cast<std::size_t>(level);
            EXPECT_EQ(pyramid.Band(level, BandOrientation::LL).region, example.regions[index])
                << "level " << level;
            EXPECT_EQ(pyramid.TileRects()[index], example.tiles[index]) << "level " << level;
            EXPECT_EQ(pyramid.Band(level, BandOrientation::HH).tiles,
                      1u << (example.levels - level));
        }
    }
}

TEST(SetRegion, WholeImageKeepsWholeBandsAndAllTiles) {
    CWaveletPyramid pyramid(37, 21, 3);
    pyramid.SetRegion({0, 0, 37, 21});
    for (int level = 0; level <= 3; ++level) {
        const std::uint32_t tiles = 1u << (3 - level);
        EXPECT_EQ(pyramid.TileRects()[static_cast<std::size_t>(level)],
                  (TileRect{0, 0, tiles, tiles}));
        for (auto o : kAllBands) {
            const CWaveletBand& band = pyramid.Band(level, o);
            EXPECT_EQ(band.region, (RegionRect{0, 0, band.width, band.height}));
        }
    }
}

TEST(SetRegion, InvertedOrOutsideRectanglesGiveOrderedRegions) {
    for (const RegionRect& rect : {RegionRect{150, 90, 10, 20}, RegionRect{500, 400, 600, 700},
                                   RegionRect{0xFFFFFFFFu, 0xFFFFFFFFu, 0, 0}}) {
        CWaveletPyramid pyramid(200, 120, 2);
        pyramid.SetRegion(rect);
        for (int level = 0; level <= 2; ++level) {
            for (auto o : kAllBands) {
                const RegionRect& region = pyramid.Band(level, o).region;
                EXPECT_LE(region.left, region.right);
                EXPECT_LE(region.top, region.bottom);
            }
        }
    }
}

TEST(SetRegion, LargestSizesAndDepthDoNotOverflow) {
    // With 30 levels the margin alone is 2^32; every edge must still be computed exactly.
    constexpr std::uint32_t kHuge = 0xFFFFFFFFu;
    CWaveletPyramid pyramid(kHuge, kHuge, 30);
    pyramid.SetRegion({10, 10, 20, 20});
    EXPECT_EQ(pyramid.Band(0, BandOrientation::LL).region, (RegionRect{0, 0, kHuge, kHuge}));
    EXPECT_EQ(pyramid.TileRects()[0], (TileRect{0, 0, 1u << 30, 1u << 30}));
    EXPECT_EQ(pyramid.Band(30, BandOrientation::LL).region, (RegionRect{0, 0, 4, 4}));
}

TEST(SetRegion, EdgesAreTheBoundariesOfTheTileSpans) {
    std::mt19937 random(21);
    std::uniform_int_distribution<std::uint32_t> side(1, 3000);
    std::uniform_int_distribution<int> depth(1, 8);
    for (int trial = 0; trial < 500; ++trial) {
        const std::uint32_t width = side(random);
        const std::uint32_t height = side(random);
        const int levels = depth(random);
        CWaveletPyramid pyramid(width, height, levels);
        pyramid.SetRegion(RandomRect(width, height, random));
        for (int level = 0; level <= levels; ++level) {
            // The LL edges come from halving; they must fall on the spans' boundaries.
            const TileRect& tiles = pyramid.TileRects()[static_cast<std::size_t>(level)];
            const CWaveletBand& low = pyramid.Band(level, BandOrientation::LL);
            const TileSpan left = TileSpanOf(tiles.left, low.tiles, low.width);
            const TileSpan top = TileSpanOf(tiles.top, low.tiles, low.height);
            const TileSpan right = TileSpanOf(tiles.right - 1, low.tiles, low.width);
            const TileSpan bottom = TileSpanOf(tiles.bottom - 1, low.tiles, low.height);
            ASSERT_EQ(low.region, (RegionRect{left.start, top.start, right.start + right.size,
                                              bottom.start + bottom.size}))
                << width << "x" << height << " levels " << levels << " level " << level;
            ASSERT_LT(tiles.left, tiles.right);
            ASSERT_LT(tiles.top, tiles.bottom);
            for (auto o : {BandOrientation::HL, BandOrientation::LH, BandOrientation::HH}) {
                const CWaveletBand& detail = pyramid.Band(level, o);
                ASSERT_LE(detail.region.left, detail.region.right);
                ASSERT_LE(detail.region.right, detail.width);
                ASSERT_LE(detail.region.bottom, detail.height);
            }
        }
    }
}

// Copies the part of a whole band that `target`'s region covers into a region-sized buffer.
void FillRegion(CWaveletBand& target, const CWaveletBand& whole) {
    ASSERT_TRUE(target.SizeForRegion());
    const RegionRect& r = target.region;
    for (std::uint32_t y = r.top; y < r.bottom; ++y)
        std::copy_n(whole.Samples() + y * whole.Pitch() + r.left, r.Width(),
                    target.Samples() + std::size_t{y - r.top} * target.Pitch());
}

TEST(RegionInverse, EqualsTheFullImageInsideTheRequestedRectangle) {
    std::mt19937 random(22);
    std::uniform_int_distribution<std::uint32_t> side(1, 260);
    int partialRegions = 0;
    constexpr int kTrials = 150;
    for (int trial = 0; trial < kTrials; ++trial) {
        const std::uint32_t width = side(random);
        const std::uint32_t height = side(random);
        const int deepest = LevelsToSingleSample(width, height);
        if (deepest == 0) continue;
        const int levels = std::uniform_int_distribution<int>(1, std::min(deepest, 5))(random);
        const auto plane = RandomSamples(std::size_t{width} * height, random);
        CWaveletPyramid full(width, height, levels, ToBuffer(plane));
        for (int level = 0; level < levels; ++level)
            ASSERT_EQ(full.ForwardLevel(level, 0), 0u);

        const RegionRect rect = RandomRect(width, height, random);
        CWaveletPyramid region(width, height, levels);
        region.SetRegion(rect);
        std::uint32_t outWidth = 0;
        std::uint32_t outHeight = 0;
        std::int32_t* out = nullptr;
        for (int level = levels; level >= 1; --level) {
            for (auto o : kAllBands) {
                if (o == BandOrientation::LL && level < levels) continue;
                FillRegion(region.Band(level, o), full.Band(level, o));
            }
            ASSERT_EQ(region.InverseLevel(level, outWidth, outHeight, out), 0u);
        }

        const RegionRect& covered = region.Band(0, BandOrientation::LL).region;
        ASSERT_EQ(outWidth, covered.Width());
        ASSERT_EQ(outHeight, covered.Height());
        if (covered != RegionRect{0, 0, width, height}) ++partialRegions;
        for (std::uint32_t y = rect.top; y < rect.bottom; ++y)
            for (std::uint32_t x = rect.left; x < rect.right; ++x)
                ASSERT_EQ(out[std::size_t{y - covered.top} * outWidth + (x - covered.left)],
                          plane[std::size_t{y} * width + x])
                    << width << "x" << height << " levels " << levels << " at " << x << "," << y;
    }
    // The property only means something if many regions really were cut.
    EXPECT_GT(partialRegions, kTrials / 3);
}

TEST(RegionInverse, MismatchedRegionsStayInsideTheBuffers) {
    // Regions that SetRegion would never produce: the rebuilt samples are meaningless, but every
    // read and write must stay inside the buffers (checked under the address sanitizer).
    std::mt19937 random(23);
    std::uniform_int_distribution<std::uint32_t> side(1, 40);
    for (int trial = 0; trial < 400; ++trial) {
        const std::uint32_t width = side(random);
        const std::uint32_t height = side(random);
        CWaveletPyramid pyramid(width, height, 1);
        for (int level : {0, 1}) {
            for (auto o : kAllBands) {
                CWaveletBand& band = pyramid.Band(level, o);
                if (band.width == 0 || band.height == 0) continue;
                band.region = RandomRect(band.width, band.height, random);
                if (level == 0) continue;
                ASSERT_TRUE(band.SizeForRegion());
                const auto samples = RandomSamples(band.size, random);
                std::copy(samples.begin(), samples.end(), band.data.get());
            }
        }
        std::uint32_t outWidth = 0;
        std::uint32_t outHeight = 0;
        std::int32_t* out = nullptr;
        ASSERT_EQ(pyramid.InverseLevel(1, outWidth, outHeight, out), 0u);
        const RegionRect& target = pyramid.Band(0, BandOrientation::LL).region;
        EXPECT_EQ(outWidth, target.Width());
        EXPECT_EQ(outHeight, target.Height());
    }
}

} // namespace
