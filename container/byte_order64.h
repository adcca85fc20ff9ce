// 64-bit little-endian integers of the container's layout block and index entries.
#pragma once

#include "byte_order.h"

#include <cstdint>

inline void StoreLE64(std::uint8_t* to, std::uint64_t value) {
    StoreLE32(to, static_cast<std::uint32_t>(value));
    StoreLE32(to + 4, static_cast<std::uint32_t>(value >> 32));
}

inline std::uint64_t LoadLE64(const std::uint8_t* from) {
    return std::uint64_t{LoadLE32(from)} | std::uint64_t{LoadLE32(from + 4)} << 32;
}
