// The automatic codec choice: modes PNG cannot hold always go to the wavelet codec; bitmaps,
// palettes and tiles of fewer than 3 rows always to PNG; quality 10 and up always to the
// wavelet codec; in between PNG wins exactly when it compresses the sampled rows well enough,
// so the choice falls monotonically from PNG to wavelet as the quality (the loss) grows, and it
// does not depend on the C library's random generator.
#include "tile_codec_choice.h"
#include "tile_test_support.h"

#include <cstdlib>
#include <random>

namespace {

std::unique_ptr<CPixMap> FlatMap(std::uint8_t mode, std::uint32_t width, std::uint32_t height) {
    const std::uint8_t color[8] = {0x40, 0x80, 0xC0, 0x20, 0x10, 0x30, 0x50, 0x70};
    return CreatePixMap(PixRect{0, 0, width, height}, mode, color, 8);
}

// Rows whose bytes repeat a short random pattern: PNG compresses them by the period's factor.
std::unique_ptr<CPixMap> PeriodicMap(std::uint32_t period, std::uint32_t seed) {
    auto map = CreatePixMap(PixRect{0, 0, 64, 40}, ModeRGB);
    std::mt19937 random(seed);
    std::vector<std::uint8_t> pattern(period);
    for (std::uint8_t& byte : pattern)
        byte = static_cast<std::uint8_t>(random());
    for (std::uint32_t y = 0; y < map->Height(); ++y)
        for (std::uint32_t i = 0; i < 64 * 3; ++i)
            map->Row(y)[i] = pattern[(i + y) % period];
    return map;
}

KLD::TileCodecKind Choose(const CPixMap& map, std::uint8_t quality) {
    return KLD::ChooseTileCodec(map.GetBits(), map.Stride(), HeaderOf(map, quality));
}

// Choices made without a trial: modes PNG cannot hold, bitmaps, palettes, short tiles, and
// quality numbers from 10 up.
TEST(ChooseTileCodec, FixedChoices) {
    for (const std::uint8_t mode :
         {ModeCMYK, ModeLab, ModeLab48, ModeCMYK64, ModeGray32, ModeRGB12, ModeRGB16}) {
        EXPECT_EQ(Choose(*FlatMap(mode, 16, 16), 0), KLD::KindWavelet) << +mode;
        EXPECT_EQ(Choose(*FlatMap(mode, 16, 2), 0), KLD::KindWavelet) << +mode;
    }
    for (const std::uint8_t quality : {0, 9, 10, 200}) {
        EXPECT_EQ(Choose(*RandomMap(ModeBitmap, 40, 40, 1), quality), KLD::KindPng);
        EXPECT_EQ(Choose(*RandomMap(ModeIndexed, 40, 40, 2), quality), KLD::KindPng);
        for (const std::uint32_t height : {1u, 2u})
            EXPECT_EQ(Choose(*RandomMap(ModeRGB, 40, height, 3), quality), KLD::KindPng);
    }
    for (const std::uint8_t mode : {ModeGray, ModeRGB, ModeGray16, ModeRGB48, ModeARGB})
        for (const std::uint8_t quality : {10, 11, 31, 255})
            EXPECT_EQ(Choose(*FlatMap(mode, 32, 32), quality), KLD::KindWavelet) << +mode;
}

TEST(ChooseTileCodec, CompressibleTilesStayLosslessAndNoiseDoesNot) {
    for (const std::uint8_t mode : {ModeGray, ModeRGB, ModeGray16, ModeRGB48, ModeARGB}) {
        SCOPED_TRACE(ImageModeName(mode));
        EXPECT_EQ(Choose(*FlatMap(mode, 64, 64), 0), KLD::KindPng);
        EXPECT_EQ(Choose(*RandomMap(mode, 64, 64, mode), 0), KLD::KindWavelet);
    }
}

TEST(ChooseTileCodec, PngLosesGroundMonotonicallyAsTheQualityNumberGrows) {
    int sawBoth = 0;
    for (const std::uint32_t period : {1u, 2u, 3u, 5u, 7u, 12u, 24u, 48u, 96u, 192u}) {
        const auto map = PeriodicMap(period, period);
        bool wavelet = false;
        bool png = false;
        for (std::uint8_t quality = 0; quality < 10; ++quality) {
            const KLD::TileCodecKind kind = Choose(*map, quality);
            if (wavelet) {
                EXPECT_EQ(kind, KLD::KindWavelet) << period << " q" << +quality;
            }
            wavelet = wavelet || kind == KLD::KindWavelet;
            png = png || kind == KLD::KindPng;
        }
        sawBoth += png && wavelet;
    }
    EXPECT_GT(sawBoth, 2); // the table really separates tiles at several qualities
}

// The sampled rows never include the first or the last one, and which rows are drawn is fixed:
// the C library's generator, whatever its state, plays no part.
TEST(ChooseTileCodec, SamplingIsFixedAndStaysOffTheEdgeRows) {
    auto edges = FlatMap(ModeRGB, 64, 40);
    Randomize(*edges, 7);
    const auto flat = FlatMap(ModeRGB, 64, 40);
    for (std::uint32_t y = 1; y + 1 < 40; ++y)
        flat->CopyRect(PixRect{0, y, 64, y + 1}, *edges, PixRect{0, y, 64, y + 1});
    ASSERT_EQ(Choose(*flat, 0), KLD::KindPng);
    EXPECT_EQ(Choose(*edges, 0), KLD::KindPng);

    auto mixed = PeriodicMap(24, 5);
    const auto noise = RandomMap(ModeRGB, 64, 40, 8);
    for (std::uint32_t y = 0; y < 40; y += 2)
        noise->CopyRect(PixRect{0, y, 64, y + 1}, *mixed, PixRect{0, y, 64, y + 1});
    std::vector<KLD::TileCodecKind> choices;
    for (const unsigned seed : {1u, 2u, 12345u}) {
        std::srand(seed);
        for (int i = 0; i < 5; ++i)
            std::rand();
        for (std::uint8_t quality = 0; quality < 10; ++quality)
            choices.push_back(Choose(*mixed, quality));
    }
    for (std::size_t i = 10; i < choices.size(); ++i)
        EXPECT_EQ(choices[i], choices[i % 10]) << i;
}

} // namespace
