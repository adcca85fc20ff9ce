// Word operations of the plane coders in two flavours with the same results: portable code, and
// the processor's population count and parallel bit extract/deposit instructions where an x86
// processor has them (they turn the per-word work of a plane into a handful of instructions).
#pragma once

#include "code_bits.h"

#include <bit>
#include <cstdint>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QVT_HAVE_BMI2_KERNELS 1
#endif

struct PortableBitOps {
    static std::uint32_t Count(std::uint32_t bits) {
        return static_cast<std::uint32_t>(std::popcount(bits));
    }
    static std::uint32_t Extract(std::uint32_t bits, std::uint32_t mask) {
        return ExtractBits(bits, mask);
    }
    static std::uint32_t Deposit(std::uint32_t bits, std::uint32_t mask) {
        return DepositBits(bits, mask);
    }
};

#if defined(QVT_HAVE_BMI2_KERNELS)
// Callers must run these only when ProcessorHasBmi2() is true, and only from functions compiled
// for the same instructions (QVT_BMI2_KERNEL), so that they are inlined.
#define QVT_BMI2_KERNEL [[gnu::target("popcnt,bmi,bmi2"), gnu::flatten]]
struct Bmi2BitOps {
    [[gnu::target("popcnt,bmi,bmi2")]] static std::uint32_t Count(std::uint32_t bits) {
        return static_cast<std::uint32_t>(__builtin_popcount(bits));
    }
    [[gnu::target("popcnt,bmi,bmi2")]] static std::uint32_t Extract(std::uint32_t bits,
                                                                    std::uint32_t mask) {
        return _pext_u32(bits, mask);
    }
    [[gnu::target("popcnt,bmi,bmi2")]] static std::uint32_t Deposit(std::uint32_t bits,
                                                                    std::uint32_t mask) {
        return _pdep_u32(bits, mask);
    }
};

inline bool ProcessorHasBmi2() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("popcnt") && __builtin_cpu_supports("bmi2");
    }();
    return has;
}
#endif
