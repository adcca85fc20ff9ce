// The pyramid's forward transform produces the bands of the plain separable lifting, levels shared
// among threads come out as from one, its inverse restores every sample for every size up to
// 70 × 70 at every depth, and a region rebuilt from region-sized bands equals the full image
// inside the requested rectangle.
#include "lifting_reference.h"
#include "qvt_error.h"
#include "test_samples.h"
#include "wavelet_pyramid.h"
#include "wavelet_test_util.h"

#include <bit>
#include <gtest/gtest.h>
#include <set>

namespace {

TEST(WaveletPyramid, BandSizesRoundLowHalvesUp) {
    const CWaveletPyramid pyramid(7, 5, 2);
    EXPECT_EQ(pyramid.Levels(), 3);
    const auto size = [&](int level, BandOrientation o) {
        const CWaveletBand& band = pyramid.Band(level, o);
        return std::pair{band.width, band.height};
    };
    EXPECT_EQ(size(0, BandOrientation::HH), std::pair(7u, 5u));
    EXPECT_EQ(size(1, BandOrientation::LL), std::pair(4u, 3u));
    EXPECT_EQ(size(1, BandOrientation::HL), std::pair(3u, 3u));
    EXPECT_EQ(size(1, BandOrientation::LH), std::pair(4u, 2u));
    EXPECT_EQ(size(1, BandOrientation::HH), std::pair(3u, 2u));
    EXPECT_EQ(size(2, BandOrientation::LL), std::pair(2u, 2u));
    EXPECT_EQ(size(2, BandOrientation::HH), std::pair(2u, 1u));
    EXPECT_EQ(pyramid.Band(2, BandOrientation::LH).level, 2);
}

TEST(WaveletPyramid, ForwardBandsMatchTheSeparableReference) {
    std::mt19937 random(11);
    for (std::uint32_t width = 1; width <= 40; ++width) {
        for (std::uint32_t height = 1; height <= 40; ++height) {
            const int levels = LevelsToSingleSample(width, height);
            std::vector<std::int32_t> plane = RandomSamples(std::size_t{width} * height, random);
            CWaveletPyramid pyramid(width, height, levels, ToBuffer(plane));
            std::size_t w = width;
            std::size_t h = height;
            for (int level = 0; level < levels; ++level) {
                ASSERT_EQ(pyramid.ForwardLevel(level, 0), 0u);
                const ReferenceBands expected = ReferenceForwardLevel(plane, w, h);
                for (auto o : kAllBands) {
                    if (o == BandOrientation::LL && level + 1 < levels) continue;
                    ASSERT_EQ(BandSamples(pyramid.Band(level + 1, o)),
                              expected.band[static_cast<int>(o)])
                        << width << "x" << height << " level " << level + 1;
                }
                plane = expected.band[0];
                w = (w + 1) / 2;
                h = (h + 1) / 2;
            }
        }
    }
}

TEST(WaveletPyramid, LevelsSharedAmongThreadsComeOutAsFromOne) {
    std::mt19937 random(13);
    // Odd and even heights, a width that leaves a short last column run, rows too few to lift,
    // and runs of rows shorter than the rows their steps read either side.
    for (const auto& [width, height] : {std::pair(1031u, 517u), std::pair(2049u, 260u),
                                        std::pair(140000u, 4u), std::pair(75000u, 7u)}) {
        const auto plane = RandomSamples(std::size_t{width} * height, random);
        for (const int q : {0, 3}) {
            CWaveletPyramid one(width, height, 3, ToBuffer(plane));
            CWaveletPyramid shared(width, height, 3, ToBuffer(plane));
            for (int level = 0; level < 3; ++level) {
                ASSERT_EQ(one.ForwardLevel(level, q, 1), 0u);
                ASSERT_EQ(shared.ForwardLevel(level, q, 2), 0u);
                for (auto o : kAllBands)
                    ASSERT_EQ(BandSamples(shared.Band(level + 1, o)),
                              BandSamples(one.Band(level + 1, o)))
                        << width << "x" << height << " level " << level + 1;
            }
            std::uint32_t outWidth = 0;
            std::uint32_t outHeight = 0;
            std::int32_t* fromOne = nullptr;
            std::int32_t* fromShared = nullptr;
            for (int level = 3; level >= 1; --level) {
                // The forward transform leaves the bands where the inverse takes them.
                ASSERT_TRUE(shared.BandsInPlace(level));
                ASSERT_EQ(one.InverseLevel(level, outWidth, outHeight, fromOne, 1), 0u);
                ASSERT_EQ(shared.InverseLevel(level, outWidth, outHeight, fromShared, 2), 0u);
                const std::size_t count = std::size_t{outWidth} * outHeight;
                ASSERT_EQ(Samples(fromShared, count), Samples(fromOne, count))
                    << width << "x" << height << " level " << level - 1;
            }
            if (q == 0) {
                EXPECT_EQ(Samples(fromShared, plane.size()), plane);
            }
        }
    }
}

TEST(WaveletPyramid, RoundTripRestoresEverySampleForEverySize) {
    std::mt19937 random(12);
    for (std::uint32_t width = 1; width <= 70; ++width) {
        for (std::uint32_t height = 1; height <= 70; ++height) {
            const int deepest = LevelsToSingleSample(width, height);
            const int shallowDepth = std::bit_width(std::min(width, height)) - 1;
            // One level, the depth the smaller side allows, the depth that leaves a single LL
            // sample, and one more level of single-sample and empty bands.
            const std::set<int> depths = {1, shallowDepth, deepest, deepest + 1};
            const auto plane = RandomSamples(std::size_t{width} * height, random);
            for (int levels : depths) {
                if (levels < 1) continue;
                CWaveletPyramid pyramid(width, height, levels, ToBuffer(plane));
                for (int level = 0; level < levels; ++level)
                    ASSERT_EQ(pyramid.ForwardLevel(level, 0), 0u);
                std::uint32_t outWidth = 0;
                std::uint32_t outHeight = 0;
                std::int32_t* out = nullptr;
                for (int level = levels; level >= 1; --level)
                    ASSERT_EQ(pyramid.InverseLevel(level, outWidth, outHeight, out), 0u);
                ASSERT_EQ(outWidth, width);
                ASSERT_EQ(outHeight, height);
                ASSERT_EQ(Samples(out, plane.size()), plane)
                    << width << "x" << height << " levels " << levels;
                EXPECT_FALSE(pyramid.Band(1, BandOrientation::HH).data);
            }
        }
    }
}

// The bands of every level lie where the inverse takes them from: the low and high rows of a
// level interleaved in the rows of the one before, lows left of highs.
TEST(WaveletPyramid, ForwardLeavesEveryBandInTheLevelZeroBuffer) {
    std::mt19937 random(13);
    CWaveletPyramid pyramid(16, 12, 2, ToBuffer(RandomSamples(16 * 12, random)));
    const std::int32_t* base = pyramid.Band(0, BandOrientation::LL).data.get();
    ASSERT_EQ(pyramid.ForwardLevel(0, 0), 0u);
    ASSERT_EQ(pyramid.ForwardLevel(1, 0), 0u);
    const auto at = [&](int level, BandOrientation o) {
        const CWaveletBand& band = pyramid.Band(level, o);
        EXPECT_FALSE(band.data);
        return std::pair{band.Samples() - base, band.Pitch()};
    };
    using P = std::pair<std::ptrdiff_t, std::uint64_t>;
    EXPECT_EQ(at(1, BandOrientation::HL), (P{8, 32}));
    EXPECT_EQ(at(1, BandOrientation::LH), (P{16, 32}));
    EXPECT_EQ(at(1, BandOrientation::HH), (P{24, 32}));
    EXPECT_EQ(at(2, BandOrientation::LL), (P{0, 64}));
    EXPECT_EQ(at(2, BandOrientation::HL), (P{4, 64}));
    EXPECT_EQ(at(2, BandOrientation::LH), (P{32, 64}));
    EXPECT_EQ(at(2, BandOrientation::HH), (P{36, 64}));
}

TEST(WaveletPyramid, QuantisesDetailBandsAndOnlyTheTopLowPass) {
    // A constant plane has zero detail and a low pass equal to the constant.
    const std::vector<std::int32_t> plane(64, 100);
    CWaveletPyramid pyramid(8, 8, 2, ToBuffer(plane));
    ASSERT_EQ(pyramid.ForwardLevel(0, 3), 0u);
    ASSERT_EQ(pyramid.ForwardLevel(1, 3), 0u);
    // Level 2 LL has shift 3 - 2 - 1 = 0: unchanged.
    EXPECT_EQ(BandSamples(pyramid.Band(2, BandOrientation::LL)), std::vector<std::int32_t>(4, 100));

    CWaveletPyramid deeper(8, 8, 1, ToBuffer(plane));
    ASSERT_EQ(deeper.ForwardLevel(0, 4), 0u);
    // Level 1 LL has shift 4 - 1 - 1 = 2: 100 / 4 = 25.
    EXPECT_EQ(BandSamples(deeper.Band(1, BandOrientation::LL)), std::vector<std::int32_t>(16, 25));
}

TEST(WaveletBand, SizingReusesABufferThatIsLargeEnough) {
    CWaveletBand band;
    band.region = {0, 0, 4, 4};
    ASSERT_TRUE(band.SizeForRegion());
    const std::int32_t* first = band.data.get();
    band.region = {1, 1, 3, 3};
    ASSERT_TRUE(band.SizeForRegion());
    EXPECT_EQ(band.data.get(), first);
    EXPECT_EQ(band.size, 4u);
    band.region = {0, 0, 5, 5};
    ASSERT_TRUE(band.SizeForRegion());
    EXPECT_EQ(band.size, 25u);
    band.region = {0, 0, 0xFFFFFFFFu, 0xFFFFFFFFu};
    EXPECT_FALSE(band.SizeForRegion());
    EXPECT_FALSE(band.data);
    EXPECT_EQ(band.size, 0u);
}

TEST(WaveletPyramid, AllocationFailureIsReportedAndNothingLeaks) {
    constexpr std::uint32_t kHuge = 0xFFFFFFFFu;
    // A forward step works in its source: without one there is nothing to transform.
    CWaveletPyramid forward(kHuge, kHuge, 1);
    EXPECT_EQ(forward.ForwardLevel(0, 0), ErrorWrongFormat);
    EXPECT_EQ(forward.Band(1, BandOrientation::LL).width, 0x80000000u);
    // The sample count of this target overflows 64-bit byte sizes, so allocation must fail.

    CWaveletPyramid inverse(kHuge, kHuge, 1);
    std::uint32_t width = 7;
    std::uint32_t height = 7;
    std::int32_t* out = nullptr;
    EXPECT_EQ(inverse.InverseLevel(1, width, height, out), ErrorOutOfMemory);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(width, 7u);
}

} // namespace
