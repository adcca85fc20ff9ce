#include "image_mode.h"

#include <array>

namespace {

constexpr std::array<const char*, kImageModeCount> kModeNames = {
    "Bitmap",    "Gray",     "Indexed",      "RGB",     "CMYK",
    "HSL",       "HSB",      "Multichannel", "Duotone", "Lab",
    "Gray16",    "RGB48",    "Lab48",        "CMYK64",  "Deep Multichannel",
    "Duotone16", "reserved", "ARGB",         "Gray32",  "RGB12",
    "RGB16",
};

} // namespace

const char* ImageModeName(std::uint32_t mode) {
    return mode < kModeNames.size() ? kModeNames[mode] : nullptr;
}
