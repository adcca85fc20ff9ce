// 32-bit two's complement arithmetic on signed samples. The stored bands depend on every wrap, so
// sums and negations go through unsigned arithmetic, which wraps by definition.
#pragma once

#include <cstdint>

inline std::int32_t WrapAdd(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

inline std::int32_t WrapSub(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

inline std::int32_t WrapNeg(std::int32_t a) {
    return static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(a));
}

// a + b + c with every partial sum wrapped.
inline std::int32_t WrapAdd3(std::int32_t a, std::int32_t b, std::int32_t c) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b) +
                                     static_cast<std::uint32_t>(c));
}
