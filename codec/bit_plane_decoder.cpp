// Bit-plane decoding of one block, the inverse of the encoder's plane code. Values are rebuilt as
// signed magnitudes in two's complement; all arithmetic on them wraps as unsigned 32-bit.
#include "bit_plane_decoder.h"

#include "bounded_bit_reader.h"
#include "plane_assembly.h"
#include "qvt_error.h"
#include "sign_sources.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

void Require(bool condition) {
    if (!condition) ThrowCodecError(ErrorWrongFormat);
}

// Short events come several to a look: for a run state k of at most kTableMaxK, the next
// kTableBits bits decode to the events they hold whole, as long as these pass fewer than 32
// values. An entry gives the values taken (bit i: the i-th insignificant value from here becomes
// significant), their signs in order (bit j: the j-th value taken is negative), the values
// passed in all, the bits used and the state after them. Eight bytes an entry keep the table
// within the first-level cache beside the block.
constexpr std::uint32_t kTableBits = 10;
constexpr std::uint32_t kTableMaxK = 3;

struct RunEvents {
    std::uint32_t taken = 0;
    std::uint8_t signs = 0;
    std::uint8_t values = 0;
    std::uint8_t bits = 0;
    std::uint8_t k = 0;
};
static_assert(sizeof(RunEvents) == 8);

// Decodes events from `window` as the event loop does, one after the other.
RunEvents EventsOf(std::uint32_t k, std::uint32_t window) {
    RunEvents run;
    run.k = static_cast<std::uint8_t>(k);
    std::uint32_t pos = 0;
    std::uint32_t events = 0;
    const auto bit = [window](std::uint32_t i) { return (window >> i) & 1; };
    for (;;) {
        std::uint32_t zeros = 0;
        while (pos + zeros < kTableBits && bit(pos + zeros) == 0)
            ++zeros;
        const std::uint32_t grown = k + zeros;
        const std::uint32_t length = zeros + grown + 2;
        if (pos + length > kTableBits) return run;
        const std::uint32_t cut = (window >> (pos + zeros + 1)) & LowBitsMask(grown);
        const std::uint32_t passed = (((1u << zeros) - 1) << k) + cut;
        if (run.values + passed + 1 > 32) return run;
        const std::uint32_t at = run.values + passed;
        run.taken |= 1u << at;
        run.signs = static_cast<std::uint8_t>(run.signs | bit(pos + zeros + 1 + grown) << events);
        ++events;
        run.values = static_cast<std::uint8_t>(at + 1);
        pos += length;
        run.bits = static_cast<std::uint8_t>(pos);
        k = grown > 0 ? grown - 1 : 0;
        run.k = static_cast<std::uint8_t>(k);
    }
}

const std::array<RunEvents, (kTableMaxK + 1) << kTableBits>& RunEventTable() {
    static const auto table = [] {
        std::array<RunEvents, (kTableMaxK + 1) << kTableBits> entries{};
        for (std::uint32_t k = 0; k <= kTableMaxK; ++k)
            for (std::uint32_t window = 0; window < (1u << kTableBits); ++window)
                entries[k << kTableBits | window] = EventsOf(k, window);
        return entries;
    }();
    return table;
}

// Flat parts of an image leave long stretches of words without a significant value, which take
// no refinement bits and whose values runs pass 32 to a word; they are tested eight at a time.
constexpr std::uint32_t kStretch = 8;

bool StretchIsClear(const std::uint32_t* significant) {
    std::uint32_t any = 0;
    for (std::uint32_t i = 0; i < kStretch; ++i)
        any |= significant[i];
    return any == 0;
}

// The words a plane's significance decisions update: one bit per value.
struct SignificanceWords {
    std::uint32_t* significant;
    std::uint32_t* plane;
    std::uint32_t* negative;
};

// Walks the values that are not significant, in index order, a word of 32 values at a time, and
// makes values significant on the way. The current word is kept as it was when it was loaded,
// and the values it makes significant are collected in registers and written out when the walk
// leaves the word, so an event costs no memory access.
template <typename BitOps>
class InsignificantCursor {
public:
    InsignificantCursor(const SignificanceWords& words, std::uint32_t n)
        : m_to(words), m_wholeWords(n / 32), m_words(WordsForBits(n)),
          m_lastValid(ValidBitsOfWord(m_words - 1, n)) {
        Load(0);
    }
    ~InsignificantCursor() { Flush(); }
    InsignificantCursor(const InsignificantCursor&) = delete;
    InsignificantCursor& operator=(const InsignificantCursor&) = delete;

    bool AtEnd() const { return m_left == 0; }

    // Passes `count` values, or all that are left.
    void Pass(std::uint64_t count) {
        while (m_left != 0) {
            const std::uint32_t here = BitOps::Count(m_left);
            if (count < here) {
                // Clears the lowest `count` set bits.
                m_left &= ~BitOps::Deposit(LowBitsMask(static_cast<std::uint32_t>(count)), m_left);
                return;
            }
            count -= here;
            Load(PassClearWords(m_word + 1, count));
        }
    }

    // Passes `count` values and makes the one after them significant; false when the values
    // ran out first.
    bool PassAndTake(std::uint64_t count, bool negative) {
        // Usually the value lies in the current word: it is the set bit after `count` others.
        if (count < 32) {
            const std::uint32_t taken =
                BitOps::Deposit(1u << static_cast<std::uint32_t>(count), m_left);
            if (taken != 0) {
                Take(taken, negative);
                return true;
            }
        }
        Pass(count);
        if (AtEnd()) return false;
        Take(m_left & (0u - m_left), negative);
        return true;
    }

    // Applies decoded events (see RunEvents) when they stay inside the current word; false,
    // with nothing changed, when they do not.
    bool TakeAll(const RunEvents& run) {
        if (run.values > BitOps::Count(m_left)) return false;
        const std::uint32_t taken = BitOps::Deposit(run.taken, m_left);
        m_fresh |= taken;
        m_negative |= BitOps::Deposit(run.signs, taken);
        m_left &= ~BitOps::Deposit(LowBitsMask(run.values), m_left);
        if (m_left == 0) Load(m_word + 1);
        return true;
    }

private:
    // `taken`, one bit of m_left, becomes significant; the values before it are passed.
    void Take(std::uint32_t taken, bool negative) {
        m_fresh |= taken;
        m_negative |= negative ? taken : 0u;
        m_left &= ~(taken | (taken - 1));
        if (m_left == 0) Load(m_word + 1);
    }

    void Flush() {
        if (m_fresh == 0) return;
        m_to.plane[m_word] |= m_fresh;
        m_to.significant[m_word] |= m_fresh;
        m_to.negative[m_word] |= m_negative;
        m_fresh = 0;
        m_negative = 0;
    }

    // Passes the whole words from w on without a significant value, 32 values each, as long as
    // `count` covers them; returns the first word not passed.
    std::uint32_t PassClearWords(std::uint32_t w, std::uint64_t& count) const {
        while (count >= 32 * kStretch && w + kStretch <= m_wholeWords &&
               StretchIsClear(m_to.significant + w)) {
            w += kStretch;
            count -= 32 * kStretch;
        }
        while (count >= 32 && w < m_wholeWords && m_to.significant[w] == 0) {
            ++w;
            count -= 32;
        }
        return w;
    }

    // Moves to the first word from w on that holds a value not yet significant.
    void Load(std::uint32_t w) {
        Flush();
        for (; w < m_wholeWords; ++w) {
            m_left = ~m_to.significant[w];
            if (m_left != 0) {
                m_word = w;
                return;
            }
        }
        m_left = w < m_words ? ~m_to.significant[w] & m_lastValid : 0;
        if (m_left != 0) {
            m_word = w;
            return;
        }
        m_word = m_words;
    }

    SignificanceWords m_to;
    std::uint32_t m_wholeWords; // words whose 32 values all lie in the block
    std::uint32_t m_words;
    std::uint32_t m_lastValid; // the values of the last word that lie in the block
    std::uint32_t m_word = 0;
    std::uint32_t m_left = 0;     // values of the current word still ahead
    std::uint32_t m_fresh = 0;    // values of the current word made significant
    std::uint32_t m_negative = 0; // those of them that are negative
};

} // namespace

void CDecodeBlock::DecodeBitPlanes() {
    const std::uint32_t n = ValueCount();
    Require(n <= kBlockValues && wordCount <= kBlockWords);
    const std::uint64_t limit = std::uint64_t{wordCount} * 32;
    std::fill_n(m_significant.begin(), WordsForBits(n), 0u);
    std::fill_n(m_negative.begin(), WordsForBits(n), 0u);
    Require(limit >= 5);
#if defined(QVT_HAVE_BMI2_KERNELS)
    if (ProcessorHasBmi2()) return DecodePlanesBmi2(n, limit);
#endif
    DecodePlanes<PortableBitOps>(n, limit);
}

#if defined(QVT_HAVE_BMI2_KERNELS)
QVT_BMI2_KERNEL void CDecodeBlock::DecodePlanesBmi2(std::uint32_t n, std::uint64_t limit) {
    DecodePlanes<Bmi2BitOps>(n, limit);
}
#endif

// Per plane the refinement bits of the values significant before it come first (they have a
// list of their own), then the significance decisions, which make further values significant.
template <typename BitOps>
void CDecodeBlock::DecodePlanes(std::uint32_t n, std::uint64_t limit) {
    const std::uint32_t storedPlanes = GetBits(codeWords.data(), 0, 5);
    const std::uint32_t planes = storedPlanes == 0 ? 32 : storedPlanes;
    std::uint64_t pos = 5;
    std::uint32_t insignificant = n; // values not yet significant: the plane's decisions
    for (std::uint32_t b = planes; b-- > 0;) {
        m_plane = m_planeBits.data() + b * kFlagWords;
        const std::uint32_t refLen = n - insignificant;
        Require(pos + 16 <= limit);
        std::uint64_t refStart = 0;
        std::uint32_t newSignificant = 0;
        if (GetBits(codeWords.data(), pos, 1) == 1) {
            const std::uint64_t codeEnd = pos + 16 + GetBits(codeWords.data(), pos + 1, 15);
            refStart = AlignToWord(codeEnd);
            Require(refStart + refLen <= limit);
            Refine<BitOps>(n, refStart);
            newSignificant = DecodeRunLengthSignificance<BitOps>(n, pos + 16, codeEnd);
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
            Refine<BitOps>(n, refStart);
            newSignificant =
                signsCoded ? DecodePlainSignificance<BitOps>(
                                 n, sigStart, RunLengthSigns(codeWords.data(), signStart, signEnd))
                           : DecodePlainSignificance<BitOps>(
                                 n, sigStart, PlainSigns(codeWords.data(), signStart, signEnd));
        }
        insignificant -= newSignificant;
        pos = AlignToWord(refStart + refLen);
    }
    AssembleValues(
        {m_planeBits.data(), kFlagWords, planes, m_negative.data(), m_significant.data()},
        WordsForBits(n), values.data());
    valuePos = 0;
}

// Takes one refinement bit per value significant before this plane (the caller checked that
// they lie inside the code) and starts the plane's words with them.
template <typename BitOps>
void CDecodeBlock::Refine(std::uint32_t n, std::uint64_t refPos) {
    const std::uint32_t words = WordsForBits(n);
    for (std::uint32_t w = 0; w < words;) {
        if (w + kStretch <= words && StretchIsClear(m_significant.data() + w)) {
            std::fill_n(m_plane + w, kStretch, 0u);
            w += kStretch;
            continue;
        }
        for (const std::uint32_t end = std::min(w + kStretch, words); w < end; ++w) {
            const std::uint32_t significant = m_significant[w];
            const std::uint32_t count = BitOps::Count(significant);
            m_plane[w] = BitOps::Deposit(GetBits(codeWords.data(), refPos, count), significant);
            refPos += count;
        }
    }
}

// Form A. Runs count only values not yet significant, so they continue across values that were
// significant before the plane.
template <typename BitOps>
std::uint32_t CDecodeBlock::DecodeRunLengthSignificance(std::uint32_t n, std::uint64_t codePos,
                                                        std::uint64_t codeEnd) {
    BoundedBitReader code(codeWords.data(), codePos, codeEnd);
    InsignificantCursor<BitOps> cursor({m_significant.data(), m_plane, m_negative.data()}, n);
    std::uint32_t k = 3; // runs are measured against 2^k
    std::uint32_t newSignificant = 0;
    const auto& table = RunEventTable();
    while (!cursor.AtEnd()) {
        // Whole events at once: z zeros (full runs of 2^k, 2^(k+1), ... values), the 1 that
        // cuts the next run, its length in k + z bits and the sign of the value after it. One
        // pass over the values and no branch on the bits, which are too random to predict.
        code.TopUp();
        const std::uint64_t bits = code.Peek();
        if (k <= kTableMaxK) {
            const RunEvents& run = table[k << kTableBits | (bits & LowBitsMask(kTableBits))];
            if (run.taken != 0 && run.bits <= code.Waiting() && cursor.TakeAll(run)) {
                code.Skip(run.bits);
                k = run.k;
                newSignificant += BitOps::Count(run.taken);
                continue;
            }
        }
        const auto zeros = static_cast<std::uint32_t>(std::countr_zero(bits));
        const std::uint32_t grown = std::min(k + zeros, 32u);
        const std::uint32_t eventBits = zeros + grown + 2;
        if (eventBits <= code.Waiting()) {
            // Beyond 2^40 values every block has ended, so the sum may stop growing there.
            const std::uint32_t counted = std::min(zeros, 40 - k);
            const std::uint64_t fullRuns = ((std::uint64_t{1} << counted) - 1) << k;
            const auto cut = static_cast<std::uint32_t>(bits >> (zeros + 1)) & LowBitsMask(grown);
            const bool negative = ((bits >> (zeros + 1 + grown)) & 1) != 0;
            code.Skip(eventBits);
            k = grown > 0 ? grown - 1 : 0;
            if (!cursor.PassAndTake(fullRuns + cut, negative)) break;
            ++newSignificant;
            continue;
        }
        // Near the end of the code, bit by bit: the last event may stop short of its sign or
        // even of its cut, and only the bits it uses must be there.
        if (!code.ReadBit()) { // a full run
            cursor.Pass(std::uint64_t{1} << k);
            k = std::min(k + 1, 32u);
            continue;
        }
        if (k > 0) {
            cursor.Pass(code.Read(k));
            --k;
            if (cursor.AtEnd()) break;
        }
        cursor.PassAndTake(0, code.ReadBit());
        ++newSignificant;
    }
    return newSignificant;
}

// Form B. The significance bits are exactly one per insignificant value (checked by the
// caller), so they are taken a word of values at a time and spread over the values they
// stand for.
template <typename BitOps, typename SignSource>
std::uint32_t CDecodeBlock::DecodePlainSignificance(std::uint32_t n, std::uint64_t sigPos,
                                                    SignSource signs) {
    std::uint32_t newSignificant = 0;
    const std::uint32_t words = WordsForBits(n);
    for (std::uint32_t w = 0; w < words; ++w) {
        const std::uint32_t insignificant = ~m_significant[w] & ValidBitsOfWord(w, n);
        if (insignificant == 0) continue;
        const std::uint32_t count = BitOps::Count(insignificant);
        const std::uint32_t fresh =
            BitOps::Deposit(GetBits(codeWords.data(), sigPos, count), insignificant);
        sigPos += count;
        if (fresh == 0) continue;
        m_plane[w] |= fresh;
        m_significant[w] |= fresh;
        m_negative[w] |= signs.template Take<BitOps>(fresh);
        newSignificant += BitOps::Count(fresh);
    }
    return newSignificant;
}
