// The sample orders of the block stream: the 8 × 8 walk equals an independent sort by
// (piece, block, row, column) for every small window shape, and the interleaved walk of old
// files visits every HL and LH sample once, in the order of a worked example.
#include "band_order.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <tuple>
#include <vector>

namespace {

std::vector<std::uint64_t> Walk8x8(std::uint32_t width, std::uint32_t height,
                                   std::uint64_t startPos, std::uint64_t pitch) {
    std::vector<std::uint64_t> order;
    ForEachSpanIn8x8Order(width, height, startPos, pitch,
                          [&](std::uint64_t index, std::uint32_t count) {
                              for (std::uint32_t i = 0; i < count; ++i)
                                  order.push_back(index + i);
                          });
    return order;
}

// Full block rows first (blocks left to right, then the leftover-column strip), then the
// leftover rows block by block, then the corner; row by row inside each piece.
std::vector<std::uint64_t> Sorted8x8(std::uint32_t width, std::uint32_t height,
                                     std::uint64_t startPos, std::uint64_t pitch) {
    const std::uint32_t fullColumns = width / 8 * 8;
    const std::uint32_t fullRows = height / 8 * 8;
    using Key = std::tuple<int, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t>;
    std::vector<std::pair<Key, std::uint64_t>> samples;
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint32_t blockColumn = x < fullColumns ? x / 8 : width;
            const Key key =
                y < fullRows ? Key{0, y / 8, blockColumn, y, x} : Key{1, 0, blockColumn, y, x};
            samples.emplace_back(key, startPos + y * pitch + x);
        }
    std::sort(samples.begin(), samples.end());
    std::vector<std::uint64_t> order;
    for (const auto& sample : samples)
        order.push_back(sample.second);
    return order;
}

} // namespace

TEST(BandOrder, EightByEightWalkMatchesTheSortedOrder) {
    for (std::uint32_t width = 0; width <= 19; ++width)
        for (std::uint32_t height = 0; height <= 19; ++height)
            ASSERT_EQ(Walk8x8(width, height, 7, width + 3), Sorted8x8(width, height, 7, width + 3))
                << width << " x " << height;
}

TEST(BandOrder, InterleavedWalkOfAnOddLevel) {
    // A 5 × 5 level: HL is 2 × 3, LH is 3 × 2.
    std::vector<std::pair<char, std::uint64_t>> order;
    ForEachInterleavedPair(
        2, 3, 3, 2,
        [&](std::uint64_t hl, std::uint64_t lh) {
            order.emplace_back('H', hl);
            order.emplace_back('L', lh);
        },
        [&](std::uint64_t lh) { order.emplace_back('L', lh); },
        [&](std::uint64_t hl) { order.emplace_back('H', hl); });
    const std::vector<std::pair<char, std::uint64_t>> expected = {
        {'H', 0}, {'L', 0}, {'H', 1}, {'L', 1}, {'L', 2}, // row 0 and the extra LH column
        {'H', 2}, {'L', 3}, {'H', 3}, {'L', 4}, {'L', 5}, // row 1
        {'H', 4}, {'H', 5}};                              // the extra HL row
    EXPECT_EQ(order, expected);
}

TEST(BandOrder, InterleavedWalkVisitsEverySampleOnce) {
    for (std::uint32_t width = 0; width <= 21; ++width)
        for (std::uint32_t height = 0; height <= 21; ++height) {
            const std::uint32_t wH = width / 2, wL = (width + 1) / 2;
            const std::uint32_t hH = (height + 1) / 2, hL = height / 2;
            std::vector<int> hlSeen(std::size_t{wH} * hH), lhSeen(std::size_t{wL} * hL);
            std::vector<std::uint64_t> hlOrder;
            ForEachInterleavedPair(
                wH, hH, wL, hL,
                [&](std::uint64_t hl, std::uint64_t lh) {
                    ++hlSeen.at(hl);
                    ++lhSeen.at(lh);
                    EXPECT_EQ(hl % wH, lh % wL); // same column
                    EXPECT_EQ(hl / wH, lh / wL); // same row
                },
                [&](std::uint64_t lh) {
                    ++lhSeen.at(lh);
                    EXPECT_EQ(lh % wL, wH);
                },
                [&](std::uint64_t hl) {
                    ++hlSeen.at(hl);
                    EXPECT_EQ(hl / wH, hH - 1);
                });
            EXPECT_EQ(std::count(hlSeen.begin(), hlSeen.end(), 1), std::ssize(hlSeen));
            EXPECT_EQ(std::count(lhSeen.begin(), lhSeen.end(), 1), std::ssize(lhSeen));
        }
}
