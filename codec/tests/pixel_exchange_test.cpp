// Pins the pixel exchange to known values (colour transform, 5-6-5 and 16-bit centring,
// bitmap padding, narrowed deep exports, halved chroma), checks that progress is reported per
// row and cancels between rows, and that layouts which cannot be served are refused without
// touching memory outside the rows.
#include "channel_test_image.h"
#include "channel_transform.h"
#include "error_of.h"
#include "pixel_export.h"
#include "pixel_import.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

TEST(PixelExchangeExamples, RgbBytesThroughTheColourTransform) {
    TestChannels channels(ModeRGB, 1, 1, 3);
    const std::uint8_t pixel[3] = {10, 20, 30}; // blue, green, red
    ImportPixelRows(channels.image, pixel, 3, 24);
    EXPECT_EQ(channels.At(0, 0, 0), -108);
    EXPECT_EQ(channels.At(1, 0, 0), 10);
    EXPECT_EQ(channels.At(2, 0, 0), -10);
    std::uint8_t out[3] = {};
    ExportPixelRows(channels.image, out, 3, 24);
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 3), std::vector<std::uint8_t>(pixel, pixel + 3));
}

TEST(PixelExchangeExamples, Rgb16WhiteWord) {
    TestChannels channels(ModeRGB16, 1, 1, 3);
    const std::uint8_t word[2] = {0xFF, 0xFF};
    ImportPixelRows(channels.image, word, 2, 16);
    EXPECT_EQ(channels.At(0, 0, 0), 30);
    EXPECT_EQ(channels.At(1, 0, 0), -1);
    EXPECT_EQ(channels.At(2, 0, 0), -1);
    std::uint8_t out[2] = {};
    ExportPixelRows(channels.image, out, 2, 16);
    EXPECT_EQ(out[0], 0xFF);
    EXPECT_EQ(out[1], 0xFF);
}

TEST(PixelExchangeExamples, Gray16IsCentredOnItsDepth) {
    TestChannels channels(ModeGray16, 2, 1, 1, 16);
    const std::uint16_t words[2] = {0, 65535};
    ImportPixelRows(channels.image, reinterpret_cast<const std::uint8_t*>(words), 4, 16);
    EXPECT_EQ(channels.At(0, 0, 0), -32768);
    EXPECT_EQ(channels.At(0, 1, 0), 32767);

    // Low-aligned words hold the value itself; one above 2^b - 1 saturates.
    TestChannels low(ModeGray16, 2, 1, 1, 12);
    const std::uint16_t lowWords[2] = {4095, 0xFFFF};
    const PixelExchange how{nullptr, SampleAlignment::Low};
    ImportPixelRows(low.image, reinterpret_cast<const std::uint8_t*>(lowWords), 4, 16, how);
    EXPECT_EQ(low.At(0, 0, 0), 2047);
    EXPECT_EQ(low.At(0, 1, 0), 2047);

    // Exported back, samples just outside the depth stop at its ends.
    const std::int32_t samples[5] = {-2049, -2048, 0, 2047, 2048};
    TestChannels edges(ModeGray16, 5, 1, 1, 12);
    std::copy(std::begin(samples), std::end(samples), edges.storage[0].begin());
    std::array<std::uint16_t, 5> exported{};
    ExportPixelRows(edges.image, reinterpret_cast<std::uint8_t*>(exported.data()), 10, 16, how);
    EXPECT_EQ(exported, (std::array<std::uint16_t, 5>{0, 0, 2048, 4095, 4095}));
}

TEST(PixelExchangeExamples, BitmapRowPaddingIsZero) {
    TestChannels channels(ModeBitmap, 10, 1, 1);
    for (std::uint32_t x = 0; x < 10; ++x)
        channels.At(0, x, 0) = 1;
    TestRows rows(2, 1, false, 0xFF);
    ExportPixelRows(channels.image, rows.Bits(), rows.Pitch(), 1);
    EXPECT_EQ(rows.Row(0)[0], 0xFF);
    EXPECT_EQ(rows.Row(0)[1], 0xC0);
    EXPECT_TRUE(rows.GuardsIntact());
}

// Bitmaps of older files hold a byte of 8 pixels in each sample; without sequential bands the
// sample rows are packed. Their bits past the last pixel come out 0, or a lossless re-encode of
// the exported rows would not give them back.
TEST(PixelExchangeExamples, OlderBitmapsHoldBytesInSamples) {
    for (const std::uint8_t version : {0x16, 0x06}) {
        TestChannels channels(ModeBitmap, 10, 2, 1);
        channels.image.version = version;
        const std::uint32_t stride = version & kVersionSeparateBands ? 10 : 2;
        const std::int32_t samples[4] = {-128, 127, 300, -1}; // rows of 2 bytes
        for (int i = 0; i < 4; ++i)
            channels.storage[0][(i / 2) * stride + i % 2] = samples[i];
        TestRows rows(2, 2);
        ExportPixelRows(channels.image, rows.Bits(), rows.Pitch(), 1);
        EXPECT_EQ(rows.Pixels(), (std::vector<std::uint8_t>{0, 0xC0, 255, 0x40}));
        EXPECT_TRUE(rows.GuardsIntact());
    }
}

TEST(PixelExchangeExamples, Rgb48IntoBytesKeepsTheTopBits) {
    TestChannels channels(ModeRGB48, 2, 1, 3, 12);
    const std::uint16_t words[6] = {0x0010, 0x1230, 0xFFF0, 0xABC0, 0x0000, 0x8000};
    ImportPixelRows(channels.image, reinterpret_cast<const std::uint8_t*>(words), 12, 48);
    TestRows rows(6, 1);
    ExportPixelRows(channels.image, rows.Bits(), rows.Pitch(), 24);
    std::vector<std::uint8_t> expected;
    for (const std::uint16_t word : words)
        expected.push_back(static_cast<std::uint8_t>(word >> 8));
    EXPECT_EQ(rows.Pixels(), expected); // (word >> 4) >> (b - 8)
    EXPECT_TRUE(rows.GuardsIntact());
}

// Gray32 narrowed: 16-bit words and bytes from the top bits of a deep sample, or the sample
// widened when it is shallower than the word.
TEST(PixelExchangeExamples, Gray32NarrowedExports) {
    TestChannels deep(ModeGray32, 1, 1, 1, 24);
    deep.At(0, 0, 0) = 0x123456 - (1 << 23);
    std::uint16_t word = 0;
    ExportPixelRows(deep.image, reinterpret_cast<std::uint8_t*>(&word), 2, 16);
    EXPECT_EQ(word, 0x1234);
    std::uint8_t byte = 0;
    ExportPixelRows(deep.image, &byte, 1, 8);
    EXPECT_EQ(byte, 0x12);

    TestChannels shallow(ModeGray32, 1, 1, 1, 12);
    shallow.At(0, 0, 0) = 0xABC - (1 << 11);
    ExportPixelRows(shallow.image, reinterpret_cast<std::uint8_t*>(&word), 2, 16);
    EXPECT_EQ(word, 0xABC0);
    std::uint32_t full = 0;
    ExportPixelRows(shallow.image, reinterpret_cast<std::uint8_t*>(&full), 4, 32);
    EXPECT_EQ(full, 0xABCu << 19);
}

// A 3 x 3 image has 2 x 2 chroma planes; pixel (x, y) reads chroma (x >> 1, y >> 1).
TEST(PixelExchangeExamples, HalvedChromaCoversTwoByTwoPixels) {
    TestChannels channels(ModeRGB, 3, 3, 3, 0, true);
    ASSERT_EQ(channels.image.planes[1].width, 2u);
    for (std::uint32_t y = 0; y < 3; ++y)
        for (std::uint32_t x = 0; x < 3; ++x)
            channels.At(0, x, y) = static_cast<int>(x + 3 * y);
    for (std::uint32_t y = 0; y < 2; ++y)
        for (std::uint32_t x = 0; x < 2; ++x) {
            channels.At(1, x, y) = static_cast<int>(10 * x + 20 * y + 1);
            channels.At(2, x, y) = -static_cast<int>(5 * x + 7 * y + 2);
        }
    TestRows rows(9, 3);
    ExportPixelRows(channels.image, rows.Bits(), rows.Pitch(), 24);
    for (std::uint32_t y = 0; y < 3; ++y)
        for (std::uint32_t x = 0; x < 3; ++x) {
            const int c0 = channels.At(0, x, y);
            const int c1 = channels.At(1, x >> 1, y >> 1);
            const int c2 = channels.At(2, x >> 1, y >> 1);
            const int green = c0 - ((c1 + c2) >> 2) + 128;
            const std::uint8_t* pixel = rows.Row(y) + 3 * x;
            EXPECT_EQ(pixel[1], green);
            EXPECT_EQ(pixel[2], green + c1);
            EXPECT_EQ(pixel[0], green + c2);
        }
}

// The deep colour path halves chroma the same way, the fourth channel included.
TEST(PixelExchangeExamples, HalvedChromaOfDeepColour) {
    TestChannels channels(ModeCMYK64, 3, 3, 4, 16, true);
    for (std::uint32_t y = 0; y < 3; ++y)
        for (std::uint32_t x = 0; x < 3; ++x)
            channels.At(0, x, y) = static_cast<int>(100 * x + y);
    for (int c = 1; c < 4; ++c)
        for (std::uint32_t y = 0; y < 2; ++y)
            for (std::uint32_t x = 0; x < 2; ++x)
                channels.At(c, x, y) = static_cast<int>(1000 * c + 40 * x + 7 * y);
    TestRows rows(24, 3);
    ExportPixelRows(channels.image, rows.Bits(), rows.Pitch(), 64);
    for (std::uint32_t y = 0; y < 3; ++y)
        for (std::uint32_t x = 0; x < 3; ++x) {
            const auto chroma = [&](int c) { return channels.At(c, x >> 1, y >> 1); };
            const int green = channels.At(0, x, y) - ((chroma(1) + chroma(2)) >> 2) + 32768;
            std::uint16_t words[4];
            std::memcpy(words, rows.Row(y) + 8 * x, 8);
            EXPECT_EQ(words[0], green + chroma(2));
            EXPECT_EQ(words[1], green);
            EXPECT_EQ(words[2], green + chroma(1));
            EXPECT_EQ(words[3], chroma(3) + 32768);
        }
}

// Samples of a damaged file can be anything: every mode clamps them, free of overflow.
TEST(PixelExchangeExamples, ExtremeSamplesAreClamped) {
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    struct Case {
        std::uint8_t mode;
        int channels;
        std::uint32_t bitsPerPixel;
        std::uint8_t sampleBits;
    };
    for (const Case c :
         {Case{ModeGray, 1, 8, 0}, Case{ModeRGB, 3, 24, 0}, Case{ModeCMYK, 4, 32, 0},
          Case{ModeGray16, 1, 16, 16}, Case{ModeRGB48, 3, 48, 1}, Case{ModeCMYK64, 4, 64, 16},
          Case{ModeGray32, 1, 32, 31}, Case{ModeGray32, 1, 32, 1}, Case{ModeGray32, 1, 16, 31},
          Case{ModeRGB12, 3, 12, 0}, Case{ModeRGB16, 3, 16, 0}}) {
        for (const std::int32_t value : {kMin, kMax}) {
            TestChannels channels(c.mode, 2, 2, c.channels, c.sampleBits, c.channels >= 3);
            for (auto& plane : channels.storage)
                std::fill(plane.begin(), plane.end(), value);
            TestRows rows((2 * c.bitsPerPixel + 7) / 8, 2);
            ExportPixelRows(channels.image, rows.Bits(), rows.Pitch(), c.bitsPerPixel);
            EXPECT_TRUE(rows.GuardsIntact());
            if (c.channels == 1) {
                // A lone channel saturates: all bits clear, or all sample bits set.
                const std::uint8_t expected = value == kMin ? 0x00 : 0xFF;
                EXPECT_EQ(rows.Row(1)[0], expected) << int(c.mode);
                if (c.mode == ModeGray32 && c.bitsPerPixel == 32 && value == kMax) {
                    EXPECT_EQ(rows.Row(1)[3], 0x7F); // bit 31 is never a sample bit
                }
            }
        }
    }
}

// Three-byte colour rows, in either channel order, against the colour formula taken in 64 bits:
// rows of samples a real image holds and rows where a damaged sample lies far outside them.
TEST(PixelExchangeExamples, ColourRowsFollowTheWideFormula) {
    std::mt19937 rng(4);
    for (const std::uint32_t width : {1u, 7u, 8u, 33u, 70u}) {
        TestChannels channels(ModeRGB, width, 4, 3);
        for (auto& plane : channels.storage)
            for (auto& sample : plane)
                sample = static_cast<std::int32_t>(rng() % 700) - 350;
        const std::uint32_t x = rng() % width;
        channels.At(1, x, 2) = std::numeric_limits<std::int32_t>::max();
        channels.At(2, x, 2) = std::numeric_limits<std::int32_t>::max();
        channels.At(0, x, 3) = std::numeric_limits<std::int32_t>::min();
        for (const bool reversed : {false, true}) {
            ChannelMap map;
            if (reversed) map.position = {2, 1, 0};
            TestRows rows(3 * std::size_t{width}, 4);
            ExportPixelRows(channels.image, rows.Bits(), rows.Pitch(), 24,
                            {&map, SampleAlignment::Top, nullptr, nullptr, reversed ? 3 : 1});
            ASSERT_TRUE(rows.GuardsIntact());
            for (std::uint32_t y = 0; y < 4; ++y)
                for (std::uint32_t x = 0; x < width; ++x) {
                    const std::int64_t c1 = channels.At(1, x, y);
                    const std::int64_t c2 = channels.At(2, x, y);
                    const std::int64_t p1 = std::clamp<std::int64_t>(
                        InverseColourGreen(channels.At(0, x, y), c1, c2, 128), 0, 255);
                    const std::uint8_t* pixel = rows.Row(y) + 3 * std::size_t{x};
                    EXPECT_EQ(pixel[reversed ? 2 : 0], std::clamp<std::int64_t>(p1 + c2, 0, 255));
                    EXPECT_EQ(pixel[1], p1);
                    EXPECT_EQ(pixel[reversed ? 0 : 2], std::clamp<std::int64_t>(p1 + c1, 0, 255));
                }
        }
    }
}

// Three-byte colour rows in either channel order, on one thread and on several, against the
// colour transform pixel by pixel.
TEST(PixelExchangeExamples, ColourRowsImportThroughTheTransform) {
    std::mt19937 rng(6);
    for (const std::uint32_t width : {1u, 7u, 33u, 70u}) {
        const std::uint32_t height = 40;
        TestRows rows(3 * std::size_t{width}, height);
        for (std::uint32_t y = 0; y < height; ++y)
            for (std::size_t i = 0; i < 3 * std::size_t{width}; ++i)
                rows.Row(y)[i] = static_cast<std::uint8_t>(rng());
        for (const int threads : {1, 3}) {
            ChannelMap map;
            if (threads > 1) map.position = {2, 1, 0};
            TestChannels channels(ModeRGB, width, height, 3);
            ImportPixelRows(channels.image, rows.Bits(), rows.Pitch(), 24,
                            {&map, SampleAlignment::Top, nullptr, nullptr, threads});
            for (std::uint32_t y = 0; y < height; ++y)
                for (std::uint32_t x = 0; x < width; ++x) {
                    const std::uint8_t* pixel = rows.Row(y) + 3 * std::size_t{x};
                    const ColourChannels t = ForwardColourTransform(
                        pixel[map.position[0]], pixel[1], pixel[map.position[2]], 128);
                    ASSERT_EQ(channels.At(0, x, y), t.c0);
                    ASSERT_EQ(channels.At(1, x, y), t.c1);
                    ASSERT_EQ(channels.At(2, x, y), t.c2);
                }
        }
    }
}

TEST(PixelExchangeExamples, Gray32WordsWithBit31Set) {
    TestChannels channels(ModeGray32, 1, 1, 1, 31);
    const std::uint32_t word = 0xFFFFFFFF;
    ImportPixelRows(channels.image, reinterpret_cast<const std::uint8_t*>(&word), 4, 32);
    EXPECT_EQ(channels.At(0, 0, 0), (1 << 30) - 1);
}

struct ProgressLog {
    std::vector<double> fractions;
    std::size_t cancelAt = ~std::size_t{0};
    static bool Record(double fraction, bool escapeAllowed, void* data) {
        auto& log = *static_cast<ProgressLog*>(data);
        EXPECT_TRUE(escapeAllowed);
        log.fractions.push_back(fraction);
        return log.fractions.size() > log.cancelAt;
    }
};

TEST(PixelExchangeProgress, ImportReportsBeforeAndExportAfterEachRow) {
    TestChannels channels(ModeGray, 3, 4, 1);
    TestRows rows(3, 4, false, 7);
    ProgressLog log;
    const PixelExchange how{nullptr, SampleAlignment::Top, &ProgressLog::Record, &log};
    ImportPixelRows(channels.image, rows.Bits(), rows.Pitch(), 8, how);
    EXPECT_EQ(log.fractions, (std::vector<double>{0, 0.25, 0.5, 0.75}));
    log.fractions.clear();
    ExportPixelRows(channels.image, rows.Bits(), rows.Pitch(), 8, how);
    EXPECT_EQ(log.fractions, (std::vector<double>{0.25, 0.5, 0.75, 1}));
}

TEST(PixelExchangeProgress, CancelStopsBetweenRows) {
    TestChannels channels(ModeGray, 2, 3, 1);
    std::fill(channels.storage[0].begin(), channels.storage[0].end(), -999);
    TestRows rows(2, 3, false, 200);
    ProgressLog log;
    log.cancelAt = 0;
    const PixelExchange how{nullptr, SampleAlignment::Top, &ProgressLog::Record, &log};
    EXPECT_EQ(ErrorOf([&] { ImportPixelRows(channels.image, rows.Bits(), rows.Pitch(), 8, how); }),
              ErrorUserBreak);
    EXPECT_EQ(channels.At(0, 0, 0), -999); // cancelled before the first row was read

    log.fractions.clear();
    channels.storage[0].assign(6, 0);
    EXPECT_EQ(ErrorOf([&] { ExportPixelRows(channels.image, rows.Bits(), rows.Pitch(), 8, how); }),
              ErrorUserBreak);
    EXPECT_EQ(rows.Pixels(), (std::vector<std::uint8_t>{128, 128, 200, 200, 200, 200}));
}

// Deep modes narrowed into pixels with room for every component take bytes; pixels without
// that room, maps pointing past a pixel and layouts a mode does not have are refused, and a
// refused call touches nothing.
TEST(PixelExchangeLayouts, NarrowBuffersAreServedOrRefused) {
    TestChannels cmyk(ModeCMYK64, 3, 2, 4, 16);
    cmyk.At(0, 2, 1) = 0x1234 - 32768; // no chroma: three equal inks
    cmyk.At(3, 2, 1) = 0x48D0 - 32768;
    TestRows bytes(12, 2);
    ExportPixelRows(cmyk.image, bytes.Bits(), bytes.Pitch(), 32);
    EXPECT_TRUE(bytes.GuardsIntact());
    const std::uint8_t* pixel = bytes.Row(1) + 8;
    EXPECT_EQ(pixel[0], 0x12);
    EXPECT_EQ(pixel[1], 0x12);
    EXPECT_EQ(pixel[2], 0x12);
    EXPECT_EQ(pixel[3], 0x48);

    const auto refused = [](TestChannels& channels, std::uint32_t bitsPerPixel,
                            const ChannelMap* map = nullptr) {
        TestRows rows(8, 2);
        const PixelExchange how{map};
        const std::uint32_t exportError = ErrorOf(
            [&] { ExportPixelRows(channels.image, rows.Bits(), rows.Pitch(), bitsPerPixel, how); });
        const bool untouched = rows.Pixels() == std::vector<std::uint8_t>(16, kGuardByte);
        return exportError == ErrorWrongFormat && untouched;
    };
    TestChannels lab(ModeLab48, 3, 2, 3, 16);
    EXPECT_TRUE(refused(lab, 16));
    EXPECT_TRUE(refused(cmyk, 24));
    TestChannels rgb(ModeRGB, 2, 2, 3);
    ChannelMap pastThePixel;
    pastThePixel.position[2] = 3;
    EXPECT_TRUE(refused(rgb, 24, &pastThePixel));
    TestChannels bitmap(ModeBitmap, 8, 2, 1);
    EXPECT_TRUE(refused(bitmap, 8));
    TestChannels rgb12(ModeRGB12, 2, 2, 3);
    EXPECT_TRUE(refused(rgb12, 24));

    // RGB into 32-bit pixels writes three bytes and leaves the fourth alone.
    TestRows wide(8, 2);
    ExportPixelRows(rgb.image, wide.Bits(), wide.Pitch(), 32);
    EXPECT_EQ(wide.Row(0)[3], kGuardByte);
    EXPECT_EQ(wide.Row(0)[0], 128);
}

TEST(PixelExchangeLayouts, DescriptionsThatCannotBeServedAreRefused) {
    std::vector<std::uint8_t> rows(64, 0);
    const auto importError = [&](TestChannels& channels, std::uint32_t bitsPerPixel) {
        return ErrorOf([&] { ImportPixelRows(channels.image, rows.data(), 16, bitsPerPixel); });
    };
    // A header that turned mode 3 into ARGB but kept three channels has no alpha plane.
    TestChannels argb(ModeARGB, 2, 2, 3);
    EXPECT_EQ(importError(argb, 32), ErrorWrongFormat);
    TestChannels noDepth(ModeGray16, 2, 2, 1, 0);
    EXPECT_EQ(importError(noDepth, 16), ErrorWrongFormat);
    TestChannels tooDeep(ModeGray16, 2, 2, 1, 17);
    EXPECT_EQ(importError(tooDeep, 16), ErrorWrongFormat);
    TestChannels gray32(ModeGray32, 2, 2, 1, 31);
    EXPECT_EQ(importError(gray32, 16), ErrorWrongFormat);
    TestChannels smallPlane(ModeGray, 4, 2, 1);
    smallPlane.Resize(0, 3, 2);
    EXPECT_EQ(importError(smallPlane, 8), ErrorWrongFormat);
    TestChannels overlappingRows(ModeRGB, 6, 2, 3);
    EXPECT_EQ(importError(overlappingRows, 24), ErrorWrongFormat); // 18 bytes per 16-byte pitch
}

TEST(PixelExchangeLayouts, ModesWithoutExchangeDoNothing) {
    for (const std::uint8_t mode : {ModeMultichannel, ModeDuotone, ModeDeepMultichannel,
                                    ModeDuotone16, ModeReserved, ModeNotGiven}) {
        TestChannels channels(mode, 2, 2, 1);
        channels.image.planes[0].samples = nullptr;
        ImportPixelRows(channels.image, nullptr, 0, 8);
        ExportPixelRows(channels.image, nullptr, 0, 8);
    }
}

} // namespace
