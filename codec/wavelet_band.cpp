#include "wavelet_band.h"

bool CWaveletBand::SizeForRegion() {
    if (placed) return true;
    const std::uint64_t needed = RegionSampleCount();
    if (data && size >= needed) {
        size = needed;
        return true;
    }
    data.reset();
    data = TryAllocateSamples(needed);
    size = data ? needed : 0;
    return data != nullptr;
}

void CWaveletBand::Release() {
    data.reset();
    size = 0;
    placed = nullptr;
    placedPitch = 0;
}

void CWaveletBand::PlaceAt(std::int32_t* at, std::uint64_t pitch) {
    data.reset();
    size = 0;
    placed = at;
    placedPitch = pitch;
}
