// The split-row lifting kernels compute exactly the interleaved row steps, wrap included, for
// every short width (where the edge cases live) and undo each other.
#include "lifting.h"
#include "lifting_reference.h"
#include "test_samples.h"
#include "wrap_arith.h"

#include <gtest/gtest.h>

namespace {

// A row in split form: even positions first, then odd positions.
std::vector<std::int32_t> Split(const std::vector<std::int32_t>& row) {
    std::vector<std::int32_t> split;
    for (std::size_t i = 0; i < row.size(); i += 2)
        split.push_back(row[i]);
    for (std::size_t i = 1; i < row.size(); i += 2)
        split.push_back(row[i]);
    return split;
}

TEST(Lifting, RowStepsMatchTheInterleavedStepsForEveryWidth) {
    std::mt19937 random(7);
    for (std::size_t width = 0; width <= 70; ++width) {
        for (int trial = 0; trial < 20; ++trial) {
            const std::vector<std::int32_t> original = RandomSamples(width, random);
            std::vector<std::int32_t> expected = original;
            ReferenceForwardStep(expected.data(), width, 1);

            std::vector<std::int32_t> row = original;
            std::vector<std::int32_t> scratch(width);
            ForwardRowStep(row.data(), width, scratch.data());
            ASSERT_EQ(row, Split(expected)) << "width " << width;

            InverseRowStep(row.data(), width, scratch.data());
            ASSERT_EQ(row, original) << "width " << width;
        }
    }
}

TEST(Lifting, SmallestLiftedWidthsOnKnownValues) {
    // Width 5 takes the odd end, width 6 the even end; a linear ramp predicts to zero highs.
    std::vector<std::int32_t> scratch(6);
    std::vector<std::int32_t> odd = {10, 20, 30, 40, 50};
    ForwardRowStep(odd.data(), 5, scratch.data());
    EXPECT_EQ(odd, (std::vector<std::int32_t>{10, 30, 50, 0, 0}));
    std::vector<std::int32_t> even = {10, 20, 30, 40, 50, 60};
    ForwardRowStep(even.data(), 6, scratch.data());
    EXPECT_EQ(even, (std::vector<std::int32_t>{10, 30, 53, 0, 0, 10}));
}

TEST(Lifting, VerticalKernelsWrapLikeTwoComplement) {
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    std::int32_t dst[2] = {kMin, kMax};
    const std::int32_t a[2] = {kMax, kMax};
    const std::int32_t b[2] = {kMax, 1};
    // (kMax + kMax + 1) wraps to -1, >> 1 stays -1; (kMax + 1 + 1) wraps to kMin + 1.
    LiftPairHalf<LiftSign::Subtract>(dst, a, b, 2);
    EXPECT_EQ(dst[0], kMin + 1);
    EXPECT_EQ(dst[1], WrapSub(kMax, -(1 << 30)));
}

} // namespace
