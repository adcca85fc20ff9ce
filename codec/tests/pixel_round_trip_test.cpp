// Import then export gives back the exact pixels in every mode the codec exchanges: for tiny
// and odd sizes, every sample depth of the deep modes in both word alignments, and top-down
// as well as bottom-up buffers, and nothing is ever written past a row.
#include "channel_test_image.h"
#include "pixel_export.h"
#include "pixel_import.h"
#include "test_pixels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

struct Size {
    std::uint32_t width;
    std::uint32_t height;
};

constexpr Size kSizes[] = {{1, 1}, {5, 7}, {33, 17}, {2, 1}, {1, 3}};

class RoundTrip : public testing::TestWithParam<ModeLayout> {};

TEST_P(RoundTrip, ImportThenExportGivesBackEveryPixel) {
    const ModeLayout layout = GetParam();
    std::mt19937 rng(layout.mode * 7919u);
    for (const Size size : kSizes)
        for (const std::uint8_t b : DepthsOf(layout.mode))
            for (const SampleAlignment alignment : {SampleAlignment::Top, SampleAlignment::Low})
                for (const bool bottomUp : {false, true}) {
                    SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height) +
                                 " b=" + std::to_string(b) +
                                 (alignment == SampleAlignment::Low ? " low" : " top") +
                                 (bottomUp ? " bottom-up" : " top-down"));
                    const std::size_t rowBytes = RowBytes(layout, size.width);
                    TestRows source(rowBytes, size.height, bottomUp);
                    for (std::uint32_t y = 0; y < size.height; ++y)
                        FillRow(layout, size.width, b, alignment, rng, source.Row(y));

                    TestChannels channels(layout.mode, size.width, size.height, layout.channels, b);
                    PixelExchange how;
                    how.alignment = alignment;
                    ImportPixelRows(channels.image, source.Bits(), source.Pitch(),
                                    layout.bitsPerPixel, how);

                    TestRows target(rowBytes, size.height, bottomUp, 0x5A);
                    ExportPixelRows(channels.image, target.Bits(), target.Pitch(),
                                    layout.bitsPerPixel, how);

                    ASSERT_EQ(target.Pixels(), source.Pixels());
                    ASSERT_TRUE(target.GuardsIntact());
                }
}

std::string ModeName(const testing::TestParamInfo<ModeLayout>& info) {
    return "Mode" + std::to_string(info.param.mode);
}

INSTANTIATE_TEST_SUITE_P(EveryExchangedMode, RoundTrip, testing::ValuesIn(kModes), ModeName);

// Every 5-6-5 word survives, not only random ones: red and blue are widened and narrowed.
TEST(RoundTripRgb16, EveryWord) {
    TestChannels channels(ModeRGB16, 256, 256, 3);
    TestRows source(512, 256);
    for (std::uint32_t y = 0; y < 256; ++y)
        for (std::uint32_t x = 0; x < 256; ++x) {
            const std::uint16_t word = static_cast<std::uint16_t>(y << 8 | x);
            std::memcpy(source.Row(y) + 2 * x, &word, 2);
        }
    ImportPixelRows(channels.image, source.Bits(), source.Pitch(), 16);
    TestRows target(512, 256);
    ExportPixelRows(channels.image, target.Bits(), target.Pitch(), 16);
    EXPECT_EQ(target.Pixels(), source.Pixels());
}

} // namespace
