// Proves that maps over bottom-up caller memory (negative stride) behave like owned top-down maps
// in every operation that reads or writes rows: comparison, uniformity, PSNR, channel extraction,
// resampling from them, table sorting and display-image building.
#include "color_table.h"
#include "display_image.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A bottom-up map holding the same pixels (and table) as `owned`.
std::unique_ptr<BottomUpMap> BottomUpCopy(const CPixMap& owned) {
    auto copy = std::make_unique<BottomUpMap>(owned.GetMode(), owned.Width(), owned.Height());
    owned.CopyRect(owned.Rect(), *copy->map, copy->map->Rect());
    return copy;
}

} // namespace

TEST(BottomUp, EveryOperationSeesTheSamePixelsAsOnOwnedRows) {
    std::uint32_t seed = 0;
    for (const std::uint32_t mode : kPixMapModes) {
        const auto owned = RandomMap(mode, 9, 5, ++seed);
        const auto bottomUp = BottomUpCopy(*owned);
        CPixMap& flipped = *bottomUp->map;
        const char* name = ImageModeName(mode);
        ASSERT_TRUE(SamePixels(*owned, flipped)) << name;
        EXPECT_TRUE(owned->EqualRect(owned->Rect(), flipped, flipped.Rect())) << name;

        std::vector<double> channels;
        EXPECT_EQ(owned->ComputePSNR(flipped, channels), -1) << name;
        EXPECT_EQ(owned->IsUniform(PixRect{2, 1, 7, 4}), flipped.IsUniform(PixRect{2, 1, 7, 4}));

        const auto grayOwned = CreatePixMap(owned->Rect(), ModeGray);
        BottomUpMap grayFlipped(ModeGray, 9, 5);
        owned->ExtractChannel(owned->GetChannels() - 1, *grayOwned);
        flipped.ExtractChannel(flipped.GetChannels() - 1, *grayFlipped.map);
        EXPECT_TRUE(SamePixels(*grayOwned, *grayFlipped.map)) << name;

        const auto fromOwned = CreatePixMap(PixRect{0, 0, 4, 7}, mode);
        const auto fromFlipped = CreatePixMap(PixRect{0, 0, 4, 7}, mode);
        owned->StretchRect(owned->Rect(), *fromOwned, fromOwned->Rect());
        flipped.StretchRect(flipped.Rect(), *fromFlipped, fromFlipped->Rect());
        EXPECT_TRUE(SamePixels(*fromOwned, *fromFlipped)) << name;

        const auto imageOwned = BuildDisplayImage(*owned);
        const auto imageFlipped = BuildDisplayImage(flipped);
        const std::size_t bytes = std::size_t(imageOwned->Pitch()) * imageOwned->Height();
        EXPECT_EQ(std::memcmp(imageOwned->TopRow(), imageFlipped->TopRow(), bytes), 0) << name;
        EXPECT_TRUE(bottomUp->GuardsIntact()) << name;
    }
}

TEST(BottomUp, SortingTheTableRemapsEveryRow) {
    const auto owned = RandomMap(ModeIndexed, 7, 4, 77);
    const auto bottomUp = BottomUpCopy(*owned);
    SortColorTable(*owned);
    SortColorTable(*bottomUp->map);
    EXPECT_TRUE(SamePixels(*owned, *bottomUp->map));
    EXPECT_TRUE(bottomUp->GuardsIntact());
}
