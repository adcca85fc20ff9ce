// One code block of the decoder: the code words as read and the values they decode to.
#pragma once

#include "bit_ops.h"
#include "code_bits.h"

#include <array>
#include <cstdint>

class CDecodeBlock {
public:
    // Rebuilds values[0 .. n) (n = header bits 0-14; the values up to the next multiple of 32
    // are overwritten too) from codeWords[0 .. wordCount) and sets
    // valuePos to 0. Every field is checked against the word count and every count against n,
    // so hostile code never reads or writes outside the block: a violation throws
    // IOException(ErrorWrongFormat).
    void DecodeBitPlanes();

    std::uint32_t ValueCount() const { return header & kValueCountMask; }
    bool EndsTile() const { return (header & kTileEndBit) != 0; }

    std::uint16_t header = 0;
    std::array<std::int32_t, kBlockValues> values{};
    // Two words more than the largest block, so a field can always be loaded as a word pair,
    // even an empty one at the end of the code.
    std::array<std::uint32_t, kBlockWords + 2> codeWords{};
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
    void Refine(std::uint32_t n, std::uint64_t refPos);
    template <typename BitOps, typename SignSource>
    std::uint32_t DecodePlainSignificance(std::uint32_t n, std::uint64_t sigPos, SignSource signs);
    template <typename BitOps>
    std::uint32_t DecodeRunLengthSignificance(std::uint32_t n, std::uint64_t codePos,
                                              std::uint64_t codeEnd);
    // Bit b of the magnitudes of values 32w … 32w + 31 at b * kFlagWords + w; the values are
    // assembled from them once every plane is decoded.
    std::array<std::uint32_t, 32 * kFlagWords> m_planeBits{};
    std::uint32_t* m_plane = nullptr; // the words of the plane being decoded
    // One bit per value: negative; significant (since an earlier plane, or since earlier in this
    // one).
    std::array<std::uint32_t, kFlagWords> m_negative{};
    std::array<std::uint32_t, kFlagWords> m_significant{};
};
