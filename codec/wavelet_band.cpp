#include "wavelet_band.h"

bool CWaveletBand::SizeForRegion() {
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
}
