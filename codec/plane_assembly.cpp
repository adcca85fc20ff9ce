#include "plane_assembly.h"

#include <algorithm>
#include <bit>

#if defined(QVT_HAVE_AVX2_KERNELS)
#include <immintrin.h>
#endif

namespace {

// A two's complement value built a plane bit at a time: the first bit gives it its sign, every
// later bit moves it away from zero, by subtraction while it reads negative. Below 2^31 that is
// the signed magnitude. A first bit at 2^31 reads negative whatever the sign, so the next bit is
// subtracted, which leaves the value positive, and the bits after that are added.
inline std::int32_t SignedValue(std::uint32_t magnitude, bool negative) {
    if ((magnitude >> 31) == 0)
        return static_cast<std::int32_t>(negative ? 0u - magnitude : magnitude);
    const std::uint32_t rest = magnitude & 0x7FFFFFFF;
    if (rest == 0) return static_cast<std::int32_t>(magnitude);
    const std::uint32_t second = std::uint32_t{1} << (std::bit_width(rest) - 1);
    return static_cast<std::int32_t>(0x80000000u - 2 * second + rest);
}

} // namespace

void AssembleValuesPortable(const BitPlanes& planes, std::uint32_t words, std::int32_t* values) {
    for (std::uint32_t w = 0; w < words; ++w) {
        if (planes.nonzero[w] == 0) {
            std::fill_n(values + w * 32, 32, 0);
            continue;
        }
        std::uint32_t magnitudes[32] = {};
        for (std::uint32_t b = 0; b < planes.planes; ++b)
            for (std::uint32_t set = planes.planeBits[b * planes.planeStride + w]; set != 0;
                 set &= set - 1)
                magnitudes[std::countr_zero(set)] |= 1u << b;
        const std::uint32_t negative = planes.negative[w];
        for (std::uint32_t j = 0; j < 32; ++j)
            values[w * 32 + j] = SignedValue(magnitudes[j], ((negative >> j) & 1) != 0);
    }
}

#if defined(QVT_HAVE_AVX2_KERNELS)

bool ProcessorHasAvx2() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2");
    }();
    return has;
}

// Eight planes at a time build one byte per value: each plane's 32 bits are spread to 32 bytes
// (0 or -1) and the byte sums are doubled before the next plane's bit is subtracted in. The four
// bytes of a magnitude are then interleaved into 32-bit lanes.
[[gnu::target("avx2")]] void AssembleValuesAvx2(const BitPlanes& planes, std::uint32_t words,
                                                std::int32_t* values) {
    // Byte j of the result takes byte j / 8 of the plane word (shuffles stay in 128-bit lanes,
    // and every lane holds the whole broadcast word) and tests bit j % 8 of it.
    const __m256i spread = _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2,
                                            2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3);
    const __m256i byteBit = _mm256_set1_epi64x(static_cast<long long>(0x8040201008040201ull));
    const __m256i laneBit = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
    const std::uint32_t groups = (planes.planes + 7) / 8;
    for (std::uint32_t w = 0; w < words; ++w) {
        // Flat parts of an image give words of zeros only.
        if (planes.nonzero[w] == 0) {
            for (int k = 0; k < 4; ++k)
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(values + w * 32 + 8 * k),
                                    _mm256_setzero_si256());
            continue;
        }
        __m256i bytes[4] = {_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256(),
                            _mm256_setzero_si256()};
        for (std::uint32_t g = 0; g < groups; ++g) {
            const std::uint32_t top = std::min(8 * g + 8, planes.planes);
            __m256i sum = _mm256_setzero_si256();
            for (std::uint32_t b = top; b-- > 8 * g;) {
                const auto bits = static_cast<int>(planes.planeBits[b * planes.planeStride + w]);
                const __m256i spreadBits =
                    _mm256_and_si256(_mm256_shuffle_epi8(_mm256_set1_epi32(bits), spread), byteBit);
                sum = _mm256_sub_epi8(_mm256_add_epi8(sum, sum),
                                      _mm256_cmpeq_epi8(spreadBits, byteBit));
            }
            bytes[g] = sum;
        }
        // Unpacking works inside 128-bit lanes: r0 holds values 0-3 and 16-19, r1 4-7 and
        // 20-23, r2 8-11 and 24-27, r3 12-15 and 28-31.
        const __m256i low01 = _mm256_unpacklo_epi8(bytes[0], bytes[1]);
        const __m256i high01 = _mm256_unpackhi_epi8(bytes[0], bytes[1]);
        const __m256i low23 = _mm256_unpacklo_epi8(bytes[2], bytes[3]);
        const __m256i high23 = _mm256_unpackhi_epi8(bytes[2], bytes[3]);
        const __m256i r0 = _mm256_unpacklo_epi16(low01, low23);
        const __m256i r1 = _mm256_unpackhi_epi16(low01, low23);
        const __m256i r2 = _mm256_unpacklo_epi16(high01, high23);
        const __m256i r3 = _mm256_unpackhi_epi16(high01, high23);
        const __m256i magnitudes[4] = {
            _mm256_permute2x128_si256(r0, r1, 0x20), _mm256_permute2x128_si256(r2, r3, 0x20),
            _mm256_permute2x128_si256(r0, r1, 0x31), _mm256_permute2x128_si256(r2, r3, 0x31)};
        const std::uint32_t negative = planes.negative[w];
        for (int k = 0; k < 4; ++k) {
            const __m256i signBits =
                _mm256_and_si256(_mm256_set1_epi32(static_cast<int>(negative >> (8 * k))), laneBit);
            const __m256i negate = _mm256_cmpeq_epi32(signBits, laneBit);
            // (m ^ -1) - (-1) = -m; (m ^ 0) - 0 = m.
            const __m256i value = _mm256_sub_epi32(_mm256_xor_si256(magnitudes[k], negate), negate);
            std::int32_t* out = values + w * 32 + 8 * k;
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), value);
            // Magnitudes of 2^31 and more come only from damaged code.
            if (_mm256_movemask_ps(_mm256_castsi256_ps(magnitudes[k])) != 0) {
                alignas(32) std::uint32_t wide[8];
                _mm256_store_si256(reinterpret_cast<__m256i*>(wide), magnitudes[k]);
                for (int j = 0; j < 8; ++j)
                    out[j] = SignedValue(wide[j], ((negative >> (8 * k + j)) & 1) != 0);
            }
        }
    }
}

#endif

void AssembleValues(const BitPlanes& planes, std::uint32_t words, std::int32_t* values) {
#if defined(QVT_HAVE_AVX2_KERNELS)
    if (ProcessorHasAvx2()) return AssembleValuesAvx2(planes, words, values);
#endif
    AssembleValuesPortable(planes, words, values);
}
