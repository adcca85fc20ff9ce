// One code block of the decoder: the code words as read and the values they decode to.
#pragma once

#include "bit_ops.h"
#include "code_bits.h"

#include <array>
#include <cstdint>

class CDecodeBlock {
public:
    // Rebuilds values[0 .. n) (n = header bits 0-14) from codeWords[0 .. wordCount) and sets
    // valuePos to 0. Every field is checked against the word count and every count against n,
    // so hostile code never reads or writes outside the block: a violation throws
    // IOException(ErrorWrongFormat).
    void DecodeBitPlanes();

    std::uint32_t ValueCount() const { return header & kValueCountMask; }
    bool EndsTile() const { return (header & kTileEndBit) != 0; }

    std::uint16_t header = 0;
    std::array<std::int32_t, kBlockValues> values{};
    // One word more than the largest block, so a field can always be loaded as a word pair.
    std::array<std::uint32_t, kBlockWords + 1> codeWords{};
    std::uint32_t valuePos = 0;
    // Number of code words read for this block.
    std::uint32_t wordCount = 0;

private:
    static constexpr std::uint32_t kFlagWords = kBlockValues / 32;

    template <typename BitOps>
    void DecodePlanes(std::uint32_t n, std::uint64_t limit);
#if defined(QVT_HAVE_BMI2_KERNELS)
    void DecodePlanesBmi2(std::uint32_t n, std::uint64_t limit);
#endif
    template <typename BitOps>
    void Refine(std::uint32_t n, std::uint32_t mask, std::uint64_t refPos);
    template <typename BitOps, typename SignSource>
    std::uint32_t DecodePlainSignificance(std::uint32_t mask, std::uint32_t n, std::uint64_t sigPos,
                                          SignSource signs);
    template <typename BitOps>
    std::uint32_t DecodeRunLengthSignificance(std::uint32_t mask, std::uint32_t n,
                                              std::uint64_t codePos, std::uint64_t codeEnd);
    // The value's first bit: its magnitude is `mask` so far.
    void MakeSignificant(std::uint32_t i, std::uint32_t mask, bool negative) {
        values[i] = static_cast<std::int32_t>(negative ? 0u - mask : mask);
        m_significant[i / 32] |= 1u << (i % 32);
    }

    // One bit per value: significant (since an earlier plane, or since earlier in this one).
    std::array<std::uint32_t, kFlagWords> m_significant{};
};
