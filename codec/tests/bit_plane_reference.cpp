#include "bit_plane_reference.h"

#include "code_bits.h"
#include "qvt_error.h"

#include <algorithm>

namespace {

void Require(bool condition) {
    if (!condition) ThrowCodecError(ErrorWrongFormat);
}

// Bits of a code read in order, never at or past `end`.
class Bits {
public:
    Bits(const std::vector<std::uint32_t>& code, std::uint64_t pos, std::uint64_t end)
        : code_(code), pos_(pos), end_(end) {}

    std::uint32_t Read(std::uint32_t count) {
        std::uint32_t value = 0;
        for (std::uint32_t i = 0; i < count; ++i) {
            Require(pos_ < end_);
            value |= ((code_[pos_ / 32] >> (pos_ % 32)) & 1u) << i;
            ++pos_;
        }
        return value;
    }

private:
    const std::vector<std::uint32_t>& code_;
    std::uint64_t pos_;
    std::uint64_t end_;
};

// Sign runs: 1 = a full run of `limit` negative signs; 0 and r in k bits = r negative signs and a
// positive one.
class SignRuns {
public:
    SignRuns(const std::vector<std::uint32_t>& code, std::uint64_t pos, std::uint64_t end)
        : bits_(code, pos, end) {}

    bool NextNegative() {
        if (ones_ > 0) {
            --ones_;
            return true;
        }
        if (zeroNext_) {
            zeroNext_ = false;
            return false;
        }
        if (bits_.Read(1) == 1) {
            ones_ = (std::uint64_t{1} << k_) - 1;
            k_ = std::min(k_ + 1, 32u);
            return true;
        }
        if (k_ == 0) return false;
        const std::uint32_t run = bits_.Read(k_);
        --k_;
        if (run == 0) return false;
        ones_ = run - 1;
        zeroNext_ = true;
        return true;
    }

private:
    Bits bits_;
    std::uint32_t k_ = 0;
    std::uint64_t ones_ = 0;
    bool zeroNext_ = false;
};

struct Block {
    std::vector<std::int32_t> values;
    std::vector<bool> significant;

    void MakeSignificant(std::size_t i, std::uint32_t mask, bool negative) {
        values[i] = static_cast<std::int32_t>(negative ? 0u - mask : mask);
        significant[i] = true;
    }
};

} // namespace

std::vector<std::int32_t> ReferenceDecodeBlock(const std::vector<std::uint32_t>& code,
                                               std::uint16_t header) {
    const std::uint32_t n = header & kValueCountMask;
    Require(n <= kBlockValues && code.size() <= kBlockWords);
    const std::uint64_t limit = code.size() * 32;
    Require(limit >= 5);
    Block block{std::vector<std::int32_t>(n), std::vector<bool>(n)};
    const auto field = [&](std::uint64_t pos, std::uint32_t count) {
        return Bits(code, pos, limit).Read(count);
    };
    const std::uint32_t stored = field(0, 5);
    std::uint64_t pos = 5;
    for (std::uint32_t b = stored == 0 ? 32 : stored; b-- > 0;) {
        const std::uint32_t mask = 1u << b;
        const auto before = block.significant;
        const auto refLen =
            static_cast<std::uint32_t>(std::count(before.begin(), before.end(), true));
        Require(pos + 16 <= limit);
        std::uint64_t refStart;
        std::vector<std::pair<std::size_t, bool>> fresh; // (value, negative)
        if (field(pos, 1) == 1) {
            const std::uint64_t codeEnd = pos + 16 + field(pos + 1, 15);
            refStart = AlignToWord(codeEnd);
            Require(refStart + refLen <= limit);
            // Runs count the values not significant before the plane.
            Bits bits(code, pos + 16, codeEnd);
            std::uint32_t k = 3;
            std::size_t i = 0;
            const auto pass = [&](std::uint64_t count) {
                for (; i < n && count > 0; ++i)
                    if (!before[i]) --count;
                while (i < n && before[i])
                    ++i;
            };
            pass(0);
            while (i < n) {
                if (bits.Read(1) == 0) {
                    pass(std::uint64_t{1} << k);
                    k = std::min(k + 1, 32u);
                    continue;
                }
                if (k > 0) {
                    pass(bits.Read(k));
                    --k;
                    if (i == n) break;
                }
                fresh.emplace_back(i, bits.Read(1) == 1);
                ++i;
                pass(0);
            }
        } else {
            Require(pos + 32 <= limit);
            const std::uint32_t sigLen = field(pos + 1, 15);
            const bool signRuns = field(pos + 16, 1) == 1;
            const std::uint64_t signStart = signRuns ? pos + 32 : AlignToWord(pos + 32);
            const std::uint64_t signEnd = signStart + field(pos + 17, 15);
            const std::uint64_t sigStart = AlignToWord(signEnd);
            refStart = AlignToWord(sigStart + sigLen);
            Require(sigLen == n - refLen && refStart + refLen <= limit);
            Bits decisions(code, sigStart, sigStart + sigLen);
            Bits plainSigns(code, signStart, signEnd);
            SignRuns runSigns(code, signStart, signEnd);
            for (std::size_t i = 0; i < n; ++i)
                if (!before[i] && decisions.Read(1) == 1)
                    fresh.emplace_back(i, signRuns ? runSigns.NextNegative()
                                                   : plainSigns.Read(1) == 1);
        }
        // Refinement: one bit per value significant before the plane, a negative value moving
        // away from zero by subtraction.
        Bits refinement(code, refStart, refStart + refLen);
        for (std::size_t i = 0; i < n; ++i) {
            if (!before[i] || refinement.Read(1) == 0) continue;
            const auto v = static_cast<std::uint32_t>(block.values[i]);
            block.values[i] = static_cast<std::int32_t>(block.values[i] < 0 ? v - mask : v | mask);
        }
        for (const auto& [i, negative] : fresh)
            block.MakeSignificant(i, mask, negative);
        pos = AlignToWord(refStart + refLen);
    }
    return block.values;
}
