// Proves that both tile orderings number every grid exactly: the Hilbert numbers equal the order
// in which a plain walk along the curve meets the grid's cells, for every grid up to 64 × 64,
// and the listed orders come out as stored files expect them.
#include "ordering.h"

#include "kld_header.h"
#include "qvt_error.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using Cell = std::pair<std::uint32_t, std::uint32_t>;

// The curve's cells over the square of side 2^(n+1), position by position, straight from the
// quadrant table: the reference the ordering's counting has to reproduce.
std::vector<Cell> WalkCurve(std::uint32_t n, std::uint8_t orientation) {
    struct Step {
        std::uint32_t dx, dy;
        std::uint8_t next;
    };
    static constexpr std::array<std::array<Step, 4>, 4> table{{
        {{{0, 0, 1}, {1, 0, 0}, {1, 1, 0}, {0, 1, 3}}},
        {{{0, 0, 0}, {0, 1, 1}, {1, 1, 1}, {1, 0, 2}}},
        {{{1, 1, 3}, {0, 1, 2}, {0, 0, 2}, {1, 0, 1}}},
        {{{1, 1, 2}, {1, 0, 3}, {0, 0, 3}, {0, 1, 0}}},
    }};
    const std::uint64_t positions = std::uint64_t{1} << (2 * (n + 1));
    std::vector<Cell> cells;
    for (std::uint64_t p = 0; p < positions; ++p) {
        std::uint64_t position = p;
        std::uint32_t x = 0, y = 0;
        std::uint8_t o = orientation;
        for (std::uint32_t d = n; d > 0; --d) {
            const std::uint64_t h = std::uint64_t{1} << d;
            const Step& step = table[o][position / (h * h)];
            position %= h * h;
            x += step.dx * static_cast<std::uint32_t>(h);
            y += step.dy * static_cast<std::uint32_t>(h);
            o = step.next;
        }
        x += table[o][position].dx;
        y += table[o][position].dy;
        cells.emplace_back(x, y);
    }
    return cells;
}

std::vector<Cell> Order(const COrdering& ordering, std::uint32_t count) {
    std::vector<Cell> cells;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t x = 0, y = 0;
        ordering.IndexToXY(i, x, y);
        cells.emplace_back(x, y);
    }
    return cells;
}

TEST(HilbertOrdering, EveryGridUpTo64MatchesTheCurveWalk) {
    // One walk per depth and start orientation serves every grid of that depth.
    std::array<std::array<std::vector<Cell>, 2>, 7> walks;
    for (std::uint32_t n = 0; n < 7; ++n)
        for (std::uint8_t o = 0; o < 2; ++o)
            walks[n][o] = WalkCurve(n, o);

    for (std::uint32_t columns = 1; columns <= 64; ++columns) {
        for (std::uint32_t rows = 1; rows <= 64; ++rows) {
            const CHilbertOrdering ordering(columns, rows);
            const auto& walk = walks[ordering.Level()][ordering.StartOrientation()];
            // The grid's cells in curve order are the tile numbers 0, 1, 2, …
            std::vector<Cell> expected;
            for (const Cell& cell : walk)
                if (cell.first < columns && cell.second < rows) expected.push_back(cell);
            ASSERT_EQ(expected.size(), columns * rows);
            ASSERT_EQ(Order(ordering, columns * rows), expected) << columns << "x" << rows;
            std::vector<std::uint32_t> numbers;
            for (const auto& [x, y] : expected) {
                std::uint32_t index = kNoTile;
                ordering.XYToIndex(x, y, index);
                numbers.push_back(index);
            }
            for (std::uint32_t i = 0; i < numbers.size(); ++i)
                if (numbers[i] != i) FAIL() << columns << "x" << rows << " cell #" << i;
        }
    }
}

// The cells of each grid in tile-number order, as "xy" pairs, both ways.
TEST(Ordering, ListedOrders) {
    const std::tuple<std::uint8_t, std::uint32_t, std::uint32_t, std::string> cases[] = {
        {OrderingHilbert, 1, 1, "00"},
        {OrderingHilbert, 2, 2, "00 01 11 10"},
        {OrderingHilbert, 3, 2, "00 01 11 10 20 21"},
        {OrderingHilbert, 2, 3, "00 10 11 01 02 12"},
        {OrderingHilbert, 3, 3, "00 01 11 10 20 21 22 12 02"},
        {OrderingHilbert, 4, 4, "00 10 11 01 02 03 13 12 22 23 33 32 31 21 20 30"},
        {OrderingHilbert, 5, 1, "00 10 20 30 40"},
        {OrderingRowWise, 3, 2, "00 10 20 01 11 21"},
        {OrderingRowWise, 1, 3, "00 01 02"},
    };
    for (const auto& [kind, columns, rows, text] : cases) {
        const auto ordering = CreateOrdering(kind, columns, rows);
        std::vector<Cell> expected;
        for (std::size_t i = 0; i < text.size(); i += 3)
            expected.emplace_back(text[i] - '0', text[i + 1] - '0');
        EXPECT_EQ(Order(*ordering, columns * rows), expected) << columns << "x" << rows;
        for (std::uint32_t i = 0; i < expected.size(); ++i) {
            std::uint32_t number = kNoTile;
            ordering->XYToIndex(expected[i].first, expected[i].second, number);
            EXPECT_EQ(number, i) << columns << "x" << rows;
        }
    }
}

// A thin grid of billions of rows needs no memory in proportion to its curve.
TEST(HilbertOrdering, HugeThinGridRoundTripsAtItsEnds) {
    const std::uint32_t rows = 0xFFFFFFFF;
    const CHilbertOrdering ordering(1, rows);
    for (std::uint32_t i : {0u, 1u, 2u, 12345u, rows / 2, rows - 2, rows - 1}) {
        std::uint32_t x = 1, y = 0;
        ordering.IndexToXY(i, x, y);
        EXPECT_EQ(x, 0u);
        std::uint32_t back = 0;
        ordering.XYToIndex(x, y, back);
        EXPECT_EQ(back, i);
    }
}

TEST(CreateOrdering, RefusesUnknownKindsAndGridsWithoutTileNumbers) {
    const auto refused = [](std::uint8_t kind, std::uint32_t columns, std::uint32_t rows) {
        try {
            CreateOrdering(kind, columns, rows);
        } catch (const IOException& e) {
            return e.error == ErrorWrongFormat;
        }
        return false;
    };
    EXPECT_TRUE(refused(2, 4, 4));
    for (std::uint8_t kind : {0, 1}) {
        EXPECT_TRUE(refused(kind, 0, 4));
        EXPECT_TRUE(refused(kind, 4, 0));
        EXPECT_TRUE(refused(kind, 0x10000, 0x10000)); // more tiles than numbers below 0xFFFFFFFF
        EXPECT_FALSE(refused(kind, 0xFFFF, 0x10001));
    }
}

} // namespace
