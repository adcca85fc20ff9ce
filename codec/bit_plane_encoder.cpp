// Bit-plane coding of one block: per plane a run-length coded significance pass with interleaved
// signs (form A) or plain significance bits with optionally run-length coded signs (form B),
// followed by the refinement bits of values that were significant before the plane.
#include "bit_plane_encoder.h"

#include "bit_ops.h"
#include "qvt_error.h"

#include <cstring>

namespace {

void RequireFits(std::uint64_t codeEnd) {
    if (codeEnd > kBlockBits) ThrowCodecError(ErrorWrongFormat);
}

// Stores the magnitudes of 32 values and returns them ORed.
std::uint32_t TakeMagnitudes(const std::int32_t* from, std::uint32_t* to) {
    std::uint32_t bits = 0;
#pragma omp simd reduction(| : bits)
    for (std::uint32_t j = 0; j < 32; ++j) {
        to[j] = CEncodeBlock::Magnitude(from[j]);
        bits |= to[j];
    }
    return bits;
}

} // namespace

void CEncodeBlock::EncodeBitPlanes(bool favorSpeed) {
    const std::uint32_t n = header & kValueCountMask;
    if (n > kBlockValues) ThrowCodecError(ErrorWrongFormat);
    const std::uint32_t planes = PrepareMagnitudes(n);
    SetBits(codeWords.data(), 0, 5, planes & 31); // 32 planes are stored as 0
    codePos = 5;
    for (std::uint32_t b = planes; b-- > 0;)
        CodePlane(b, n, favorSpeed);
}

// Splits the values once per block into magnitudes and sign bits, so that every plane works on
// words of 32 values. The largest magnitude has the same highest bit as all of them ORed, which
// needs no comparison and keeps the loop vectorised.
std::uint32_t CEncodeBlock::PrepareMagnitudes(std::uint32_t n) {
    const std::uint32_t words = WordsForBits(n);
    std::uint32_t anyBits = 0;
    // The last word's values past n are 0, taken from a padded copy.
    std::array<std::int32_t, 32> padded{};
    for (std::uint32_t w = 0; w < words; ++w) {
        const std::uint32_t count = std::min(32u, n - w * 32);
        const std::int32_t* from = values.data() + w * 32;
        if (count < 32) from = std::copy_n(from, count, padded.begin()) - count;
        m_wordBits[w] = TakeMagnitudes(from, m_magnitudes.data() + w * 32);
        anyBits |= m_wordBits[w];
    }
    const auto* raw = reinterpret_cast<const std::uint32_t*>(values.data());
    for (std::uint32_t w = 0; w < words; ++w)
        m_negative[w] = PlaneBits(raw + w * 32, 31) & ValidBitsOfWord(w, n);
    std::fill_n(m_significant.begin(), words, 0u);
    m_insignificant = n;
    return anyBits == 0 ? 1u : static_cast<std::uint32_t>(std::bit_width(anyBits));
}

void CEncodeBlock::CodePlane(std::uint32_t plane, std::uint32_t n, bool favorSpeed) {
    std::uint32_t* words = codeWords.data();
    const std::uint64_t p = codePos;
    // Every plane needs at least a 16-bit field plus code; later planes start on a word boundary.
    RequireFits(p + 32);

    const std::uint32_t codeLen = CodeSignificance(plane, n, p + 16);
    const std::uint32_t refLen = n - m_sigLen;
    const std::uint64_t refWordsBits = std::uint64_t{WordsForBits(refLen)} * 32;

    if (m_sigLen > 0 && codeLen <= kMaxCodedLength &&
        codeLen < AlignToWord(m_sigLen) + AlignToWord(m_signLen) + 30) {
        // Form A: the trial run-length code is already in place behind the 16-bit field.
        const std::uint64_t refStart = AlignToWord(p + 16 + codeLen);
        RequireFits(refStart + refWordsBits);
        SetBits(words, p, 1, 1);
        SetBits(words, p + 1, 15, codeLen);
        codePos = static_cast<std::uint32_t>(CopyList(m_refList.data(), refLen, refStart));
        return;
    }

    // Form B, written over the trial code.
    SetBits(words, p, 1, 0);
    SetBits(words, p + 1, 15, m_sigLen);
    std::uint64_t next = 0;
    bool signsCoded = false;
    if (!favorSpeed && m_signLen > 0) {
        const std::uint32_t signCodeLen = CodeSignRuns(m_signLen, p + 32);
        if (signCodeLen <= kMaxCodedLength && signCodeLen < m_signLen) {
            signsCoded = true;
            SetBits(words, p + 16, 1, 1);
            SetBits(words, p + 17, 15, signCodeLen);
            next = AlignToWord(p + 32 + signCodeLen);
        }
    }
    const std::uint64_t sigWordsBits = std::uint64_t{WordsForBits(m_sigLen)} * 32;
    if (signsCoded) {
        RequireFits(next + sigWordsBits + refWordsBits);
    } else {
        SetBits(words, p + 16, 1, 0);
        SetBits(words, p + 17, 15, m_signLen);
        const std::uint64_t signStart = AlignToWord(p + 32);
        if (signStart != p + 32) // only the first plane, which starts at bit 5
            SetBits(words, p + 32, static_cast<std::uint32_t>(signStart - (p + 32)), 0);
        RequireFits(signStart + std::uint64_t{WordsForBits(m_signLen)} * 32 + sigWordsBits +
                    refWordsBits);
        next = CopyList(m_signList.data(), m_signLen, signStart);
    }
    next = CopyList(m_sigList.data(), m_sigLen, next);
    codePos = static_cast<std::uint32_t>(CopyList(m_refList.data(), refLen, next));
}

namespace {

// The run-length code of one plane's significance, with the signs of new significant values
// interleaved. The caller stops feeding it once it can no longer be chosen over plain bits.
class SignificanceRunCoder {
public:
    SignificanceRunCoder(std::uint32_t* words, std::uint64_t start)
        : m_code(words, kBlockWords, start), m_start(start) {}

    // Passes `count` values that stay insignificant. Their full runs are coded when the run is
    // cut: greedy runs of growing length come out the same however the values arrive, and most
    // words of a sparse plane then cost one addition.
    void Pass(std::uint32_t count) { m_run += count; }

    // The run cut short by a new significant value: 1, the run in k bits, the sign.
    void Significant(bool negative) {
        PutFullRuns();
        PutCutRun(negative ? 1u : 0u, 1);
    }

    // Without the full runs of the values passed since the last cut.
    std::uint64_t Length() const { return m_code.End() - m_start; }

    // Closes the code with the terminator (the tail run cut short, then 1); returns its length.
    std::uint32_t Finish() {
        PutFullRuns();
        PutCutRun(1, 1);
        m_code.Finish();
        return static_cast<std::uint32_t>(m_code.End() - m_start);
    }

private:
    // A 0 for every full run.
    void PutFullRuns() { m_code.Put(0, m_state.TakeFullRuns(m_run)); }

    // 1, the run in k bits, then `tail` (tailBits bits); one field when it fits in a word.
    void PutCutRun(std::uint32_t tail, std::uint32_t tailBits) {
        const std::uint32_t k = m_state.k;
        const auto run = static_cast<std::uint32_t>(m_run);
        if (k + 1 + tailBits <= 32) {
            m_code.Put(1u | run << 1 | tail << (k + 1), k + 1 + tailBits);
        } else {
            m_code.PutBit(true);
            m_code.Put(run, k);
            m_code.Put(tail, tailBits);
        }
        if (k > 0) m_state.Shrink();
        m_run = 0;
    }

    CodeBitWriter m_code;
    std::uint64_t m_start;
    RunState m_state{3, 8};
    std::uint64_t m_run = 0;
};

} // namespace

std::uint32_t CEncodeBlock::CodeSignificance(std::uint32_t plane, std::uint32_t n,
                                             std::uint64_t codeStart) {
#if defined(QVT_HAVE_BMI2_KERNELS)
    if (ProcessorHasBmi2()) return CodeSignificanceBmi2(plane, n, codeStart);
#endif
    return CodeSignificanceWith<PortableBitOps>(plane, n, codeStart);
}

#if defined(QVT_HAVE_BMI2_KERNELS)
QVT_BMI2_KERNEL std::uint32_t
CEncodeBlock::CodeSignificanceBmi2(std::uint32_t plane, std::uint32_t n, std::uint64_t codeStart) {
    return CodeSignificanceWith<Bmi2BitOps>(plane, n, codeStart);
}
#endif

// Works through the values 32 at a time in index order: values not yet significant give the
// plain significance and sign lists that form B stores, values significant since an earlier
// plane give a refinement bit. Then, knowing how long the plain lists are, the run-length code
// of the significance (form A), where only values that become significant cost individual work.
// Returns the length of the run-length code.
template <typename BitOps>
std::uint32_t CEncodeBlock::CodeSignificanceWith(std::uint32_t plane, std::uint32_t n,
                                                 std::uint64_t codeStart) {
    CodeBitWriter sig(m_sigList.data(), kListWords, 0);
    CodeBitWriter sign(m_signList.data(), kListWords, 0);
    CodeBitWriter ref(m_refList.data(), kListWords, 0);
    const std::uint32_t words = WordsForBits(n);
    for (std::uint32_t w = 0; w < words; ++w) {
        if ((m_wordBits[w] >> plane) == 0) {
            // No value of the word reaches this plane, so none was significant before it either:
            // only significance bits, all 0. Most words of a sparse plane end here.
            sig.Put(0, BitOps::Count(ValidBitsOfWord(w, n)));
            m_fresh[w] = 0;
            continue;
        }
        const std::uint32_t before = m_significant[w];
        const std::uint32_t bits = PlaneBits(m_magnitudes.data() + w * 32, plane);
        ref.Put(BitOps::Extract(bits, before), BitOps::Count(before));
        const std::uint32_t insignificant = ~before & ValidBitsOfWord(w, n);
        if (insignificant == 0) {
            m_fresh[w] = 0;
            continue;
        }
        const std::uint32_t fresh = bits & insignificant;
        sig.Put(BitOps::Extract(bits, insignificant), BitOps::Count(insignificant));
        sign.Put(BitOps::Extract(m_negative[w], fresh), BitOps::Count(fresh));
        m_significant[w] = before | fresh;
        m_fresh[w] = fresh;
    }
    sig.Finish();
    sign.Finish();
    ref.Finish();
    const std::uint32_t insignificantBefore = m_insignificant;
    m_sigLen = static_cast<std::uint32_t>(sig.End());
    m_signLen = static_cast<std::uint32_t>(sign.End());
    m_insignificant = m_sigLen - m_signLen;
    if (insignificantBefore == 0) return 0;

    // The run-length code is used only when it is shorter than the plain lists and fits its
    // 15-bit length field. It never gets shorter as it grows, so once it is as long as that, it
    // is given up (checked once per word) and that length stands in for its own.
    const std::uint64_t useless = std::min<std::uint64_t>(
        kMaxCodedLength + 1, AlignToWord(m_sigLen) + AlignToWord(m_signLen) + 30);
    SignificanceRunCoder code(codeWords.data(), codeStart);
    for (std::uint32_t w = 0; w < words; ++w) {
        const std::uint32_t fresh = m_fresh[w];
        // Insignificant values of the word not yet passed.
        std::uint32_t unpassed = ~(m_significant[w] & ~fresh) & ValidBitsOfWord(w, n);
        for (std::uint32_t left = fresh; left != 0; left &= left - 1) {
            // The bits up to and including the lowest one of `left`, without shifts by j + 1
            // that would need a case for j = 31.
            const std::uint32_t through = left ^ (left - 1);
            code.Pass(BitOps::Count(unpassed & (through >> 1)));
            unpassed &= ~through;
            code.Significant((m_negative[w] & through & ~(through >> 1)) != 0);
        }
        code.Pass(BitOps::Count(unpassed));
        if (fresh != 0 && code.Length() >= useless) return static_cast<std::uint32_t>(useless);
    }
    return code.Finish();
}

// Run-length code of the sign list: a 1 stands for `limit` negative signs in a row, a 0 followed
// by r in k bits for r negative signs and one positive sign (or the end of the list). Returns
// the code's length, or at least min(signLen, kMaxCodedLength + 1) when it would not be used.
// The list is walked from positive sign to positive sign, a word at a time.
std::uint32_t CEncodeBlock::CodeSignRuns(std::uint32_t signLen, std::uint64_t codeStart) {
    CodeBitWriter code(codeWords.data(), kBlockWords, codeStart);
    // A code this long is not used (plain sign bits are shorter), so coding stops there.
    const std::uint64_t giveUpLength = std::min<std::uint64_t>(signLen, kMaxCodedLength + 1);
    const auto finish = [&] {
        code.Finish();
        return static_cast<std::uint32_t>(code.End() - codeStart);
    };
    RunState state{0, 1};
    // A 1 for every full run of negative signs in `run`, leaving the rest there.
    const auto putFullRuns = [&](std::uint64_t& run) {
        const std::uint32_t full = state.TakeFullRuns(run);
        code.Put(LowBitsMask(full), full);
    };
    // 0, then the rest of the run in k (at most 15) bits.
    const auto putCut = [&](std::uint64_t rest) {
        code.Put(static_cast<std::uint32_t>(rest) << 1, state.k + 1);
        if (state.k > 0) state.Shrink();
    };
    std::uint64_t runStart = 0;
    const std::uint32_t words = WordsForBits(signLen);
    for (std::uint32_t w = 0; w < words; ++w) {
        for (std::uint32_t positive = ~m_signList[w] & ValidBitsOfWord(w, signLen); positive != 0;
             positive &= positive - 1) {
            const std::uint64_t at = std::uint64_t{w} * 32 + std::countr_zero(positive);
            std::uint64_t run = at - runStart;
            putFullRuns(run);
            putCut(run);
            runStart = at + 1;
            // Checked only here: full runs add one bit each and soon stop while the limit doubles.
            if (code.End() - codeStart >= giveUpLength) return finish();
        }
    }
    // The end of the list cuts the last run, unless full runs took all of it.
    std::uint64_t run = signLen - runStart;
    putFullRuns(run);
    if (run > 0) putCut(run);
    return finish();
}

// Copies a list as whole words to the word boundary `to`; returns the position after them.
std::uint64_t CEncodeBlock::CopyList(const std::uint32_t* list, std::uint32_t bits,
                                     std::uint64_t to) {
    const std::uint32_t count = WordsForBits(bits);
    std::memcpy(codeWords.data() + to / 32, list, std::size_t{count} * 4);
    return to + std::uint64_t{count} * 32;
}
