// Image modes: the numbers carried by the QVT header, the container header and the pixel maps.
#pragma once

#include <cstdint>

enum ImageMode : std::uint8_t {
    ModeBitmap = 0,
    ModeGray = 1,
    ModeIndexed = 2,
    ModeRGB = 3,
    ModeCMYK = 4,
    ModeHSL = 5,
    ModeHSB = 6,
    ModeMultichannel = 7,
    ModeDuotone = 8,
    ModeLab = 9,
    ModeGray16 = 10,
    ModeRGB48 = 11,
    ModeLab48 = 12,
    ModeCMYK64 = 13,
    ModeDeepMultichannel = 14,
    ModeDuotone16 = 15,
    ModeReserved = 16,
    ModeARGB = 17,
    ModeGray32 = 18,
    ModeRGB12 = 19,
    ModeRGB16 = 20,
    ModeNotGiven = 255,
};

inline constexpr int kImageModeCount = 21;

// The display name of a mode ("Bitmap", "RGB48", ...), or nullptr for a number past the table.
const char* ImageModeName(std::uint32_t mode);
