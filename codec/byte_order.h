// Little-endian integers as every QVT and container record stores them.
#pragma once

#include <cstdint>

inline void StoreLE16(std::uint8_t* to, std::uint16_t value) {
    to[0] = static_cast<std::uint8_t>(value);
    to[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void StoreLE32(std::uint8_t* to, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        to[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline std::uint16_t LoadLE16(const std::uint8_t* from) {
    return static_cast<std::uint16_t>(from[0] | from[1] << 8);
}

inline std::uint32_t LoadLE32(const std::uint8_t* from) {
    return std::uint32_t{from[0]} | std::uint32_t{from[1]} << 8 | std::uint32_t{from[2]} << 16 |
           std::uint32_t{from[3]} << 24;
}
