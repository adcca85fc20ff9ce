// Proves ComputePSNR of every class family on maps with known error sums: identical maps, a
// uniform difference of one step, per-channel values, and the overall rule of each family.
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

double Db(double ratio) { return 10 * std::log10(ratio); }

// An owned copy of `map` with its color table.
std::unique_ptr<CPixMap> Copy(const CPixMap& map) {
    auto copy = CreatePixMap(map.Rect(), map.GetMode());
    map.CopyRect(map.Rect(), *copy, copy->Rect());
    if (map.GetColorTable()) std::copy_n(map.GetColorTable(), 1024, copy->AllocColorTable());
    return copy;
}

} // namespace

TEST(Psnr, IdenticalMapsGiveMinusOneEverywhere) {
    for (const std::uint32_t mode : kPixMapModes) {
        const auto a = RandomMap(mode, 5, 3, 1);
        const auto b = Copy(*a);
        std::vector<double> channels;
        EXPECT_EQ(a->ComputePSNR(*b, channels), -1) << ImageModeName(mode);
        ASSERT_EQ(channels.size(), std::size_t(mode == ModeIndexed ? 3 : a->GetChannels()))
            << ImageModeName(mode);
        for (const double value : channels)
            EXPECT_EQ(value, -1);
    }
}

TEST(Psnr, PerChannelAndOverallValuesOfEachFamily) {
    struct Case {
        std::uint32_t mode;
        std::vector<std::uint8_t> colorA, colorB; // background colors in the mode's own bytes
        std::vector<double> channelMax;
        double overallMax;
        std::vector<double> errors; // squared error per channel per pixel
    };
    const Case cases[] = {
        {ModeGray, {10}, {11}, {65025}, 65025, {1}}, // 48.13 dB
        {ModeRGB, {10, 20, 30}, {11, 22, 30}, {65025, 65025, 65025}, 65025, {1, 4, 0}},
        {ModeCMYK, {0, 0, 0, 0}, {0, 0, 0, 3}, {65025, 65025, 65025, 65025}, 65025, {0, 0, 0, 9}},
        {ModeRGB48,
         {0, 1, 0, 1, 0, 1},
         {2, 1, 0, 1, 0, 1},
         {4294836225.0, 4294836225.0, 4294836225.0},
         4294836225.0,
         {4, 0, 0}},
        {ModeGray16, {0, 1}, {0, 2}, {4294836225.0}, 4294836225.0, {65536}},
    };
    for (const Case& c : cases) {
        const auto a = CreatePixMap(PixRect{0, 0, 4, 2}, c.mode);
        const auto b = CreatePixMap(PixRect{0, 0, 4, 2}, c.mode);
        a->SetBackground(c.colorA.data(), int(c.colorA.size()));
        b->SetBackground(c.colorB.data(), int(c.colorB.size()));
        a->FillWithBackground();
        b->FillWithBackground();
        std::vector<double> channels;
        const double overall = a->ComputePSNR(*b, channels);
        double total = 0;
        for (std::size_t k = 0; k < c.errors.size(); ++k) {
            const double sse = 8 * c.errors[k];
            total += sse;
            EXPECT_DOUBLE_EQ(channels[k], sse == 0 ? -1 : Db(8 * c.channelMax[k] / sse))
                << ImageModeName(c.mode) << " channel " << k;
        }
        EXPECT_DOUBLE_EQ(overall, Db(double(c.errors.size()) * 8 * c.overallMax / total))
            << ImageModeName(c.mode);
    }
}

TEST(Psnr, PackedAndTableFamilies) {
    std::vector<double> channels;
    // RGB16: blue field 1 apart, green 2 apart; overall weighs each sum by its own maximum.
    const std::uint8_t wordA[2] = {0x00, 0x00}, wordB[2] = {0x41, 0x00};
    const auto a16 = CreatePixMap(PixRect{0, 0, 3, 3}, ModeRGB16, wordA, 2);
    const auto b16 = CreatePixMap(PixRect{0, 0, 3, 3}, ModeRGB16, wordB, 2);
    const double overall16 = a16->ComputePSNR(*b16, channels);
    EXPECT_DOUBLE_EQ(channels[0], Db(9 * 961.0 / 9));
    EXPECT_DOUBLE_EQ(channels[1], Db(9 * 3969.0 / 36));
    EXPECT_EQ(channels[2], -1);
    EXPECT_DOUBLE_EQ(overall16, Db(3 * 9 / (9 / 961.0 + 36 / 3969.0)));

    // RGB12: red nibble 3 apart.
    const std::uint8_t bgrA[3] = {0, 0, 0x10}, bgrB[3] = {0, 0, 0x40};
    const auto a12 = CreatePixMap(PixRect{0, 0, 3, 1}, ModeRGB12, bgrA, 3);
    const auto b12 = CreatePixMap(PixRect{0, 0, 3, 1}, ModeRGB12, bgrB, 3);
    EXPECT_DOUBLE_EQ(a12->ComputePSNR(*b12, channels), Db(3 * 3 * 225.0 / 27));
    EXPECT_DOUBLE_EQ(channels[2], Db(3 * 225.0 / 27));

    // Gray32: a difference of 2^20 in every pixel.
    const std::uint8_t g32a[4] = {0, 0, 0, 0}, g32b[4] = {0, 0, 0x10, 0};
    const auto a32 = CreatePixMap(PixRect{0, 0, 2, 2}, ModeGray32, g32a, 4);
    const auto b32 = CreatePixMap(PixRect{0, 0, 2, 2}, ModeGray32, g32b, 4);
    EXPECT_DOUBLE_EQ(b32->ComputePSNR(*a32, channels),
                     Db(4 * 1152921502459363328.0 / (4 * std::ldexp(1.0, 40))));

    // Indexed compares the colors that each map's own table gives its indices.
    const auto ia = CreatePixMap(PixRect{0, 0, 2, 1}, ModeIndexed);
    const auto ib = CreatePixMap(PixRect{0, 0, 2, 1}, ModeIndexed);
    std::fill_n(ia->AllocColorTable(), 1024, 0);
    std::fill_n(ib->AllocColorTable(), 1024, 0);
    ia->Row(0)[0] = ia->Row(0)[1] = 7;
    ib->Row(0)[0] = ib->Row(0)[1] = 9;
    ia->GetColorTable()[7 * 4 + 1] = 50; // green 50
    ib->GetColorTable()[9 * 4 + 1] = 52; // green 52
    EXPECT_DOUBLE_EQ(ia->ComputePSNR(*ib, channels), Db(3 * 2 * 65025.0 / 8));
    EXPECT_EQ(channels[0], -1);
    EXPECT_DOUBLE_EQ(channels[1], Db(2 * 65025.0 / 8));
}

TEST(Psnr, BitmapCountsDifferingPixelsButNotPadding) {
    std::uint8_t a[8] = {0xF0, 0x00, 0, 0, 0x00, 0x00, 0, 0};
    std::uint8_t b[8] = {0xF1, 0x7F, 0, 0, 0x80, 0x3F, 0, 0}; // 2 pixels differ; the rest padding
    const auto ma = AttachPixMap(9, 2, ModeBitmap, a, 4);
    const auto mb = AttachPixMap(9, 2, ModeBitmap, b, 4);
    std::vector<double> channels;
    EXPECT_DOUBLE_EQ(ma->ComputePSNR(*mb, channels), Db(18.0 / 2));
    EXPECT_EQ(channels.size(), 1u);
}

TEST(Psnr, MapsOfAnotherModeOrSizeAreNotCompared) {
    const auto a = RandomMap(ModeRGB, 4, 4, 1);
    std::vector<double> channels{1.0};
    EXPECT_TRUE(std::isnan(a->ComputePSNR(*RandomMap(ModeARGB, 4, 4, 1), channels)));
    EXPECT_TRUE(channels.empty());
    EXPECT_TRUE(std::isnan(a->ComputePSNR(*RandomMap(ModeRGB, 4, 5, 1), channels)));
}
