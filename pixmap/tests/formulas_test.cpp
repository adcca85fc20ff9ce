// Proves the per-pixel formulas on their worked values, MulDiv's rounding, and that every speed-up
// table gives bit-identical results to the literal formula it replaces.
#include "color_formulas.h"
#include "mul_div.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>

TEST(MulDiv, RoundsHalvesAwayFromZeroWithWideProducts) {
    EXPECT_EQ(MulDiv(5, 1, 2), 3);
    EXPECT_EQ(MulDiv(-5, 1, 2), -3);
    EXPECT_EQ(MulDiv(5, -1, 2), -3);
    EXPECT_EQ(MulDiv(7, 1, 2), 4);
    EXPECT_EQ(MulDiv(1, 1, 3), 0);
    EXPECT_EQ(MulDiv(2, 1, 3), 1);
    EXPECT_EQ(MulDiv(31, 255, 31), 255);
    EXPECT_EQ(MulDiv(1, 255, 63), 4); // 4.047
    EXPECT_EQ(MulDiv(std::int64_t{1} << 40, std::int64_t{1} << 40, std::int64_t{1} << 41),
              std::int64_t{1} << 39);
    EXPECT_EQ(MulDiv(3, 4, 0), 0);
    for (std::int64_t a = 0; a < 200; a += 7)
        for (std::int64_t b = 0; b < 50; b += 3)
            for (std::int64_t c = 1; c < 40; c += 5)
                EXPECT_EQ(MulDivNonNegative(a, b, c), MulDiv(a, b, c));
}

// RGB -> CMYK: the inks are the complements less a tenth of their common part k0 = min(c, m, y);
// black ink starts only above k0 = 76 and grows with k0 to 230 at most.
TEST(Formulas, RgbToCmykBlackGeneration) {
    using Cmyk = std::array<std::uint8_t, 4>;
    EXPECT_EQ(BgrToCmyk(255, 255, 255), (Cmyk{0, 0, 0, 0}));
    EXPECT_EQ(BgrToCmyk(0, 0, 0), (Cmyk{230, 230, 230, 230}));
    EXPECT_EQ(BgrToCmyk(179, 179, 179), (Cmyk{69, 69, 69, 0}));      // k0 = 76
    EXPECT_EQ(BgrToCmyk(178, 178, 178), (Cmyk{70, 70, 70, 0}));      // k0 = 77
    EXPECT_EQ(BgrToCmyk(177, 177, 177), (Cmyk{71, 71, 71, 1}));      // 1 × 230 / 178
    EXPECT_EQ(BgrToCmyk(100, 100, 100), (Cmyk{140, 140, 140, 100})); // 78 × 230 / 178
    EXPECT_EQ(BgrToCmyk(0, 128, 255), (Cmyk{0, 127, 255, 0}));       // k0 = 0: pure complements

    std::array<int, 256> blackOf{};
    blackOf.fill(-1);
    for (int red = 0; red < 256; red += 3)
        for (int green = 0; green < 256; green += 3)
            for (int blue = 0; blue < 256; ++blue) {
                const Cmyk cmyk = BgrToCmyk(blue, green, red);
                const int k0 = 255 - std::max({red, green, blue});
                ASSERT_LE(cmyk[3], 230);
                if (k0 <= 76) {
                    ASSERT_EQ(cmyk[3], 0) << red << "," << green << "," << blue;
                }
                // Black depends on k0 alone.
                if (blackOf[k0] < 0) blackOf[k0] = cmyk[3];
                ASSERT_EQ(cmyk[3], blackOf[k0]);
            }
    for (int k0 = 1; k0 < 256; ++k0)
        EXPECT_GE(blackOf[k0], blackOf[k0 - 1]);
    EXPECT_EQ(blackOf[255], 230);
}

// CMYK -> RGB takes k = (K × 178 / 230 + 77) / 10 off every channel, 7 at least.
TEST(Formulas, CmykToRgbAndSixteenBitValues) {
    EXPECT_EQ(CmykToBgr(0, 0, 0, 0), (std::array<std::uint8_t, 3>{248, 248, 248}));
    EXPECT_EQ(CmykToBgr(0, 0, 0, 230), (std::array<std::uint8_t, 3>{230, 230, 230}));
    // k = (255 × 178 / 230 + 77) / 10 = 27
    EXPECT_EQ(CmykToBgr(255, 0, 0, 255), (std::array<std::uint8_t, 3>{228, 228, 0}));
    EXPECT_EQ(CmykToBgr(40, 100, 250, 0), (std::array<std::uint8_t, 3>{0, 148, 208}));
    EXPECT_EQ(Bgr48ToCmyk64(0, 0, 0), (std::array<std::uint16_t, 4>{58982, 58982, 58982, 0}));
    // k = 19660 / 10 = 1966 without black; (65535 × 45875 / 58981 + 19660) / 10 = 7063 with full
    // black
    EXPECT_EQ(Cmyk64ToBgr48(0, 0, 0, 0), (std::array<std::uint16_t, 3>{63569, 63569, 63569}));
    EXPECT_EQ(Cmyk64ToBgr48(65535, 65535, 0, 65535), (std::array<std::uint16_t, 3>{58472, 0, 0}));
}

TEST(Formulas, WorkedLabValues) {
    EXPECT_EQ(BgrToLab(255, 255, 255, 255), (std::array<int, 3>{254, 127, 133}));
    EXPECT_EQ(BgrToLab(0, 0, 0, 255), (std::array<int, 3>{0, 127, 127}));
    EXPECT_EQ(BgrToLab(0, 0, 0, 65535), (std::array<int, 3>{0, 32767, 32767}));
    // A mid gray keeps a = b = 127 and lands between the ends; the inverse returns near it.
    const auto gray = BgrToLab(128, 128, 128, 255);
    EXPECT_EQ(gray[1], 127);
    const auto back = LabToBgr(gray[0], gray[1], gray[2], 255, 255);
    for (const int channel : back)
        EXPECT_NEAR(channel, 128, 3);
}

TEST(SpeedUpTables, LinearTablesEqualTheLiteralCurveForEverySample) {
    const double* table8 = LinearTable8();
    for (int v = 0; v < 256; ++v) {
        const double literal = SampleToLinear(v, 255);
        EXPECT_EQ(std::memcmp(&table8[v], &literal, sizeof literal), 0) << v;
    }
    const double* table16 = LinearTable16();
    for (int v = 0; v < 65536; ++v) {
        const double literal = SampleToLinear(v, 65535);
        ASSERT_EQ(std::memcmp(&table16[v], &literal, sizeof literal), 0) << v;
    }
}

TEST(SpeedUpTables, Lab8ToRgbTablesEqualTheLiteralFormula) {
    // Every (L', a') pair with a spread of b', every (L', b') pair with a spread of a', then a
    // dense random sample of the rest.
    for (int l = 0; l < 256; ++l)
        for (int o = 0; o < 256; ++o)
            for (const int other : {0, 128, 255}) {
                ASSERT_EQ(Lab8ToBgr8Fast(l, o, other), LabToBgr(l, o, other, 255, 255));
                ASSERT_EQ(Lab8ToBgr8Fast(l, other, o), LabToBgr(l, other, o, 255, 255));
            }
    std::mt19937 random(7);
    for (int i = 0; i < 50000; ++i) {
        const int l = random() % 256, a = random() % 256, b = random() % 256;
        ASSERT_EQ(Lab8ToBgr8Fast(l, a, b), LabToBgr(l, a, b, 255, 255));
    }
}

TEST(Formulas, PackedRgbFields) {
    EXPECT_EQ(BgrToRgb16(255, 255, 255), 0xFFFF);
    EXPECT_EQ(BgrToRgb16(7, 3, 7), 0);
    EXPECT_EQ(Rgb16ToBgr(0xFFFF), (std::array<std::uint8_t, 3>{248, 252, 248}));
    EXPECT_EQ(Rgb12ToRgb16(15, 15, 15), (30 << 11) | (60 << 5) | 30);
}
