// The word kernels of the plane coders: the portable bit extract and deposit agree with a bit by
// bit reading of their definition, the vector plane-bit gather agrees with the plain loop, and the
// processor's instructions (where present) agree with the portable code, so every build and
// every processor stores and decodes the same bits.
#include "bit_ops.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {

std::uint32_t ExtractOneByOne(std::uint32_t bits, std::uint32_t mask) {
    std::uint32_t packed = 0;
    std::uint32_t to = 0;
    for (std::uint32_t j = 0; j < 32; ++j)
        if ((mask >> j) & 1) packed |= ((bits >> j) & 1) << to++;
    return packed;
}

std::uint32_t DepositOneByOne(std::uint32_t bits, std::uint32_t mask) {
    std::uint32_t placed = 0;
    std::uint32_t from = 0;
    for (std::uint32_t j = 0; j < 32; ++j)
        if ((mask >> j) & 1) placed |= ((bits >> from++) & 1) << j;
    return placed;
}

// Masks of every density, including the all-zero and all-one words the kernels shortcut.
std::vector<std::uint32_t> TestWords() {
    std::mt19937 rng(5);
    std::vector<std::uint32_t> words = {0, ~0u, 1, 0x80000000, 0x7FFFFFFF, 0xFFFFFFFE, 0x55555555};
    for (int i = 0; i < 300; ++i)
        words.push_back(i % 3 == 0 ? rng() & rng() : i % 3 == 1 ? rng() | rng() : rng());
    return words;
}

} // namespace

TEST(BitOps, ExtractAndDepositFollowTheirDefinition) {
    const auto words = TestWords();
    for (const std::uint32_t mask : words)
        for (std::size_t i = 0; i < words.size(); i += 7) {
            const std::uint32_t bits = words[i];
            ASSERT_EQ(ExtractBits(bits, mask), ExtractOneByOne(bits, mask)) << bits << " " << mask;
            ASSERT_EQ(DepositBits(bits, mask), DepositOneByOne(bits, mask)) << bits << " " << mask;
#if defined(QVT_HAVE_BMI2_KERNELS)
            if (ProcessorHasBmi2()) {
                ASSERT_EQ(Bmi2BitOps::Extract(bits, mask), ExtractBits(bits, mask));
                ASSERT_EQ(Bmi2BitOps::Deposit(bits, mask), DepositBits(bits, mask));
                ASSERT_EQ(Bmi2BitOps::Count(mask), PortableBitOps::Count(mask));
            }
#endif
        }
}

TEST(BitOps, PlaneBitsGatherEveryPlane) {
    const auto words = TestWords();
    for (std::size_t start = 0; start + 32 <= words.size(); start += 11)
        for (std::uint32_t plane = 0; plane < 32; ++plane)
            ASSERT_EQ(PlaneBits(words.data() + start, plane),
                      PlaneBitsPortable(words.data() + start, plane))
                << start << " " << plane;
}

TEST(BitOps, ValidBitsCoverExactlyTheValues) {
    EXPECT_EQ(ValidBitsOfWord(0, 0), 0u);
    EXPECT_EQ(ValidBitsOfWord(0, 5), 0x1Fu);
    EXPECT_EQ(ValidBitsOfWord(0, 32), ~0u);
    EXPECT_EQ(ValidBitsOfWord(1, 33), 1u);
    EXPECT_EQ(ValidBitsOfWord(2, 33), 0u);
    EXPECT_EQ(ValidBitsOfWord(511, 16384), ~0u);
}
