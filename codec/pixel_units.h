// Little-endian access to the units of a pixel row (bytes and 16- or 32-bit words) at any
// alignment: rows of caller buffers need not be word aligned.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "pixel words are stored little-endian");

template <typename Unit>
Unit LoadUnit(const std::uint8_t* unitStart) {
    Unit unit;
    std::memcpy(&unit, unitStart, sizeof unit);
    return unit;
}

template <typename Unit>
void StoreUnit(std::uint8_t* unitStart, Unit unit) {
    std::memcpy(unitStart, &unit, sizeof unit);
}
