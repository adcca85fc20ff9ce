// Where the decoder takes the signs of a plane's new significant values from: plain bits, one per
// value, or their run-length code.
#pragma once

#include "bounded_bit_reader.h"
#include "code_bits.h"
#include "qvt_error.h"

#include <algorithm>
#include <array>
#include <cstdint>

// Signs stored one bit per new significant value, taken a word of values at a time.
class PlainSigns {
public:
    PlainSigns(const std::uint32_t* words, std::uint64_t pos, std::uint64_t end)
        : m_words(words), m_pos(pos), m_end(end) {}

    // The signs of the values set in `fresh` (1 = negative), at their places.
    template <typename BitOps>
    std::uint32_t Take(std::uint32_t fresh) {
        const std::uint32_t count = BitOps::Count(fresh);
        if (m_end - m_pos < count) ThrowCodecError(ErrorWrongFormat);
        const std::uint32_t bits = GetBits(m_words, m_pos, count);
        m_pos += count;
        return BitOps::Deposit(bits, fresh);
    }

private:
    const std::uint32_t* m_words;
    std::uint64_t m_pos;
    std::uint64_t m_end;
};

// Short sign events come several to a look, as significance events do: for a run state k of at
// most kSignTableMaxK, the next kSignTableBits bits decode to the signs of the events they hold
// whole, as long as these are at most 32.
struct SignEvents {
    std::uint32_t negative; // bit i: the i-th sign is negative
    std::uint8_t count;     // of signs
    std::uint8_t bits;      // of code they take
    std::uint8_t k;         // the run state after them
};
constexpr std::uint32_t kSignTableBits = 8;
constexpr std::uint32_t kSignTableMaxK = 3;

// The table of short sign events, (kSignTableMaxK + 1) << kSignTableBits entries: the state k,
// then the window.
using SignEventEntries = std::array<SignEvents, (kSignTableMaxK + 1) << kSignTableBits>;
const SignEventEntries& SignEventTable();

// Signs decoded from their run-length code (1 = negative). They are decoded ahead into a register
// of up to 64 and handed out a word's worth at a time.
class RunLengthSigns {
public:
    RunLengthSigns(const std::uint32_t* words, std::uint64_t pos, std::uint64_t end)
        : m_code(words, pos, end), m_table(SignEventTable()) {}

    template <typename BitOps>
    std::uint32_t Take(std::uint32_t fresh) {
        const std::uint32_t count = BitOps::Count(fresh);
        while (m_ready < count)
            DecodeMore();
        const auto negative = static_cast<std::uint32_t>(m_signs) & LowBitsMask(count);
        m_signs >>= count;
        m_ready -= count;
        return BitOps::Deposit(negative, fresh);
    }

private:
    // Adds at least one sign and at most 32 to the fewer than 32 ready.
    void DecodeMore() {
        if (m_ones == 0 && !m_zeroNext && m_state.k <= kSignTableMaxK) {
            m_code.TopUp();
            const SignEvents& run = m_table[m_state.k << kSignTableBits |
                                            (m_code.Peek() & LowBitsMask(kSignTableBits))];
            if (run.count != 0 && run.bits <= m_code.Waiting()) {
                Add(run.negative, run.count);
                m_code.Skip(run.bits);
                m_state = {run.k, std::uint64_t{1} << run.k};
                return;
            }
        }
        // One event, read only as far as it goes, as near the end of the code it must be.
        if (m_ones > 0) {
            const auto ones = static_cast<std::uint32_t>(std::min<std::uint64_t>(m_ones, 32));
            Add(LowBitsMask(ones), ones);
            m_ones -= ones;
        } else if (m_zeroNext) {
            Add(0, 1);
            m_zeroNext = false;
        } else if (m_code.ReadBit()) { // a full run of `limit` negative signs
            m_ones = m_state.limit;
            m_state.Grow();
        } else if (m_state.k == 0) {
            Add(0, 1);
        } else {
            m_ones = m_code.Read(m_state.k);
            m_state.Shrink();
            m_zeroNext = m_ones != 0;
            if (m_ones == 0) Add(0, 1);
        }
    }

    void Add(std::uint32_t negative, std::uint32_t count) {
        m_signs |= std::uint64_t{negative} << m_ready;
        m_ready += count;
    }

    BoundedBitReader m_code;
    const SignEventEntries& m_table;
    RunState m_state{0, 1};
    std::uint64_t m_ones = 0; // negative signs of the current run still to come
    bool m_zeroNext = false;  // a positive sign ends the current run
    std::uint64_t m_signs = 0;
    std::uint32_t m_ready = 0;
};
