// Proves CopyRect and EqualRect for every mode against a per-pixel oracle: rectangles partly
// outside either map, maps at other positions, packed modes at odd pixel offsets, and maps over
// bottom-up caller memory whose neighbouring bytes must stay untouched.
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

struct CopyCase {
    PixRect sourceMap, sourceRect, targetMap, targetRect;
};

const CopyCase kCases[] = {
    {{0, 0, 9, 5}, {0, 0, 9, 5}, {0, 0, 9, 5}, {0, 0, 9, 5}},          // whole map
    {{0, 0, 13, 7}, {3, 1, 10, 6}, {0, 0, 11, 9}, {1, 2, 8, 7}},       // odd offsets
    {{10, 20, 23, 27}, {5, 18, 15, 30}, {0, 0, 9, 6}, {3, 1, 20, 20}}, // sticking out
    {{0, 0, 5, 5}, {2, 2, 4, 4}, {100, 100, 105, 103}, {103, 101, 105, 103}},
};

// Toggles the lowest bit of the first unit of pixel (x, y).
void TogglePixel(CPixMap& map, std::uint32_t x, std::uint32_t y) {
    std::uint8_t* row = map.Row(y);
    if (map.GetMode() == ModeBitmap)
        row[x / 8] ^= static_cast<std::uint8_t>(0x80 >> (x % 8));
    else if (map.GetMode() == ModeRGB12)
        row[3 * x / 2] ^= static_cast<std::uint8_t>(3 * x % 2 ? 0x10 : 0x01);
    else
        row[x * map.BitsPerPixel() / 8] ^= 1;
}

// The source pixel (buffer coordinates) that lands on target pixel (bx, by), if any.
std::optional<std::pair<std::uint32_t, std::uint32_t>> Origin(const CopyCase& c, std::uint32_t bx,
                                                              std::uint32_t by) {
    const std::int64_t x = std::int64_t{c.targetMap.left} + bx;
    const std::int64_t y = std::int64_t{c.targetMap.top} + by;
    if (x < c.targetRect.left || x >= c.targetRect.right || y < c.targetRect.top ||
        y >= c.targetRect.bottom)
        return std::nullopt;
    const std::int64_t sx = c.sourceRect.left + (x - c.targetRect.left);
    const std::int64_t sy = c.sourceRect.top + (y - c.targetRect.top);
    if (sx >= c.sourceRect.right || sy >= c.sourceRect.bottom || sx < c.sourceMap.left ||
        sx >= c.sourceMap.right || sy < c.sourceMap.top || sy >= c.sourceMap.bottom)
        return std::nullopt;
    return std::pair{static_cast<std::uint32_t>(sx - c.sourceMap.left),
                     static_cast<std::uint32_t>(sy - c.sourceMap.top)};
}

void CheckCopy(const CopyCase& c, const CPixMap& source, CPixMap& target, const char* what) {
    const auto before =
        CreatePixMap(PixRect{0, 0, target.Width(), target.Height()}, target.GetMode());
    target.CopyRect(target.Rect(), *before, before->Rect());
    source.CopyRect(c.sourceRect, target, c.targetRect);
    std::optional<std::pair<std::uint32_t, std::uint32_t>> firstCopied;
    for (std::uint32_t by = 0; by < target.Height(); ++by)
        for (std::uint32_t bx = 0; bx < target.Width(); ++bx) {
            const auto origin = Origin(c, bx, by);
            const auto expected = origin ? PixelValues(source, origin->first, origin->second)
                                         : PixelValues(*before, bx, by);
            ASSERT_EQ(PixelValues(target, bx, by), expected)
                << what << " " << ImageModeName(source.GetMode()) << " at " << bx << "," << by;
            if (origin && !firstCopied) firstCopied = std::pair{bx, by};
        }
    ASSERT_TRUE(firstCopied);
    EXPECT_TRUE(source.EqualRect(c.sourceRect, target, c.targetRect));
    TogglePixel(target, firstCopied->first, firstCopied->second);
    EXPECT_FALSE(source.EqualRect(c.sourceRect, target, c.targetRect))
        << ImageModeName(source.GetMode());
}

} // namespace

TEST(CopyRect, CopiesExactlyTheClippedPixelsOfEveryMode) {
    std::uint32_t seed = 1;
    for (const std::uint32_t mode : kPixMapModes) {
        if (mode == ModeIndexed) continue; // its color-table rule has its own tests
        for (const CopyCase& c : kCases) {
            const auto source = CreatePixMap(c.sourceMap, mode);
            const auto target = CreatePixMap(c.targetMap, mode);
            Randomize(*source, ++seed);
            Randomize(*target, ++seed);
            CheckCopy(c, *source, *target, "owned");
        }
    }
}

TEST(CopyRect, WorksOnBottomUpCallerMemory) {
    std::uint32_t seed = 100;
    for (const std::uint32_t mode : kPixMapModes) {
        if (mode == ModeIndexed) continue;
        const CopyCase c{{0, 0, 13, 7}, {3, 1, 10, 6}, {0, 0, 11, 9}, {1, 2, 8, 7}};
        BottomUpMap source(mode, 13, 7), target(mode, 11, 9);
        Randomize(*source.map, ++seed);
        Randomize(*target.map, ++seed);
        CheckCopy(c, *source.map, *target.map, "bottom-up");
        EXPECT_TRUE(target.GuardsIntact()) << ImageModeName(mode);
    }
}

TEST(CopyRect, NothingHappensForAnotherModeTheSameBufferOrAnEmptyRectangle) {
    const auto source = RandomMap(ModeRGB, 4, 4, 1);
    const auto gray = RandomMap(ModeGray, 4, 4, 2);
    const auto grayBefore = RandomMap(ModeGray, 4, 4, 2);
    source->CopyRect(source->Rect(), *gray, gray->Rect());
    EXPECT_TRUE(SamePixels(*gray, *grayBefore));

    std::vector<std::uint8_t> memory(4 * 12);
    const auto alias = AttachPixMap(4, 4, ModeRGB, memory.data(), 12);
    const auto sameBuffer = AttachPixMap(4, 4, ModeRGB, memory.data(), 12);
    memory[0] = 7;
    alias->CopyRect(PixRect{1, 0, 2, 1}, *sameBuffer, PixRect{0, 0, 1, 1});
    EXPECT_EQ(memory[0], 7);

    const auto target = RandomMap(ModeRGB, 4, 4, 3);
    const auto targetBefore = RandomMap(ModeRGB, 4, 4, 3);
    source->CopyRect(PixRect{3, 0, 1, 4}, *target, target->Rect()); // inverted
    source->CopyRect(PixRect{1, 1, 1, 3}, *target, target->Rect()); // empty
    EXPECT_TRUE(SamePixels(*target, *targetBefore));
    EXPECT_FALSE(source->EqualRect(PixRect{3, 0, 1, 4}, *target, target->Rect()));
    EXPECT_FALSE(source->EqualRect(source->Rect(), *gray, gray->Rect()));
}
