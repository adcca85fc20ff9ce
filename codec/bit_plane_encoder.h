// One code block of the encoder: up to 16384 samples and the bit-plane code they become.
#pragma once

#include "bit_ops.h"
#include "code_bits.h"

#include <array>
#include <cstdint>

class CEncodeBlock {
public:
    // Appends a sample; the caller makes sure the block has room (valuePos < kBlockValues).
    void Append(std::int32_t v) { Append(&v, 1); }
    // Appends `count` samples; the caller makes sure they fit (valuePos + count <= kBlockValues).
    // The plane count is found when the block is coded, in the same pass that takes magnitudes.
    void Append(const std::int32_t* from, std::uint32_t count) {
        std::copy_n(from, count, values.begin() + valuePos);
        valuePos += count;
    }

    // Codes values[0 .. n) (n = header bits 0-14) into codeWords[0 .. codePos / 32). Every bit of
    // those words that no field occupies is 0, so the code depends on nothing but the values,
    // n and favorSpeed. Throws IOException(ErrorWrongFormat) when the code would not fit in
    // 16384 words (only samples needing 31 or 32 bit planes with incompressible content can
    // get there) or when n exceeds 16384.
    void EncodeBitPlanes(bool favorSpeed);

    // |v| as unsigned, so INT32_MIN becomes 2^31.
    static std::uint32_t Magnitude(std::int32_t v) {
        const auto u = static_cast<std::uint32_t>(v);
        return v < 0 ? 0u - u : u;
    }

    std::array<std::int32_t, kBlockValues> values{};
    std::array<std::uint32_t, kBlockWords> codeWords{};
    std::uint16_t header = 0;
    std::uint32_t valuePos = 0;
    std::uint32_t codePos = 0;
    std::int32_t lastLevelIndex = -1;

private:
    // Splits values[0 .. n) into magnitudes and sign bits; returns the number of bit planes.
    std::uint32_t PrepareMagnitudes(std::uint32_t n);
    void CodePlane(std::uint32_t plane, std::uint32_t n, bool favorSpeed);
    std::uint32_t CodeSignificance(std::uint32_t plane, std::uint32_t n, std::uint64_t codeStart);
    template <typename BitOps>
    std::uint32_t CodeSignificanceWith(std::uint32_t plane, std::uint32_t n,
                                       std::uint64_t codeStart);
#if defined(QVT_HAVE_BMI2_KERNELS)
    std::uint32_t CodeSignificanceBmi2(std::uint32_t plane, std::uint32_t n,
                                       std::uint64_t codeStart);
#endif
    std::uint32_t CodeSignRuns(std::uint32_t signLen, std::uint64_t codeStart);
    std::uint64_t CopyList(const std::uint32_t* list, std::uint32_t bits, std::uint64_t to);

    static constexpr std::uint32_t kListWords = kBlockValues / 32;
    // |values[i]|, zero up to the next multiple of 32 values.
    std::array<std::uint32_t, kBlockValues> m_magnitudes{};
    // Per word of values: their magnitudes ORed, whose highest bit is the word's top plane.
    std::array<std::uint32_t, kListWords> m_wordBits{};
    // One bit per value: negative; significant since an earlier plane.
    std::array<std::uint32_t, kListWords> m_negative{};
    std::array<std::uint32_t, kListWords> m_significant{};
    // The plane's significance, sign and refinement lists (one bit per entry).
    std::array<std::uint32_t, kListWords> m_sigList{};
    std::array<std::uint32_t, kListWords> m_signList{};
    std::array<std::uint32_t, kListWords> m_refList{};
    // Per word of values: those that became significant in the plane being coded.
    std::array<std::uint32_t, kListWords> m_fresh{};
    std::uint32_t m_sigLen = 0;
    // Values not significant after the last plane coded.
    std::uint32_t m_insignificant = 0;
    std::uint32_t m_signLen = 0;
};
