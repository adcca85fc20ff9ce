// Random sample planes for the wavelet tests, mixing small values with values at the 32-bit
// limits so that every lifting sum also exercises wrapping.
#pragma once

#include <cstdint>
#include <limits>
#include <random>
#include <vector>

inline std::vector<std::int32_t> RandomSamples(std::size_t count, std::mt19937& random) {
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    std::uniform_int_distribution<int> kind(0, 3);
    std::uniform_int_distribution<std::int32_t> any(kMin, kMax);
    std::uniform_int_distribution<std::int32_t> small(-300, 300);
    std::uniform_int_distribution<std::int32_t> nearLimit(0, 3);
    std::vector<std::int32_t> samples(count);
    for (auto& sample : samples) {
        switch (kind(random)) {
        case 0:
            sample = any(random);
            break;
        case 1:
            sample = kMin + nearLimit(random);
            break;
        case 2:
            sample = kMax - nearLimit(random);
            break;
        default:
            sample = small(random);
            break;
        }
    }
    return samples;
}
