#include "pixel_layout.h"

namespace {

std::uint32_t UnitBits(PixelUnit unit) {
    switch (unit) {
    case PixelUnit::Word16:
        return 16;
    case PixelUnit::Word32:
        return 32;
    default:
        return 8;
    }
}

// The bits per pixel that a fixed layout needs, or 0 when the buffer decides the pixel size.
std::uint32_t FixedBitsPerPixel(PixelUnit unit) {
    switch (unit) {
    case PixelUnit::Bit:
        return 1;
    case PixelUnit::Nibble:
        return 12;
    case PixelUnit::PackedRgb16:
        return 16;
    default:
        return 0;
    }
}

std::uint64_t FixedRowBytes(PixelUnit unit, std::uint64_t width) {
    switch (unit) {
    case PixelUnit::Bit:
        return (width + 7) / 8;
    case PixelUnit::Nibble:
        return (3 * width + 1) / 2;
    default:
        return 2 * width;
    }
}

void CheckSampleBits(const ChannelImage& image) {
    if (!IsDeepMode(image.mode)) return;
    const unsigned limit = image.mode == ModeGray32 ? 31 : 16;
    if (image.sampleBits < 1 || image.sampleBits > limit) ThrowCodecError(ErrorWrongFormat);
}

} // namespace

int ExchangedChannels(const ChannelImage& image) {
    switch (image.mode) {
    // Modes without a colour transform exchange every channel the header declares.
    case ModeGray:
    case ModeIndexed:
    case ModeHSL:
    case ModeHSB:
    case ModeLab:
    case ModeGray16:
    case ModeLab48:
        return image.channels;
    default:
        return ChannelsFromMode(image.mode);
    }
}

bool IsDeepMode(std::uint8_t mode) {
    return mode == ModeGray16 || mode == ModeRGB48 || mode == ModeLab48 || mode == ModeCMYK64 ||
           mode == ModeGray32;
}

PixelUnit ImportUnit(std::uint8_t mode) {
    switch (mode) {
    case ModeBitmap:
        return PixelUnit::Bit;
    case ModeRGB12:
        return PixelUnit::Nibble;
    case ModeRGB16:
        return PixelUnit::PackedRgb16;
    case ModeGray32:
        return PixelUnit::Word32;
    default:
        return IsDeepMode(mode) ? PixelUnit::Word16 : PixelUnit::Byte;
    }
}

PixelUnit ExportUnit(std::uint8_t mode, std::uint32_t bitsPerPixel, int channels) {
    if (mode == ModeGray32) {
        if (bitsPerPixel % 32 == 0) return PixelUnit::Word32;
        return bitsPerPixel % 16 == 0 ? PixelUnit::Word16 : PixelUnit::Byte;
    }
    if (IsDeepMode(mode)) {
        // Words only when a pixel has room for a word per channel; a narrower buffer gets the
        // 8-bit layout of the mode rather than words that would spill into the next pixel.
        const bool wordsFit =
            bitsPerPixel % 16 == 0 && bitsPerPixel >= 16 * static_cast<std::uint32_t>(channels);
        return wordsFit ? PixelUnit::Word16 : PixelUnit::Byte;
    }
    return ImportUnit(mode);
}

PixelLayout ResolvePixelLayout(const ChannelImage& image, std::uint32_t width, std::uint32_t height,
                               int channels, PixelUnit unit, std::uint32_t bitsPerPixel,
                               const ChannelMap* map, const void* bits, std::ptrdiff_t rowPitch) {
    if (channels < 1 || channels > kMaxChannels || channels > image.channels)
        ThrowCodecError(ErrorWrongFormat);
    CheckSampleBits(image);

    PixelLayout layout;
    layout.unit = unit;
    const std::uint32_t fixedBits = FixedBitsPerPixel(unit);
    if (fixedBits != 0) {
        if (bitsPerPixel != fixedBits) ThrowCodecError(ErrorWrongFormat);
        layout.rowBytes = FixedRowBytes(unit, width);
    } else {
        const std::uint32_t unitBits = UnitBits(unit);
        if (bitsPerPixel % unitBits != 0 && unit != PixelUnit::Byte)
            ThrowCodecError(ErrorWrongFormat);
        layout.unitsPerPixel = bitsPerPixel / unitBits;
        const ChannelMap identity;
        const ChannelMap& positions = map ? *map : identity;
        for (int c = 0; c < channels; ++c) {
            layout.position[c] = positions.position[c];
            if (layout.position[c] >= layout.unitsPerPixel) ThrowCodecError(ErrorWrongFormat);
        }
        layout.rowBytes = std::uint64_t{width} * layout.unitsPerPixel * (unitBits / 8);
    }

    const bool empty = width == 0 || height == 0;
    if (!empty && bits == nullptr) ThrowCodecError(ErrorWrongFormat);
    // Rows closer together than their length would overlap; a caller never means that.
    const std::uint64_t pitchBytes = rowPitch < 0 ? 0 - static_cast<std::uint64_t>(rowPitch)
                                                  : static_cast<std::uint64_t>(rowPitch);
    if (height > 1 && pitchBytes < layout.rowBytes) ThrowCodecError(ErrorWrongFormat);
    return layout;
}

void CheckPlaneReach(const SamplePlane& plane, std::uint64_t lastColumn, std::uint64_t lastRow) {
    if (plane.samples == nullptr || lastColumn >= plane.width || lastRow >= plane.height ||
        plane.stride < plane.width)
        ThrowCodecError(ErrorWrongFormat);
}
