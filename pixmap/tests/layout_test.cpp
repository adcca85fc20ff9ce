// Proves the memory layout of every mode (strides, bit and nibble order, words), the factories'
// refusals, the background rules with their fills, IsUniform on exact pixels, and ClipRects.
#include "color_formulas.h"
#include "test_support.h"

#include <gtest/gtest.h>

TEST(Layout, OwnedStridesAreFourByteAlignedRowsOfEveryMode) {
    struct Case {
        std::uint32_t mode, width;
        std::int32_t stride;
    };
    const Case cases[] = {{ModeRGB, 1, 4},     {ModeRGB, 5, 16},    {ModeRGB12, 3, 8},
                          {ModeRGB12, 2, 4},   {ModeBitmap, 33, 8}, {ModeBitmap, 32, 4},
                          {ModeGray, 5, 8},    {ModeIndexed, 4, 4}, {ModeCMYK, 3, 12},
                          {ModeLab, 2, 8},     {ModeGray16, 3, 8},  {ModeRGB48, 3, 20},
                          {ModeLab48, 1, 8},   {ModeCMYK64, 3, 24}, {ModeARGB, 3, 12},
                          {ModeGray32, 3, 12}, {ModeRGB16, 3, 8}};
    for (const Case& c : cases) {
        const auto map = CreatePixMap(PixRect{0, 0, c.width, 2}, c.mode);
        ASSERT_NE(map, nullptr);
        EXPECT_EQ(map->Stride(), c.stride) << ImageModeName(c.mode) << " width " << c.width;
        EXPECT_EQ(map->GetMode(), c.mode);
        EXPECT_TRUE(map->IsOwner());
    }
}

TEST(Layout, ModesWithoutAClassAndBadArgumentsGiveNoMap) {
    std::uint8_t memory[64] = {};
    for (const std::uint32_t mode : {5u, 6u, 7u, 8u, 14u, 15u, 16u, 21u, 255u}) {
        EXPECT_EQ(CreatePixMap(PixRect{0, 0, 2, 2}, mode), nullptr);
        EXPECT_EQ(AttachPixMap(2, 2, mode, memory, 8), nullptr);
    }
    EXPECT_EQ(CreatePixMap(PixRect{5, 0, 2, 2}, ModeRGB), nullptr);
    EXPECT_EQ(AttachPixMap(4, 2, ModeRGB, memory, 11), nullptr); // 12 bytes needed per row
    EXPECT_EQ(AttachPixMap(4, 2, ModeRGB, memory, -11), nullptr);
    const auto map = AttachPixMap(4, 2, ModeRGB, memory, -12);
    ASSERT_NE(map, nullptr);
    EXPECT_FALSE(map->IsOwner());
}

TEST(Layout, ChannelLettersAndCounts) {
    const auto rgb = CreatePixMap(PixRect{0, 0, 1, 1}, ModeRGB);
    const auto argb = CreatePixMap(PixRect{0, 0, 1, 1}, ModeARGB);
    const auto lab = CreatePixMap(PixRect{0, 0, 1, 1}, ModeLab48);
    const auto gray = CreatePixMap(PixRect{0, 0, 1, 1}, ModeGray);
    EXPECT_EQ(rgb->GetChannelLetter(0), 'B');
    EXPECT_EQ(rgb->GetChannelLetter(2), 'R');
    EXPECT_EQ(rgb->GetChannelLetter(3), ' ');
    EXPECT_EQ(argb->GetChannelLetter(3), 'A');
    EXPECT_EQ(lab->GetChannelLetter(1), 'a');
    EXPECT_EQ(gray->GetChannelLetter(0), ' ');
    EXPECT_EQ(argb->GetChannels(), 4);
    EXPECT_EQ(gray->GetColorCount(), 0);
    EXPECT_EQ(CreatePixMap(PixRect{0, 0, 1, 1}, ModeIndexed)->GetColorCount(), 256);
}

TEST(Layout, Rgb12PacksTwoPixelsInThreeBytesLowNibbleFirst) {
    // Blue, green, red of pixel 0 = 1, 2, 3 and of pixel 1 = 4, 5, 6.
    const std::uint8_t rgb[] = {0x10, 0x20, 0x30, 0x40, 0x50, 0x60};
    std::uint8_t packed[4] = {};
    const auto source = AttachPixMap(2, 1, ModeRGB, const_cast<std::uint8_t*>(rgb), 6);
    const auto target = AttachPixMap(2, 1, ModeRGB12, packed, 4);
    source->ConvertTo(*target);
    EXPECT_EQ(packed[0], 0x21); // G0·16 + B0
    EXPECT_EQ(packed[1], 0x43); // B1·16 + R0
    EXPECT_EQ(packed[2], 0x65); // R1·16 + G1
}

TEST(Layout, BitmapLeftmostPixelIsTheHighBitAndOneIsBlack) {
    std::uint8_t bits[4] = {0x80, 0, 0, 0};
    const auto bitmap = AttachPixMap(33, 1, ModeBitmap, bits, 8);
    std::uint8_t gray[36] = {};
    const auto target = AttachPixMap(33, 1, ModeGray, gray, 36);
    std::uint8_t wide[8] = {0x80, 0, 0, 0, 0x80, 0, 0, 0};
    const auto bitmap33 = AttachPixMap(33, 1, ModeBitmap, wide, 8);
    bitmap33->ConvertTo(*target);
    EXPECT_EQ(gray[0], 0);
    EXPECT_EQ(gray[1], 255);
    EXPECT_EQ(gray[32], 0); // bit 7 of byte 4
    EXPECT_EQ(PixelValues(*bitmap, 0, 0)[0], 1);
}

TEST(Layout, Rgb16FieldsHoldRedHighBlueLow) {
    const std::uint8_t rgb[] = {0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF};
    std::uint8_t words[8] = {};
    const auto source = AttachPixMap(3, 1, ModeRGB, const_cast<std::uint8_t*>(rgb), 9);
    source->ConvertTo(*AttachPixMap(3, 1, ModeRGB16, words, 8));
    EXPECT_EQ(words[0] | words[1] << 8, 0x001F); // blue
    EXPECT_EQ(words[2] | words[3] << 8, 0x07E0); // green
    EXPECT_EQ(words[4] | words[5] << 8, 0xF800); // red
}

TEST(Background, DefaultsAndColorLengthRules) {
    const std::uint8_t bgr[8] = {0x10, 0x80, 0xF0, 0x40, 0x01, 0x02, 0x03, 0x04};
    struct Case {
        std::uint32_t mode;
        int length;
        std::vector<std::uint8_t> expected;
    };
    const int gray = GrayOf(0x10, 0x80, 0xF0);
    const auto cmyk = BgrToCmyk(0x10, 0x80, 0xF0);
    const auto lab = BgrToLab(0x10, 0x80, 0xF0, 255);
    const auto lab48 = BgrToLab(0x1000, 0x8000, 0xF000, 65535);
    const auto lab48Words = BgrToLab(0x8010, 0x40F0, 0x0201, 65535);
    const auto cmyk64 = Bgr48ToCmyk64(0x1000, 0x8000, 0xF000);
    const auto cmyk64Words = Bgr48ToCmyk64(0x8010, 0x40F0, 0x0201);
    const auto le = [](auto words) {
        std::vector<std::uint8_t> bytes;
        for (const auto word : words) {
            bytes.push_back(static_cast<std::uint8_t>(word & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>(word >> 8));
        }
        return bytes;
    };
    const Case cases[] = {
        {ModeBitmap, 0, {0}},
        {ModeBitmap, 3, {0xEF}},
        {ModeGray, 0, {255}},
        {ModeGray, 1, {0x10}},
        {ModeGray, 3, {static_cast<std::uint8_t>(gray)}},
        {ModeIndexed, 0, {255}},
        {ModeIndexed, 3, {255}}, // no table yet
        {ModeRGB, 2, {255, 255, 255}},
        {ModeRGB, 3, {0x10, 0x80, 0xF0}},
        {ModeARGB, 3, {0x10, 0x80, 0xF0, 255}},
        {ModeARGB, 4, {0x10, 0x80, 0xF0, 0x40}},
        {ModeCMYK, 3, {cmyk[0], cmyk[1], cmyk[2], cmyk[3]}},
        {ModeCMYK, 4, {0x10, 0x80, 0xF0, 0x40}},
        {ModeGray16, 0, {0xFF, 0xFF}},
        {ModeGray16, 1, {0x00, 0x10}},
        {ModeGray16, 2, {0x10, 0x80}},
        {ModeGray16, 3, {0, static_cast<std::uint8_t>(gray)}},
        {ModeGray32, 0, {0xFF, 0xFF, 0xFF, 0x3F}},
        {ModeGray32, 1, {0, 0, 0x00, 0x04}}, // 0x10 << 22
        {ModeGray32, 2, {0, 0, 0x04, 0x20}}, // 0x8010 << 14 = 0x20040000
        {ModeGray32, 8, {0x10, 0x80, 0xF0, 0x40}},
        {ModeRGB48, 3, {0, 0x10, 0, 0x80, 0, 0xF0}},
        {ModeRGB48, 6, {0x10, 0x80, 0xF0, 0x40, 0x01, 0x02}},
        {ModeCMYK64, 4, {0, 0x10, 0, 0x80, 0, 0xF0, 0, 0x40}},
        {ModeCMYK64, 8, {0x10, 0x80, 0xF0, 0x40, 0x01, 0x02, 0x03, 0x04}},
        {ModeCMYK64, 3, le(cmyk64)},
        {ModeCMYK64, 6, le(cmyk64Words)},
        {ModeLab, 2, {255, 255, 255}},
        {ModeLab, 3, {std::uint8_t(lab[0]), std::uint8_t(lab[1]), std::uint8_t(lab[2])}},
        {ModeLab48, 3, le(lab48)},
        {ModeLab48, 7, le(lab48Words)},
        {ModeRGB12, 0, {0xFF, 0x0F}},
        {ModeRGB12, 3, {0x81, 0x0F}}, // red F, green 8, blue 1
        {ModeRGB16, 3, {0x02, 0xF4}}, // (240/8)·2048 + (128/4)·32 + 16/8
    };
    for (const Case& c : cases) {
        auto map = CreatePixMap(PixRect{0, 0, 1, 1}, c.mode);
        map->SetBackground(bgr, c.length);
        const std::vector<std::uint8_t> actual(map->GetBackground(),
                                               map->GetBackground() + map->GetBackgroundSize());
        EXPECT_EQ(actual, c.expected) << ImageModeName(c.mode) << " length " << c.length;
    }
}

TEST(Background, FilledMapsShowTheBackgroundInEveryPixelAndAreUniform) {
    const std::uint8_t color[8] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
    for (const std::uint32_t mode : kPixMapModes)
        for (const std::uint32_t width : {1u, 2u, 3u, 5u, 9u}) {
            const auto map = CreatePixMap(PixRect{10, 20, 10 + width, 23}, mode, color, 3);
            ASSERT_NE(map, nullptr);
            EXPECT_TRUE(map->IsUniform(map->Rect())) << ImageModeName(mode) << " " << width;
            // Bitmap fills whole bytes, so its pixels follow the bits of the background byte.
            const unsigned background = *map->GetBackground();
            for (std::uint32_t y = 0; y < 3; ++y)
                for (std::uint32_t x = 0; x < width; ++x) {
                    const auto expected =
                        mode == ModeBitmap
                            ? std::vector<std::int64_t>{(background >> (7 - x % 8)) & 1}
                            : PixelValues(*map, 0, 0);
                    EXPECT_EQ(PixelValues(*map, x, y), expected);
                }
        }
}

TEST(Background, IsUniformLooksAtExactlyTheRectangle) {
    for (const std::uint32_t mode : kPixMapModes) {
        auto map = CreatePixMap(PixRect{0, 0, 12, 4}, mode, nullptr, 0);
        map->FillWithBackground();
        // Change pixel (5, 2): rectangles that exclude it stay uniform.
        std::uint8_t* row = map->Row(2);
        if (mode == ModeBitmap)
            row[0] ^= 0x04;
        else if (mode == ModeRGB12)
            row[7] ^= 0x10; // nibble 15 (high half of byte 7): blue of pixel 5
        else
            row[5 * map->BitsPerPixel() / 8] ^= 0x01;
        EXPECT_FALSE(map->IsUniform(map->Rect())) << ImageModeName(mode);
        EXPECT_TRUE(map->IsUniform(PixRect{0, 0, 5, 4})) << ImageModeName(mode);
        EXPECT_TRUE(map->IsUniform(PixRect{6, 0, 12, 4})) << ImageModeName(mode);
        EXPECT_TRUE(map->IsUniform(PixRect{0, 3, 100, 100})) << ImageModeName(mode);
        EXPECT_FALSE(map->IsUniform(PixRect{5, 2, 6, 3})) << ImageModeName(mode);
        EXPECT_FALSE(map->IsUniform(PixRect{12, 0, 20, 4})); // outside
        EXPECT_FALSE(map->IsUniform(PixRect{6, 0, 2, 4}));   // inverted
    }
}

TEST(Background, BitmapIsUniformIgnoresPaddingBitsAndNeighbours) {
    std::uint8_t bits[4] = {0x00, 0x80, 0x00, 0x00}; // only pixel 8 is black
    const auto map = AttachPixMap(11, 1, ModeBitmap, bits, 4);
    EXPECT_TRUE(map->IsUniform(PixRect{0, 0, 8, 1}));
    EXPECT_FALSE(map->IsUniform(PixRect{0, 0, 9, 1}));
    const std::uint8_t white = 255; // background becomes 0: white bits
    auto owned = CreatePixMap(PixRect{0, 0, 11, 1}, ModeBitmap, &white, 1);
    owned->Row(0)[1] |= 0x1F; // padding bits after pixel 10
    EXPECT_TRUE(owned->IsUniform(owned->Rect()));
}

TEST(ClipRects, PartlyOutsideEitherMapKeepsTheCommonPartInBufferCoordinates) {
    const auto source = CreatePixMap(PixRect{10, 10, 20, 20}, ModeGray);
    const auto target = CreatePixMap(PixRect{100, 0, 108, 8}, ModeGray);
    // The source rectangle sticks out left and top of its map, the destination one right and
    // below: rectangle-relative, the source covers x 5...9, y 2...9 and the target x 0...7, y
    // 0...7.
    const auto clip = ClipRects(*source, PixRect{5, 8, 15, 18}, *target, PixRect{100, 0, 110, 10});
    ASSERT_TRUE(clip);
    EXPECT_EQ(clip->source, (PixRect{0, 0, 3, 6}));
    EXPECT_EQ(clip->destination, (PixRect{5, 2, 8, 8}));

    EXPECT_FALSE(ClipRects(*source, PixRect{5, 8, 15, 18}, *target, PixRect{104, 0, 114, 10}));
    EXPECT_FALSE(ClipRects(*source, PixRect{15, 8, 5, 18}, *target, target->Rect()));
    EXPECT_FALSE(ClipRects(*source, source->Rect(), *target, PixRect{0, 0, 100, 8}));
}
