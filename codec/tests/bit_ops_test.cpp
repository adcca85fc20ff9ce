// The word kernels of the plane coders: the portable bit extract and deposit agree with a bit by
// bit reading of their definition, the vector plane-bit gather agrees with the plain loop, and the
// processor's instructions (where present) agree with the portable code, so every build and
// every processor stores and decodes the same bits.
#include "bit_ops.h"
#include "plane_assembly.h"

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

// Values built from plane words as the decoder once built them: the first set bit gives the
// value its sign, every later one moves it away from zero (subtracting while it reads negative).
TEST(PlaneAssembly, KernelsAgreeWithBitByBitValues) {
    std::mt19937 rng(8);
    const std::uint32_t words = 5;
    std::vector<std::uint32_t> bits(32 * words);
    std::vector<std::uint32_t> negative(words);
    for (const std::uint32_t planes : {1u, 2u, 7u, 8u, 9u, 16u, 17u, 24u, 25u, 31u, 32u}) {
        for (auto& word : bits)
            word = rng() % 4 == 0 ? rng() & rng() : rng() % 4 == 1 ? ~0u : rng();
        for (std::uint32_t b = 0; b < planes; ++b)
            bits[b * words + 2] = 0; // a word of zeros
        for (auto& word : negative)
            word = rng();
        // A value with no bit anywhere is zero; the kernels may take that from `nonzero`.
        std::vector<std::uint32_t> nonzero(words, 0);
        for (std::uint32_t b = 0; b < planes; ++b)
            for (std::uint32_t w = 0; w < words; ++w)
                nonzero[w] |= bits[b * words + w];
        const BitPlanes in{bits.data(), words, planes, negative.data(), nonzero.data()};
        std::vector<std::int32_t> expected(32 * words);
        for (std::uint32_t i = 0; i < 32 * words; ++i) {
            std::uint32_t v = 0;
            bool seen = false;
            for (std::uint32_t b = planes; b-- > 0;) {
                if (((bits[b * words + i / 32] >> (i % 32)) & 1) == 0) continue;
                const bool negativeNow = seen ? static_cast<std::int32_t>(v) < 0
                                              : ((negative[i / 32] >> (i % 32)) & 1) != 0;
                v = negativeNow ? v - (1u << b) : v | (1u << b);
                seen = true;
            }
            expected[i] = static_cast<std::int32_t>(v);
        }
        std::vector<std::int32_t> portable(32 * words, 7);
        AssembleValuesPortable(in, words, portable.data());
        ASSERT_EQ(portable, expected) << planes << " planes";
#if defined(QVT_HAVE_AVX2_KERNELS)
        if (ProcessorHasAvx2()) {
            std::vector<std::int32_t> vector(32 * words, 7);
            AssembleValuesAvx2(in, words, vector.data());
            ASSERT_EQ(vector, expected) << planes << " planes";
        }
#endif
    }
}
