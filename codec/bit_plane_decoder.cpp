// Bit-plane decoding of one block, the inverse of the encoder's plane code. Values are rebuilt as
// signed magnitudes in two's complement; all arithmetic on them wraps as unsigned 32-bit.
#include "bit_plane_decoder.h"

#include "qvt_error.h"

#include <cstring>

namespace {

void Require(bool condition) {
    if (!condition) ThrowCodecError(ErrorWrongFormat);
}

// Reads fields in order inside [pos, end); reading past end means the code is corrupt.
class BoundedBitReader {
public:
    BoundedBitReader(const std::uint32_t* words, std::uint64_t pos, std::uint64_t end)
        : m_words(words), m_pos(pos), m_end(end) {}

    std::uint32_t Read(std::uint32_t count) {
        Require(m_pos + count <= m_end);
        const std::uint32_t value = GetBits(m_words, m_pos, count);
        m_pos += count;
        return value;
    }
    bool ReadBit() {
        Require(m_pos < m_end);
        const bool bit = ((m_words[m_pos / 32] >> (m_pos & 31)) & 1) != 0;
        ++m_pos;
        return bit;
    }

private:
    const std::uint32_t* m_words;
    std::uint64_t m_pos;
    std::uint64_t m_end;
};

// Signs stored one bit per new significant value.
class PlainSigns {
public:
    PlainSigns(const std::uint32_t* words, std::uint64_t pos, std::uint64_t end)
        : m_bits(words, pos, end) {}
    bool Next() { return m_bits.ReadBit(); }

private:
    BoundedBitReader m_bits;
};

// Signs decoded lazily from their run-length code (1 = negative).
class RunLengthSigns {
public:
    RunLengthSigns(const std::uint32_t* words, std::uint64_t pos, std::uint64_t end)
        : m_code(words, pos, end) {}

    bool Next() {
        if (m_ones > 0) {
            --m_ones;
            return true;
        }
        if (m_zeroNext) {
            m_zeroNext = false;
            return false;
        }
        if (m_code.ReadBit()) { // a full run of `limit` negative signs
            m_ones = m_state.limit - 1;
            m_state.Grow();
            return true;
        }
        if (m_state.k == 0) return false;
        const std::uint32_t run = m_code.Read(m_state.k);
        m_state.Shrink();
        if (run == 0) return false;
        m_ones = run - 1;
        m_zeroNext = true;
        return true;
    }

private:
    BoundedBitReader m_code;
    RunState m_state{0, 1};
    std::uint64_t m_ones = 0;
    bool m_zeroNext = false;
};

} // namespace

void CDecodeBlock::DecodeBitPlanes() {
    const std::uint32_t n = ValueCount();
    Require(n <= kBlockValues && wordCount <= kBlockWords);
    const std::uint64_t limit = std::uint64_t{wordCount} * 32;
    std::fill_n(sigFlag.begin(), n, false);
    sigFlag[n] = true;
    std::fill_n(values.begin(), n, 0);

    Require(limit >= 5);
    const std::uint32_t storedPlanes = GetBits(codeWords.data(), 0, 5);
    const std::uint32_t planes = storedPlanes == 0 ? 32 : storedPlanes;
    std::uint64_t pos = 5;
    std::uint32_t insignificant = n; // values not yet significant: the plane's decisions
    for (std::uint32_t b = planes; b-- > 0;) {
        const std::uint32_t mask = 1u << b;
        const std::uint32_t refLen = n - insignificant;
        Require(pos + 16 <= limit);
        std::uint64_t refStart = 0;
        std::uint32_t newSignificant = 0;
        if (GetBits(codeWords.data(), pos, 1) == 1) {
            const std::uint64_t codeEnd = pos + 16 + GetBits(codeWords.data(), pos + 1, 15);
            refStart = AlignToWord(codeEnd);
            Require(refStart + refLen <= limit);
            newSignificant = DecodeRunLengthSignificance(mask, n, pos + 16, codeEnd, refStart);
        } else {
            Require(pos + 32 <= limit);
            const std::uint32_t sigLen = GetBits(codeWords.data(), pos + 1, 15);
            const bool signsCoded = GetBits(codeWords.data(), pos + 16, 1) == 1;
            const std::uint32_t signField = GetBits(codeWords.data(), pos + 17, 15);
            const std::uint64_t signStart = signsCoded ? pos + 32 : AlignToWord(pos + 32);
            const std::uint64_t signEnd = signStart + signField;
            const std::uint64_t sigStart = AlignToWord(signEnd);
            refStart = AlignToWord(sigStart + sigLen);
            Require(sigLen == insignificant && refStart + refLen <= limit);
            newSignificant =
                signsCoded
                    ? DecodePlainSignificance(mask, n, sigStart, refStart,
                                              RunLengthSigns(codeWords.data(), signStart, signEnd))
                    : DecodePlainSignificance(mask, n, sigStart, refStart,
                                              PlainSigns(codeWords.data(), signStart, signEnd));
        }
        insignificant -= newSignificant;
        pos = AlignToWord(refStart + refLen);
    }
    valuePos = 0;
}

// Index of the first set flag in [i, bound), or bound when there is none; bound <= n, so the
// sentinel at n ends every search.
std::uint32_t CDecodeBlock::NextSignificant(std::uint32_t i, std::uint32_t bound) const {
    while (i < bound) {
        std::uint64_t eight = 0;
        std::memcpy(&eight, sigFlag.data() + i, sizeof eight);
        if (eight != 0)
            return std::min(bound, i + static_cast<std::uint32_t>(std::countr_zero(eight) / 8));
        i += 8;
    }
    return bound;
}

// Takes refinement bits for the values from i on that were significant before this plane,
// up to the next value that was not; returns the position of the next refinement bit. Setting
// the mask bit of v means v - mask for negative v, v | mask otherwise.
std::uint64_t CDecodeBlock::Refine(std::uint32_t& i, std::uint32_t n, std::uint32_t mask,
                                   std::uint64_t refPos) {
    const std::uint32_t* words = codeWords.data();
    std::uint32_t index = i;
    for (; index < n && sigFlag[index]; ++index, ++refPos) {
        const bool bit = ((words[refPos / 32] >> (refPos & 31)) & 1) != 0;
        const auto v = static_cast<std::uint32_t>(values[index]);
        const std::uint32_t withBit = values[index] < 0 ? v - mask : v | mask;
        values[index] = static_cast<std::int32_t>(bit ? withBit : v);
    }
    i = index;
    return refPos;
}

void CDecodeBlock::MakeSignificant(std::uint32_t i, std::uint32_t mask, bool negative) {
    values[i] = static_cast<std::int32_t>(negative ? 0u - mask : mask);
    sigFlag[i] = true;
}

// Form A. Runs of insignificant values continue across values that were significant before the
// plane, so the count still to pass (`skip`) and a pending significant value carry over gaps.
std::uint32_t CDecodeBlock::DecodeRunLengthSignificance(std::uint32_t mask, std::uint32_t n,
                                                        std::uint64_t codePos,
                                                        std::uint64_t codeEnd,
                                                        std::uint64_t refPos) {
    BoundedBitReader code(codeWords.data(), codePos, codeEnd);
    RunState state{3, 8};
    std::uint64_t skip = 0;
    bool pending = false;
    std::uint32_t newSignificant = 0;
    std::uint32_t i = 0;
    while (i < n) {
        if (sigFlag[i]) {
            refPos = Refine(i, n, mask, refPos);
        } else if (skip > 0) {
            // Pass at most `skip` values of this gap.
            const auto bound = static_cast<std::uint32_t>(std::min<std::uint64_t>(n, i + skip));
            const std::uint32_t stop = NextSignificant(i, bound);
            skip -= stop - i;
            i = stop;
        } else if (pending) {
            MakeSignificant(i, mask, code.ReadBit());
            pending = false;
            ++newSignificant;
            ++i;
        } else if (code.ReadBit()) {
            if (state.k > 0) {
                skip = code.Read(state.k);
                state.Shrink();
            }
            pending = true;
        } else {
            skip = state.limit;
            state.Grow();
        }
    }
    return newSignificant;
}

// Form B. The significance bits are exactly one per insignificant value (checked by the
// caller), so zero runs are counted a word at a time without a further bound.
template <typename SignSource>
std::uint32_t CDecodeBlock::DecodePlainSignificance(std::uint32_t mask, std::uint32_t n,
                                                    std::uint64_t sigPos, std::uint64_t refPos,
                                                    SignSource signs) {
    std::uint32_t newSignificant = 0;
    std::uint32_t i = 0;
    while (i < n) {
        if (sigFlag[i]) {
            refPos = Refine(i, n, mask, refPos);
            continue;
        }
        const std::uint32_t gapEnd = NextSignificant(i, n);
        while (i < gapEnd) {
            const std::uint32_t zeros = CountRun(codeWords.data(), sigPos, gapEnd - i, false);
            sigPos += zeros;
            i += zeros;
            if (i == gapEnd) break;
            ++sigPos;
            MakeSignificant(i, mask, signs.Next());
            ++newSignificant;
            ++i;
        }
    }
    return newSignificant;
}
