// Proves the display image built from every mode: its depth, 4-byte aligned top-down rows, color
// table and pixels (equal to ConvertTo into the display mode), the empty and channel images, and
// the refusals for modes and depths that have no display image.
#include "display_image.h"
#include "mul_div.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(DisplayImage, EveryModeBuildsTheImageOfItsDisplayMode) {
    struct Case {
        std::uint32_t mode;
        ImageMode display;
        int bitsPerPixel;
    };
    const Case cases[] = {
        {ModeBitmap, ModeBitmap, 1}, {ModeGray, ModeGray, 8},       {ModeGray16, ModeGray, 8},
        {ModeGray32, ModeGray, 8},   {ModeIndexed, ModeIndexed, 8}, {ModeRGB, ModeRGB, 24},
        {ModeCMYK, ModeRGB, 24},     {ModeLab, ModeRGB, 24},        {ModeRGB48, ModeRGB, 24},
        {ModeLab48, ModeRGB, 24},    {ModeCMYK64, ModeRGB, 24},     {ModeRGB12, ModeRGB, 24},
        {ModeRGB16, ModeRGB, 24},    {ModeARGB, ModeARGB, 32}};
    std::uint32_t seed = 0;
    for (const Case& c : cases) {
        const auto source = RandomMap(c.mode, 7, 3, ++seed);
        const auto image = BuildDisplayImage(*source);
        ASSERT_NE(image, nullptr) << ImageModeName(c.mode);
        EXPECT_EQ(image->DisplayMode(), c.display);
        EXPECT_EQ(image->BitsPerPixel(), c.bitsPerPixel);
        EXPECT_EQ(image->Pitch() % 4, 0);
        EXPECT_EQ(image->HasAlpha(), c.display == ModeARGB);

        // The rows are those of a top-down map of the display mode.
        const auto expected = CreatePixMap(source->Rect(), c.display);
        source->ConvertTo(*expected);
        const auto rows = AttachPixMap(7, 3, c.display, image->TopRow(), image->Pitch());
        EXPECT_TRUE(SamePixels(*rows, *expected)) << ImageModeName(c.mode);
    }
}

TEST(DisplayImage, ColorTables) {
    const auto bitmap = CreateEmptyDisplayImage(3, 2, ModeBitmap);
    ASSERT_EQ(bitmap->ColorCount(), 2);
    const std::uint8_t whiteBlack[8] = {255, 255, 255, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(bitmap->ColorTable(), whiteBlack, 8), 0);

    const auto gray = CreateEmptyDisplayImage(3, 2, ModeGray16);
    ASSERT_EQ(gray->ColorCount(), 256);
    for (int i = 0; i < 256; ++i) {
        std::uint8_t entry[4];
        gray->GetColors(i, 1, entry);
        EXPECT_EQ(entry[0], i);
        EXPECT_EQ(entry[2], i);
        EXPECT_EQ(entry[3], 0);
    }

    const auto indexed = RandomMap(ModeIndexed, 4, 4, 3);
    const auto image = BuildDisplayImage(*indexed);
    EXPECT_EQ(std::memcmp(image->ColorTable(), indexed->GetColorTable(), 1024), 0);
    // Wrapping it again hands the table to the pixel map.
    const auto wrapped = AttachDisplayImage(*image);
    EXPECT_EQ(std::memcmp(wrapped->GetColorTable(), indexed->GetColorTable(), 1024), 0);
}

TEST(DisplayImage, RefusalsAndBitFieldImages) {
    EXPECT_EQ(CreateEmptyDisplayImage(4, 4, ModeHSL), nullptr);
    EXPECT_EQ(CDisplayImage::Create(4, 4, 12, ModeRGB), nullptr);
    EXPECT_EQ(CDisplayImage::Create(0x7FFFFFFF, 1, 32, ModeARGB), nullptr); // pitch > 31 bits
    const auto four = CDisplayImage::Create(5, 2, 4, ModeIndexed);
    ASSERT_NE(four, nullptr);
    EXPECT_EQ(four->ColorCount(), 16);
    EXPECT_EQ(four->Pitch(), 4);
    EXPECT_EQ(AttachDisplayImage(*four), nullptr);

    const auto rgb16 =
        CDisplayImage::Create(3, 2, 16, ModeRGB16, BitFieldMasks{0xF800, 0x07E0, 0x001F});
    const auto map = AttachDisplayImage(*rgb16);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->GetMode(), ModeRGB16);
    const auto otherMasks =
        CDisplayImage::Create(3, 2, 16, ModeRGB16, BitFieldMasks{0x7C00, 0x03E0, 0x001F});
    EXPECT_EQ(AttachDisplayImage(*otherMasks), nullptr);
}

TEST(DisplayImage, ChannelImageShowsOneChannel) {
    const auto source = RandomMap(ModeRGB48, 5, 4, 9);
    const auto channel = CreateChannelImage(5, 4);
    ASSERT_TRUE(BuildChannelImage(*source, 2, *channel));
    for (std::uint32_t y = 0; y < 4; ++y)
        for (std::uint32_t x = 0; x < 5; ++x)
            ASSERT_EQ(channel->TopRow()[y * channel->Pitch() + x],
                      PixelValues(*source, x, y)[2] >> 8);
    EXPECT_FALSE(BuildChannelImage(*source, 0, *CreateChannelImage(4, 4)));
}

TEST(ExtractChannel, ScalesPackedFieldsAndConvertsOneChannelModes) {
    const auto rgb16 = RandomMap(ModeRGB16, 6, 2, 1);
    const auto rgb12 = RandomMap(ModeRGB12, 5, 2, 2);
    const auto gray = CreatePixMap(PixRect{0, 0, 6, 2}, ModeGray);
    const auto gray5 = CreatePixMap(PixRect{0, 0, 5, 2}, ModeGray);
    for (int c = 0; c < 3; ++c) {
        rgb16->ExtractChannel(c, *gray);
        rgb12->ExtractChannel(c, *gray5);
        for (std::uint32_t y = 0; y < 2; ++y) {
            for (std::uint32_t x = 0; x < 6; ++x) {
                const std::int64_t field = PixelValues(*rgb16, x, y)[std::size_t(c)];
                ASSERT_EQ(gray->Row(y)[x], MulDiv(field, 255, c == 1 ? 63 : 31));
            }
            for (std::uint32_t x = 0; x < 5; ++x)
                ASSERT_EQ(gray5->Row(y)[x],
                          MulDiv(PixelValues(*rgb12, x, y)[std::size_t(c)], 255, 15));
        }
    }
    const auto cmyk = RandomMap(ModeCMYK, 6, 2, 3);
    cmyk->ExtractChannel(3, *gray);
    EXPECT_EQ(gray->Row(1)[5], cmyk->Row(1)[23]);
    const auto before = RandomMap(ModeGray, 6, 2, 4);
    const auto untouched = RandomMap(ModeGray, 6, 2, 4);
    cmyk->ExtractChannel(4, *untouched); // no such channel
    EXPECT_TRUE(SamePixels(*untouched, *before));

    const auto gray32 = RandomMap(ModeGray32, 6, 2, 5);
    const auto converted = CreatePixMap(PixRect{0, 0, 6, 2}, ModeGray);
    gray32->ExtractChannel(2, *gray);
    gray32->ConvertTo(*converted);
    EXPECT_TRUE(SamePixels(*gray, *converted));
}
