// Loading and storing samples inside pixel rows. Rows of caller memory need not be aligned for
// their word size, so words go through memcpy (which compiles to a plain load or store).
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

static_assert(std::endian::native == std::endian::little,
              "pixel words are little-endian in memory and are read natively");

template <typename T>
inline T LoadSample(const std::uint8_t* p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

template <typename T>
inline void StoreSample(std::uint8_t* p, T value) {
    std::memcpy(p, &value, sizeof value);
}

// Sample c of pixel x in a row of N samples of T per pixel.
template <typename T, int N>
inline T LoadChannel(const std::uint8_t* row, std::uint64_t x, int c) {
    return LoadSample<T>(row + (x * N + c) * sizeof(T));
}

template <typename T, int N>
inline void StoreChannel(std::uint8_t* row, std::uint64_t x, int c, T value) {
    StoreSample<T>(row + (x * N + c) * sizeof(T), value);
}

// Bitmap pixels: the leftmost pixel of a byte is its most significant bit.
inline unsigned GetBit(const std::uint8_t* row, std::uint64_t x) {
    return (row[x >> 3] >> (7 - (x & 7))) & 1u;
}

inline void SetBit(std::uint8_t* row, std::uint64_t x, unsigned bit) {
    const auto mask = static_cast<std::uint8_t>(0x80u >> (x & 7));
    row[x >> 3] = static_cast<std::uint8_t>(bit ? row[x >> 3] | mask : row[x >> 3] & ~mask);
}

// RGB12 nibbles: nibble i is the low half of byte i / 2 when i is even, the high half otherwise.
inline unsigned GetNibble(const std::uint8_t* row, std::uint64_t i) {
    return (row[i >> 1] >> ((i & 1) * 4)) & 0xFu;
}

inline void SetNibble(std::uint8_t* row, std::uint64_t i, unsigned nibble) {
    const unsigned shift = (i & 1) * 4;
    row[i >> 1] =
        static_cast<std::uint8_t>((row[i >> 1] & ~(0xFu << shift)) | ((nibble & 0xFu) << shift));
}

// One unit of a packed row: a bit (unitBits 1) or a nibble (unitBits 4).
inline unsigned GetUnit(const std::uint8_t* row, std::uint64_t i, unsigned unitBits) {
    return unitBits == 1 ? GetBit(row, i) : GetNibble(row, i);
}

inline void SetUnit(std::uint8_t* row, std::uint64_t i, unsigned unitBits, unsigned value) {
    if (unitBits == 1)
        SetBit(row, i, value);
    else
        SetNibble(row, i, value);
}
