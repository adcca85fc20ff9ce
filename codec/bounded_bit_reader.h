// A reader of bit fields inside a block's code that refuses to read past the code's end.
#pragma once

#include "code_bits.h"
#include "qvt_error.h"

#include <algorithm>
#include <cstdint>

// Reads fields in order inside [pos, end); reading past end means the code is corrupt. Up to 64
// bits wait in a register, refilled 32 at a time, so a single bit costs a shift, and the bounds
// are checked only on refills (which never take bits at or past end).
class BoundedBitReader {
public:
    BoundedBitReader(const std::uint32_t* words, std::uint64_t pos, std::uint64_t end)
        : m_words(words), m_next(pos), m_end(end) {}

    // `count` is 0..32.
    std::uint32_t Read(std::uint32_t count) {
        if (m_count < count) Refill(count);
        const auto value = static_cast<std::uint32_t>(m_buffer) & LowBitsMask(count);
        m_buffer >>= count;
        m_count -= count;
        return value;
    }
    bool ReadBit() {
        if (m_count == 0) Refill(1);
        const bool bit = (m_buffer & 1) != 0;
        m_buffer >>= 1;
        --m_count;
        return bit;
    }

    // Loads as many bits as fit (up to the end of the code) without requiring any, so a caller
    // can look ahead with Waiting() and Peek() and fall back to checked reads near the end.
    void TopUp() {
        if (m_count <= 32 && m_next < m_end) Refill(0);
    }
    std::uint32_t Waiting() const { return m_count; }
    // The waiting bits, the next one lowest; bits above Waiting() are 0.
    std::uint64_t Peek() const { return m_buffer; }
    // `count` must not exceed Waiting().
    void Skip(std::uint32_t count) {
        m_buffer = count < 64 ? m_buffer >> count : 0;
        m_count -= count;
    }

private:
    // Called with at most 32 bits waiting, so 32 more always fit.
    void Refill(std::uint32_t needed) {
        const auto take = static_cast<std::uint32_t>(
            m_next < m_end ? std::min<std::uint64_t>(32, m_end - m_next) : 0);
        if (m_count + take < needed) ThrowCodecError(ErrorWrongFormat);
        // Reached with take > 0 only (needed >= 1, or TopUp's own check), which keeps GetBits
        // inside the code words.
        m_buffer |= std::uint64_t{GetBits(m_words, m_next, take)} << m_count;
        m_count += take;
        m_next += take;
    }

    const std::uint32_t* m_words;
    std::uint64_t m_next; // first bit not yet in the buffer
    std::uint64_t m_end;
    std::uint64_t m_buffer = 0;
    std::uint32_t m_count = 0; // bits waiting in the buffer
};
