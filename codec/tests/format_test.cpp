// The head records have a fixed little-endian byte layout, and header completion and the derived
// channel layout follow the mode table, including the cases that make a header invalid.
#include "image_mode.h"
#include "qvt_format.h"

#include <gtest/gtest.h>

TEST(FormatRecords, HeaderAndLeadInHaveTheirByteLayout) {
    QVTHeader header{0x04030201, 0x08070605, 9, 10, 11, 12, 13, 14, 0x100F};
    const auto bytes = StoreHeader(header);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        EXPECT_EQ(bytes[i], i + 1) << i;
    EXPECT_EQ(LoadHeader(bytes.data(), bytes.size()), header);

    QVTLeadIn leadIn;
    leadIn.headerSize = 0x11223344;
    const std::array<std::uint8_t, 8> expected{'Q', 'V', 'T', 0x76, 0x44, 0x33, 0x22, 0x11};
    EXPECT_EQ(StoreLeadIn(leadIn), expected);
}

TEST(FormatRecords, VersionNumberFollowsTheHighestFlag) {
    const std::pair<std::uint8_t, int> cases[] = {{0x76, 7}, {0x7E, 7}, {0x36, 6}, {0x16, 5},
                                                  {0x06, 2}, {0x04, 1}, {0x00, 1}, {0x41, 7}};
    for (const auto& [version, number] : cases)
        EXPECT_EQ(VersionNumber(version), number) << +version;
    EXPECT_EQ(MaxChannelDepth(0x76), 32);
    EXPECT_EQ(MaxChannelDepth(0x72), 16);
}

TEST(FormatRecords, SupportedModes) {
    for (int mode = 0; mode < 256; ++mode) {
        const bool supported = mode <= 6 || (mode >= 9 && mode <= 13) || (mode >= 17 && mode <= 20);
        EXPECT_EQ(IsModeSupported(mode), supported) << mode;
    }
}

struct Completion {
    std::uint8_t mode, bitsPerPixel, channels, usedBits;
    bool valid;
    std::uint8_t wantMode, wantBits, wantChannels, wantUsed;
};

void PrintTo(const Completion& c, std::ostream* out) {
    *out << "mode " << +c.mode << " bpp " << +c.bitsPerPixel << " channels " << +c.channels
         << " used " << +c.usedBits;
}

class HeaderCompletion : public testing::TestWithParam<Completion> {};

TEST_P(HeaderCompletion, DerivesAndChecks) {
    const Completion c = GetParam();
    QVTHeader header{10, 10, 1, 0, c.bitsPerPixel, c.channels, c.mode, c.usedBits, 0};
    ASSERT_EQ(CompleteHeader(header), c.valid);
    EXPECT_EQ(header.writerStamp, 0x0957);
    if (!c.valid) return;
    EXPECT_EQ(header.mode, c.wantMode);
    EXPECT_EQ(header.bitsPerPixel, c.wantBits);
    EXPECT_EQ(header.channels, c.wantChannels);
    EXPECT_EQ(header.usedBitsPerChannel, c.wantUsed);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HeaderCompletion,
    testing::Values(
        // mode from bits per pixel
        Completion{255, 32, 0, 0, true, 17, 32, 4, 8}, Completion{255, 1, 0, 0, true, 0, 1, 1, 1},
        Completion{255, 12, 0, 0, true, 19, 12, 3, 4}, Completion{255, 0, 0, 0, true, 3, 24, 3, 8},
        Completion{255, 7, 0, 0, false, 0, 0, 0, 0},
        // bits per pixel from mode, and the mode's check
        Completion{3, 32, 0, 0, true, 17, 32, 4, 8}, Completion{3, 32, 3, 0, true, 17, 32, 4, 8},
        Completion{3, 0, 0, 0, true, 3, 24, 3, 8}, Completion{13, 0, 0, 0, true, 13, 64, 4, 16},
        Completion{1, 16, 0, 0, false, 0, 0, 0, 0}, Completion{9, 32, 0, 0, false, 0, 0, 0, 0},
        Completion{0, 8, 0, 0, false, 0, 0, 0, 0},
        // modes that take the writer's word, but need a channel count
        Completion{7, 0, 0, 0, false, 0, 0, 0, 0}, Completion{7, 0, 2, 0, true, 7, 24, 2, 12},
        Completion{5, 40, 0, 0, false, 0, 0, 0, 0}, Completion{6, 40, 5, 0, true, 6, 40, 5, 8},
        Completion{40, 99, 3, 0, true, 40, 99, 3, 31},
        // used bits are kept when plausible, else the per-channel depth (at most 31)
        Completion{10, 16, 0, 12, true, 10, 16, 1, 12},
        Completion{10, 16, 0, 17, true, 10, 16, 1, 16},
        Completion{18, 32, 0, 0, true, 18, 32, 1, 31},
        Completion{18, 32, 0, 32, true, 18, 32, 1, 31},
        Completion{3, 24, 1, 0, true, 3, 24, 1, 24}));

TEST(ChannelLayout, ChromaIsHalvedAboveQuality3ForColourModes) {
    QVTHeader rgb{9, 6, 0, 4, 24, 3, ModeRGB, 8, 0};
    ChannelLayout layout = DeriveChannelLayout(rgb);
    EXPECT_TRUE(layout.chromaHalved);
    EXPECT_EQ(layout.quantisation, 3);
    EXPECT_EQ(layout.widths[0], 9u);
    EXPECT_EQ(layout.heights[0], 6u);
    for (int c : {1, 2}) {
        EXPECT_EQ(layout.widths[c], 5u);
        EXPECT_EQ(layout.heights[c], 3u);
    }
    EXPECT_EQ(layout.widths[3], 0u);

    rgb.quality = 3;
    layout = DeriveChannelLayout(rgb);
    EXPECT_FALSE(layout.chromaHalved);
    EXPECT_EQ(layout.quantisation, 3);
    EXPECT_EQ(layout.widths[2], 9u);

    QVTHeader argb{0xFFFFFFFF, 1, 0, 31, 32, 4, ModeARGB, 8, 0};
    layout = DeriveChannelLayout(argb);
    EXPECT_EQ(layout.quantisation, 30);
    EXPECT_EQ(layout.widths[3], 0x80000000u); // alpha is halved too
    EXPECT_EQ(layout.heights[3], 1u);

    for (std::uint8_t mode = 0; mode < kImageModeCount; ++mode) {
        const QVTHeader header{8, 8, 0, 5, 0, 4, mode, 0, 0};
        const bool halved = mode == 3 || mode == 4 || mode == 9 || mode == 11 || mode == 12 ||
                            mode == 13 || mode == 17;
        EXPECT_EQ(DeriveChannelLayout(header).chromaHalved, halved) << +mode;
    }
}
