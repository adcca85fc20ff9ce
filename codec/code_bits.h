// Geometry of a code block and the LSB-first bit fields inside its 32-bit code words: position p
// is bit p % 32 of word p / 32, and a field's bit 0 lies at its position.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

static_assert(std::endian::native == std::endian::little,
              "code words are stored and loaded as little-endian memory images");

inline constexpr std::uint32_t kBlockValues = 16384;
inline constexpr std::uint32_t kBlockWords = 16384;
inline constexpr std::uint32_t kBlockBits = kBlockWords * 32;
// Longest run-length code a 15-bit length field can describe.
inline constexpr std::uint32_t kMaxCodedLength = 32767;
inline constexpr std::uint16_t kTileEndBit = 0x8000;
inline constexpr std::uint16_t kValueCountMask = 0x7FFF;

// p rounded up to a multiple of 32.
inline constexpr std::uint64_t AlignToWord(std::uint64_t p) {
    return (p + 31) & ~std::uint64_t{31};
}

inline constexpr std::uint32_t WordsForBits(std::uint64_t bits) {
    return static_cast<std::uint32_t>((bits + 31) / 32);
}

inline constexpr std::uint32_t LowBitsMask(std::uint32_t count) {
    return count >= 32 ? ~0u : (1u << count) - 1;
}

// Run-length state of the significance and sign codes: runs are measured against limit = 2^k,
// which doubles after a full run and halves after a run cut short.
struct RunState {
    std::uint32_t k;
    std::uint64_t limit;

    void Grow() {
        if (k < 32) {
            ++k;
            limit <<= 1;
        }
    }
    void Shrink() {
        --k;
        limit >>= 1;
    }
    // Takes the full runs that `run` values make, as many Grow()s after runs of limit values
    // would: they are limit, 2 limit, 4 limit, ..., so z of them cover limit (2^z - 1) values and
    // z comes from one bit width instead of a loop whose exit the processor mispredicts. Leaves
    // the rest in `run` and returns z. (Runs of a block stay below 2^15 values, so k + z stays
    // far below the cap of 32.)
    std::uint32_t TakeFullRuns(std::uint64_t& run) {
        const auto z = static_cast<std::uint32_t>(std::bit_width((run >> k) + 1) - 1);
        run -= (limit << z) - limit;
        k += z;
        limit <<= z;
        return z;
    }
};

// Replaces `count` (1..32) bits at position p with `value`; the bits may cross a word boundary.
inline void SetBits(std::uint32_t* words, std::uint64_t p, std::uint32_t count,
                    std::uint32_t value) {
    const auto shift = static_cast<std::uint32_t>(p & 31);
    std::uint32_t* word = words + p / 32;
    const std::uint64_t mask = std::uint64_t{LowBitsMask(count)} << shift;
    const std::uint64_t bits = (std::uint64_t{value} << shift) & mask;
    word[0] = (word[0] & ~static_cast<std::uint32_t>(mask)) | static_cast<std::uint32_t>(bits);
    if (shift + count > 32)
        word[1] = (word[1] & ~static_cast<std::uint32_t>(mask >> 32)) |
                  static_cast<std::uint32_t>(bits >> 32);
}

// Reads `count` (0..32) bits at position p. The word after the field's first word is read
// whenever the field could cross into it, so callers keep one readable word past the last field.
inline std::uint32_t GetBits(const std::uint32_t* words, std::uint64_t p, std::uint32_t count) {
    const std::uint32_t* word = words + p / 32;
    const std::uint64_t pair = word[0] | std::uint64_t{word[1]} << 32;
    return static_cast<std::uint32_t>(pair >> (p & 31)) & LowBitsMask(count);
}

// Appends bit fields to a word array, writing whole words only: bits below the start position in
// its word are kept, every bit after the last field in its word becomes 0. Words at or beyond
// `capacity` are not written; the caller learns from End() that the code did not fit.
class CodeBitWriter {
public:
    CodeBitWriter(std::uint32_t* words, std::uint32_t capacity, std::uint64_t start)
        : m_words(words), m_capacity(capacity), m_wordIndex(static_cast<std::uint32_t>(start / 32)),
          m_pending(static_cast<std::uint32_t>(start & 31)) {
        if (m_pending > 0 && m_wordIndex < m_capacity)
            m_acc = m_words[m_wordIndex] & LowBitsMask(m_pending);
    }

    // `value` must fit in `count` (0..32) bits.
    void Put(std::uint32_t value, std::uint32_t count) {
        m_acc |= std::uint64_t{value} << m_pending;
        m_pending += count;
        if (m_pending >= 32) {
            StoreWord();
            m_acc >>= 32;
            m_pending -= 32;
        }
    }
    void PutBit(bool bit) { Put(bit ? 1u : 0u, 1); }

    // Writes the last partial word (its unused high bits 0).
    void Finish() {
        if (m_pending > 0) StoreWord();
        m_acc = 0;
    }

    // Bit position after the last field put.
    std::uint64_t End() const { return std::uint64_t{m_wordIndex} * 32 + m_pending; }

private:
    void StoreWord() {
        if (m_wordIndex < m_capacity) m_words[m_wordIndex] = static_cast<std::uint32_t>(m_acc);
        if (m_pending >= 32) ++m_wordIndex;
    }

    std::uint32_t* m_words;
    std::uint32_t m_capacity;
    std::uint32_t m_wordIndex;
    std::uint32_t m_pending;
    std::uint64_t m_acc = 0;
};

// Coding works on 32 values at a time: bit j of a list word stands for value j of the group.

// Mask of the valid values of word w of a block holding n values.
inline constexpr std::uint32_t ValidBitsOfWord(std::uint32_t w, std::uint32_t n) {
    return n >= (w + 1) * 32 ? ~0u : LowBitsMask(n - std::min(n, w * 32));
}

// The bits of `bits` at the set positions of `mask`, packed towards bit 0 in order (a parallel
// bit extract). Contiguous stretches of the mask are moved at once.
inline std::uint32_t ExtractBits(std::uint32_t bits, std::uint32_t mask) {
    if (mask == ~0u) return bits;
    std::uint32_t packed = 0;
    for (std::uint32_t to = 0; mask != 0;) {
        const auto start = static_cast<std::uint32_t>(std::countr_zero(mask));
        const auto length = static_cast<std::uint32_t>(std::countr_one(mask >> start));
        packed |= ((bits >> start) & LowBitsMask(length)) << to;
        to += length;
        mask &= ~(LowBitsMask(length) << start);
    }
    return packed;
}

// The inverse of ExtractBits: the low bits of `bits`, in order, placed at the set positions of
// `mask` (a parallel bit deposit).
inline std::uint32_t DepositBits(std::uint32_t bits, std::uint32_t mask) {
    if (mask == ~0u) return bits;
    std::uint32_t placed = 0;
    while (mask != 0 && bits != 0) {
        const auto start = static_cast<std::uint32_t>(std::countr_zero(mask));
        const auto length = static_cast<std::uint32_t>(std::countr_one(mask >> start));
        placed |= (bits & LowBitsMask(length)) << start;
        bits = length < 32 ? bits >> length : 0;
        mask &= ~(LowBitsMask(length) << start);
    }
    return placed;
}

// Bit `plane` of each of the 32 words at `values`, one per value in order.
inline std::uint32_t PlaneBitsPortable(const std::uint32_t* values, std::uint32_t plane) {
    std::uint32_t bits = 0;
    for (std::uint32_t j = 0; j < 32; ++j)
        bits |= ((values[j] >> plane) & 1u) << j;
    return bits;
}

#if defined(__SSE2__)
// The same with vector instructions: the wanted bit is shifted into each lane's sign, the lanes
// are narrowed to bytes with signed saturation (which keeps the sign) and the byte signs are
// collected, 16 values per step.
inline std::uint32_t PlaneBits(const std::uint32_t* values, std::uint32_t plane) {
    const __m128i shift = _mm_cvtsi32_si128(static_cast<int>(31 - plane));
    const auto signsOf16 = [&](const std::uint32_t* from) {
        const auto lanes = [&](int i) {
            return _mm_sll_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from) + i),
                                 shift);
        };
        const __m128i bytes = _mm_packs_epi16(_mm_packs_epi32(lanes(0), lanes(1)),
                                              _mm_packs_epi32(lanes(2), lanes(3)));
        return static_cast<std::uint32_t>(_mm_movemask_epi8(bytes));
    };
    return signsOf16(values) | signsOf16(values + 16) << 16;
}
#else
inline std::uint32_t PlaneBits(const std::uint32_t* values, std::uint32_t plane) {
    return PlaneBitsPortable(values, plane);
}
#endif
