// Chroma reduction equals a direct 2 x 2 averaging for every small odd and even size, also on
// padded planes and extreme samples; and a region export, with halved chroma at odd origins
// too, equals the same crop of the whole export.
#include "channel_test_image.h"
#include "chroma_reduction.h"
#include "error_of.h"
#include "export_area.h"
#include "pixel_export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

// The mean of the samples a 2 x 2 block actually has: 4, 2 or 1 of them.
std::vector<std::int32_t> DirectReduction(const std::vector<std::int32_t>& samples,
                                          std::uint32_t width, std::uint32_t height,
                                          std::uint32_t stride) {
    std::vector<std::int32_t> reduced;
    for (std::uint32_t j = 0; j < (height + 1) / 2; ++j)
        for (std::uint32_t i = 0; i < (width + 1) / 2; ++i) {
            std::int64_t sum = 0;
            int count = 0;
            for (std::uint32_t y = 2 * j; y < std::min(height, 2 * j + 2); ++y)
                for (std::uint32_t x = 2 * i; x < std::min(width, 2 * i + 2); ++x, ++count)
                    sum += samples[std::size_t{y} * stride + x];
            const int shift = count == 4 ? 2 : count == 2 ? 1 : 0;
            reduced.push_back(static_cast<std::int32_t>(sum >> shift));
        }
    return reduced;
}

TEST(ChromaReduction, EqualsDirectAveragingForEverySmallSize) {
    std::mt19937 rng(17);
    for (std::uint32_t height = 1; height <= 7; ++height)
        for (std::uint32_t width = 1; width <= 7; ++width)
            for (const std::uint32_t padding : {0u, 3u})
                for (const bool extreme : {false, true}) {
                    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) +
                                 " padding " + std::to_string(padding));
                    const std::uint32_t stride = width + padding;
                    std::vector<std::int32_t> samples(std::size_t{stride} * height);
                    for (auto& s : samples)
                        s = extreme ? (rng() & 1 ? std::numeric_limits<std::int32_t>::max()
                                                 : std::numeric_limits<std::int32_t>::min())
                                    : static_cast<std::int32_t>(rng() % 2001) - 1000;
                    const auto expected = DirectReduction(samples, width, height, stride);

                    SamplePlane plane{samples.data(), width, height, stride};
                    ReduceChroma(plane);
                    EXPECT_EQ(plane.width, (width + 1) / 2);
                    EXPECT_EQ(plane.height, (height + 1) / 2);
                    EXPECT_EQ(plane.stride, plane.width);
                    samples.resize(std::size_t{plane.width} * plane.height);
                    EXPECT_EQ(samples, expected);
                }
}

TEST(ChromaReduction, OnlyChromaChannelsOfHalvingImages) {
    TestChannels channels(ModeRGB, 3, 3, 3);
    for (auto& plane : channels.storage)
        std::iota(plane.begin(), plane.end(), 0);
    ReduceChromaChannels(channels.image);
    EXPECT_EQ(channels.image.planes[1].width, 3u); // not halving: untouched

    channels.image.chromaHalved = true;
    ReduceChromaChannels(channels.image);
    EXPECT_EQ(channels.image.planes[0].width, 3u);
    for (int c = 1; c < 3; ++c) {
        EXPECT_EQ(channels.image.planes[c].width, 2u);
        EXPECT_EQ(channels.image.planes[c].height, 2u);
        EXPECT_EQ(channels.At(c, 0, 0), (0 + 1 + 3 + 4) >> 2);
        EXPECT_EQ(channels.At(c, 1, 1), 8);
    }
}

struct RegionCase {
    std::uint8_t mode;
    int channels;
    std::uint32_t bitsPerPixel;
    std::uint8_t sampleBits;
    bool halved;
};

constexpr RegionCase kRegionCases[] = {
    {ModeRGB, 3, 24, 0, true},    {ModeCMYK, 4, 32, 0, true},    {ModeLab, 3, 24, 0, true},
    {ModeRGB48, 3, 48, 12, true}, {ModeCMYK64, 4, 64, 16, true}, {ModeGray16, 1, 16, 10, false},
    {ModeRGB, 3, 24, 0, false},   {ModeRGB16, 3, 16, 0, false},
};

constexpr std::uint32_t kWidth = 13;
constexpr std::uint32_t kHeight = 11;

// Region reads decode tile-aligned areas; here they start at the region rounded down to 4
// samples (2 for halved chroma), so the plane handed over starts before the region.
std::uint32_t AlignedStart(std::uint32_t position) { return position & ~3u; }

class RegionExport : public testing::TestWithParam<RegionCase> {};

TEST_P(RegionExport, EqualsTheCropOfTheWholeExport) {
    const RegionCase setup = GetParam();
    std::mt19937 rng(setup.mode);
    TestChannels whole(setup.mode, kWidth, kHeight, setup.channels, setup.sampleBits, setup.halved);
    const int spread = setup.sampleBits > 8 ? 1 << setup.sampleBits : 256;
    for (auto& plane : whole.storage)
        for (auto& s : plane)
            s = static_cast<std::int32_t>(rng() % spread) - spread / 2;
    const std::size_t pixelBytes = setup.bitsPerPixel / 8;
    TestRows reference(kWidth * pixelBytes, kHeight);
    ExportPixelRows(whole.image, reference.Bits(), reference.Pitch(), setup.bitsPerPixel);

    for (const RegionRect region :
         {RegionRect{1, 1, 4, 4}, RegionRect{3, 5, 12, 11}, RegionRect{0, 0, 5, 2},
          RegionRect{7, 9, 8, 10}, RegionRect{5, 2, 13, 3}, RegionRect{2, 3, 13, 11}}) {
        SCOPED_TRACE(std::to_string(region.left) + "," + std::to_string(region.top));
        ChannelImage decoded = whole.image;
        std::array<PlaneOrigin, kMaxChannels> decodedTopLeft{};
        for (int c = 0; c < setup.channels; ++c) {
            const bool halved = setup.halved && c >= 1;
            const PlaneOrigin start{AlignedStart(halved ? region.left >> 1 : region.left),
                                    AlignedStart(halved ? region.top >> 1 : region.top)};
            SamplePlane& plane = decoded.planes[c];
            plane.samples += std::size_t{start.row} * plane.stride + start.column;
            plane.width -= start.column;
            plane.height -= start.row;
            decodedTopLeft[c] = start;
        }
        const ExportArea area = RegionExportArea(decoded, region, decodedTopLeft);
        TestRows rows(area.width * pixelBytes, area.height);
        ExportPixelRows(decoded, rows.Bits(), rows.Pitch(), setup.bitsPerPixel, {}, &area);
        ASSERT_TRUE(rows.GuardsIntact());
        for (std::uint32_t y = 0; y < area.height; ++y) {
            const std::uint8_t* crop = reference.Row(region.top + y) + region.left * pixelBytes;
            ASSERT_EQ(std::vector<std::uint8_t>(rows.Row(y), rows.Row(y) + rows.rowBytes),
                      std::vector<std::uint8_t>(crop, crop + rows.rowBytes))
                << "row " << y;
        }
    }
}

std::string CaseName(const testing::TestParamInfo<RegionCase>& info) {
    return "Mode" + std::to_string(info.param.mode) + (info.param.halved ? "Halved" : "Full");
}

INSTANTIATE_TEST_SUITE_P(ExportModes, RegionExport, testing::ValuesIn(kRegionCases), CaseName);

TEST(RegionExportArea, WholeEmptyAndMisplacedRegions) {
    TestChannels channels(ModeRGB, 8, 6, 3, 0, true);
    const std::array<PlaneOrigin, kMaxChannels> origin{};
    const ExportArea whole = RegionExportArea(channels.image, {0, 0, 9, 6}, origin);
    EXPECT_EQ(whole.width, 8u);
    EXPECT_EQ(whole.height, 6u);
    EXPECT_EQ(whole.left, 0u);

    const auto error = [&](RegionRect region, std::array<PlaneOrigin, kMaxChannels> start) {
        return ErrorOf([&] { RegionExportArea(channels.image, region, start); });
    };
    EXPECT_EQ(error({4, 2, 4, 5}, origin), ErrorWrongFormat);
    EXPECT_EQ(error({4, 5, 6, 2}, origin), ErrorWrongFormat);
    std::array<PlaneOrigin, kMaxChannels> late{};
    late[1] = {3, 0};
    EXPECT_EQ(error({4, 2, 6, 5}, late), ErrorWrongFormat); // chroma column 2 < 3

    // An area that reaches past a plane is refused by the export, not read.
    ExportArea beyond = RegionExportArea(channels.image, {4, 2, 8, 5}, origin);
    beyond.origins[0].column = 5;
    TestRows rows(12, 3);
    EXPECT_THROW(ExportPixelRows(channels.image, rows.Bits(), rows.Pitch(), 24, {}, &beyond),
                 IOException);
    EXPECT_EQ(rows.Pixels(), std::vector<std::uint8_t>(36, kGuardByte));
}

} // namespace
