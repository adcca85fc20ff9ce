#include "image_compare.h"

#include <cstdio>
#include <vector>

namespace {

std::string Format(const char* format, char letter, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, letter, value);
    return text;
}

} // namespace

PSNRComparison ComparePSNR(RasterImage& first, RasterImage& second) {
    PSNRComparison result;
    ImagePixels a(first);
    ImagePixels b(second);
    if (a->GetMode() != b->GetMode() || a->Width() != b->Width() || a->Height() != b->Height() ||
        a->BitsPerPixel() != b->BitsPerPixel()) {
        result.text = "The two images are incompatible. The PSNR cannot be computed.";
        return result;
    }
    result.compatible = true;
    std::vector<double> perChannel;
    const double psnr = a->ComputePSNR(*b, perChannel);
    if (psnr == -1) {
        result.identical = true;
        result.text = "There is no difference. Lossless quality!";
        return result;
    }
    char text[64];
    std::snprintf(text, sizeof text, "The PSNR is %.1f dB.", psnr);
    result.text = text;
    if (perChannel.size() <= 1) return result;
    result.text += "\n[";
    for (std::size_t c = 0; c < perChannel.size(); ++c) {
        const double value = perChannel[c] == -1 ? 100.0 : perChannel[c];
        const bool last = c + 1 == perChannel.size();
        result.text += Format(last ? "%c: %.1f]" : "%c: %.1f, ",
                              a->GetChannelLetter(static_cast<int>(c)), value);
    }
    return result;
}
