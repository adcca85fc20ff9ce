// Values from the bit planes the plane decoder collects: word w of plane b holds bit b of the
// magnitudes of values 32w … 32w + 31 (bit j for value 32w + j), and a sign word per 32 values
// says which are negative. Gathering the planes into values once per block, 32 values at a time,
// replaces a read-modify-write of single values for every bit of every plane.
#pragma once

#include <cstdint>

#if defined(__x86_64__) && defined(__GNUC__)
#define QVT_HAVE_AVX2_KERNELS 1
#endif

// Where the planes of a block lie: plane b starts at planeBits + b * planeStride.
struct BitPlanes {
    const std::uint32_t* planeBits;
    std::uint32_t planeStride;
    std::uint32_t planes; // 1 … 32
    const std::uint32_t* negative;
    // Per word, the values that have a bit in some plane: words without any are all zero.
    const std::uint32_t* nonzero;
};

// Writes values[0 .. 32 * words) as adding one plane bit after another to a two's complement
// value makes them: the signed magnitude, except for magnitudes of 2^31 and more, which only
// damaged code holds.
void AssembleValues(const BitPlanes& planes, std::uint32_t words, std::int32_t* values);

// The same one set bit at a time, for every processor; AssembleValues chooses.
void AssembleValuesPortable(const BitPlanes& planes, std::uint32_t words, std::int32_t* values);
#if defined(QVT_HAVE_AVX2_KERNELS)
// With vector instructions; only where ProcessorHasAvx2().
void AssembleValuesAvx2(const BitPlanes& planes, std::uint32_t words, std::int32_t* values);
bool ProcessorHasAvx2();
#endif
