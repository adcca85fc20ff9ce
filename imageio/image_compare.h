// Comparing two images by their peak signal-to-noise ratio, with the texts the user reads.
#pragma once

#include "raster_image.h"

#include <string>

struct PSNRComparison {
    bool compatible = false; // same mode, size and depth
    bool identical = false;
    std::string text;
};

// "The two images are incompatible. The PSNR cannot be computed.", "There is no difference.
// Lossless quality!", or "The PSNR is %.1f dB." followed, for several channels, by a line
// "[R: %.1f, G: %.1f, B: %.1f]" (a channel without difference shows 100.0).
PSNRComparison ComparePSNR(RasterImage& first, RasterImage& second);
