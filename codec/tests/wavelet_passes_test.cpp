// The per-channel passes: a plane rebuilt by the inverse passes codes to the same bands again
// (the forward pass copies a plane that still belongs to a pyramid), and a failed channel's code
// is reported, not thrown. Thread counts are covered end to end by the image tests.
#include "qvt_error.h"
#include "test_samples.h"
#include "wavelet_passes.h"
#include "wavelet_test_util.h"

#include <gtest/gtest.h>

namespace {

constexpr int kLevels = 3;

struct Plane {
    std::uint32_t width;
    std::uint32_t height;
    std::vector<std::int32_t> samples;
};

std::vector<Plane> RandomPlanes() {
    std::mt19937 random(31);
    std::vector<Plane> planes;
    for (auto [w, h] : {std::pair{61u, 47u}, std::pair{31u, 24u}, std::pair{31u, 24u},
                        std::pair{20u, 33u}, std::pair{9u, 9u}}) {
        planes.push_back({w, h, RandomSamples(std::size_t{w} * h, random)});
    }
    return planes;
}

std::vector<ChannelPlane> Channels(const std::vector<Plane>& planes) {
    std::vector<ChannelPlane> channels(planes.size());
    for (std::size_t c = 0; c < planes.size(); ++c) {
        channels[c].width = planes[c].width;
        channels[c].height = planes[c].height;
        channels[c].ownedData = ToBuffer(planes[c].samples);
        channels[c].data = channels[c].ownedData.get();
    }
    return channels;
}

// Every coded band of every channel, in coding order.
std::vector<std::vector<std::int32_t>> CodedBands(const std::vector<ChannelPlane>& channels) {
    std::vector<std::vector<std::int32_t>> bands;
    for (const ChannelPlane& channel : channels) {
        const CWaveletPyramid& pyramid = *channel.pyramid;
        bands.push_back(BandSamples(pyramid.Band(kLevels, BandOrientation::LL)));
        for (int level = kLevels; level >= 1; --level)
            for (auto o : {BandOrientation::HL, BandOrientation::LH, BandOrientation::HH})
                bands.push_back(BandSamples(pyramid.Band(level, o)));
    }
    return bands;
}

TEST(WaveletPasses, ForwardAfterReadingWorksOnACopyOfThePlane) {
    const auto planes = RandomPlanes();
    auto written = Channels(planes);
    ASSERT_EQ(RunForwardPass(written, kLevels, 2, 2), 0u);

    // A rebuilt plane lives in its pyramid; writing it again must not lose it with the pyramid.
    auto reread = Channels(planes);
    ASSERT_EQ(RunForwardPass(reread, kLevels, 0, 2), 0u);
    for (int level = kLevels; level >= 1; --level)
        ASSERT_EQ(RunInversePass(reread, level, 2), 0u);
    ASSERT_EQ(RunForwardPass(reread, kLevels, 2, 2), 0u);
    EXPECT_EQ(CodedBands(reread), CodedBands(written));
}

TEST(WaveletPasses, FailedChannelReportsOutOfMemory) {
    for (int threads : {1, 2}) {
        auto channels = Channels(RandomPlanes());
        // A plane owned by a pyramid is copied first; this copy's size overflows 64-bit bytes.
        ChannelPlane& huge = channels[1];
        huge.pyramid = std::make_unique<CWaveletPyramid>(1, 1, 0, std::move(huge.ownedData));
        huge.data = huge.pyramid->Band(0, BandOrientation::LL).data.get();
        huge.width = 0xFFFFFFFFu;
        huge.height = 0xFFFFFFFFu;
        EXPECT_EQ(RunForwardPass(channels, kLevels, 0, threads), ErrorOutOfMemory);
    }
}

TEST(WaveletPasses, ChannelWithoutAPlaneIsRefused) {
    auto transformed = Channels(RandomPlanes());
    ASSERT_EQ(RunForwardPass(transformed, kLevels, 0, 2), 0u);
    EXPECT_EQ(RunForwardPass(transformed, kLevels, 0, 2), ErrorWrongFormat);

    auto empty = Channels(RandomPlanes());
    empty[2].ownedData.reset();
    empty[2].data = nullptr;
    EXPECT_EQ(RunForwardPass(empty, kLevels, 0, 1), ErrorWrongFormat);
}

TEST(WaveletPasses, RejectedLevelCountIsReportedNotThrown) {
    auto channels = Channels(RandomPlanes());
    EXPECT_EQ(RunForwardPass(channels, 31, 0, 2), ErrorWrongFormat);
}

} // namespace
