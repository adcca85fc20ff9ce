// a × b / c rounded to the nearest integer, halves away from zero; shared by resampling, channel
// extraction and sample scaling.
#pragma once

#include <cstdint>

__extension__ using Int128 = __int128;

// The product is formed in 128 bits, so it never overflows for 64-bit operands; whenever it fits
// in 64 bits the result is the same as that of a 64-bit product. A zero divisor gives 0.
inline std::int64_t MulDiv(std::int64_t a, std::int64_t b, std::int64_t c) {
    if (c == 0) return 0;
    const Int128 product = Int128{a} * b;
    const bool negative = (product < 0) != (c < 0);
    const Int128 magnitude = product < 0 ? -product : product;
    const Int128 divisor = c < 0 ? -Int128{c} : Int128{c};
    const Int128 rounded = (2 * magnitude + divisor) / (2 * divisor);
    return static_cast<std::int64_t>(negative ? -rounded : rounded);
}

// The same rounding for callers that have checked that 2 × a × b + c fits in 63 bits and that
// a, b are not negative and c is positive; it avoids the slow 128-bit division in hot loops.
inline std::int64_t MulDivNonNegative(std::int64_t a, std::int64_t b, std::int64_t c) {
    return (2 * a * b + c) / (2 * c);
}
