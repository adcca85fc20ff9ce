// Quantisation divides by 2^s rounding half away from zero with a dead zone for detail bands,
// stays defined for shifts where the threshold or the shift itself leaves the 32-bit range, and
// the shift rule depends on orientation and level as the decoder expects.
#include "quantize.h"

#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

std::vector<std::int32_t> Quantized(std::vector<std::int32_t> samples, int shift, bool deadZone) {
    QuantizeSamples(samples.data(), samples.size(), shift, deadZone);
    return samples;
}

TEST(Quantize, ShiftOneExamples) {
    EXPECT_EQ(Quantized({2, -2, 3, -3, 0}, 1, true), (std::vector<std::int32_t>{0, 0, 2, -2, 0}));
    EXPECT_EQ(Quantized({1, 2, 3, -1, 0}, 1, false), (std::vector<std::int32_t>{1, 1, 2, -1, 0}));
}

TEST(Quantize, RoundsHalfAwayFromZeroOutsideTheDeadZone) {
    // s = 3: threshold 11; 12 / 8 = 1.5 -> 2, 20 / 8 = 2.5 -> 3, 11 stays in the dead zone.
    EXPECT_EQ(Quantized({11, 12, -12, 20, -20}, 3, true),
              (std::vector<std::int32_t>{0, 2, -2, 3, -3}));
    EXPECT_EQ(Quantized({4, -4, 3, -3}, 3, false), (std::vector<std::int32_t>{1, -1, 0, 0}));
}

TEST(Quantize, ShiftsBelowOneChangeNothing) {
    const std::vector<std::int32_t> samples = {kMin, -5, 0, 7, kMax};
    EXPECT_EQ(Quantized(samples, 0, true), samples);
    EXPECT_EQ(Quantized(samples, -3, false), samples);
}

TEST(Quantize, LargeShiftsStayDefined) {
    // The threshold's product 7 × 2^s leaves 32 bits from s = 29 on.
    EXPECT_EQ(DeadZoneThreshold(28), 375809638);
    EXPECT_EQ(DeadZoneThreshold(29), 751619276);
    EXPECT_EQ(DeadZoneThreshold(31), 3006477107);
    EXPECT_EQ(Quantized({751619276, 751619277, -751619277}, 29, true),
              (std::vector<std::int32_t>{0, 1, -1}));
    // From s = 31 the dead zone holds every 32-bit sample.
    EXPECT_EQ(Quantized({kMin, kMax}, 31, true), (std::vector<std::int32_t>{0, 0}));
    EXPECT_EQ(Quantized({kMax, 1 << 29}, 31, false), (std::vector<std::int32_t>{1, 0}));
    // A shift of 32 or more leaves nothing, in either kind of band.
    for (int shift : {32, 33, 40, 200}) {
        EXPECT_EQ(Quantized({kMin, -1, 1, kMax}, shift, false), (std::vector<std::int32_t>(4, 0)));
        EXPECT_EQ(Quantized({kMin, -1, 1, kMax}, shift, true), (std::vector<std::int32_t>(4, 0)));
    }
}

TEST(Quantize, ShiftRuleAndDequantisation) {
    EXPECT_EQ(BandShift(BandOrientation::LL, 3, 10), 6);
    EXPECT_EQ(BandShift(BandOrientation::HL, 3, 10), 7);
    EXPECT_EQ(BandShift(BandOrientation::LH, 3, 10), 7);
    EXPECT_EQ(BandShift(BandOrientation::HH, 3, 10), 8);
    EXPECT_EQ(BandShift(BandOrientation::LL, 5, 2), -4);
    EXPECT_EQ(Dequantize(3, 2), 12);
    EXPECT_EQ(Dequantize(-3, -2), -3);
    EXPECT_EQ(Dequantize(-1, 31), kMin);
    EXPECT_EQ(Dequantize(kMax, 1), -2);
    EXPECT_EQ(Dequantize(5, 32), 0);
}

TEST(Quantize, BandUsesItsOwnShift) {
    CWaveletBand band;
    band.level = 2;
    band.orientation = BandOrientation::HH;
    band.region = {0, 0, 3, 1};
    ASSERT_TRUE(band.SizeForRegion());
    const std::int32_t values[] = {16, -40, 5};
    std::copy(std::begin(values), std::end(values), band.data.get());
    QuantizeBand(band, 3); // s = 3 - 2 + 1 = 2, threshold 5
    EXPECT_EQ(std::vector<std::int32_t>(band.data.get(), band.data.get() + 3),
              (std::vector<std::int32_t>{4, -10, 0}));

    // A quality above 31 reaches shifts of 32 and more: defined, and nothing is left.
    band.orientation = BandOrientation::LL;
    std::copy(std::begin(values), std::end(values), band.data.get());
    QuantizeBand(band, 40); // s = 40 - 2 - 1 = 37
    EXPECT_EQ(std::vector<std::int32_t>(band.data.get(), band.data.get() + 3),
              (std::vector<std::int32_t>(3, 0)));
}

} // namespace
