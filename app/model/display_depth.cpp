#include "display_depth.h"

#include "pixmap_factory.h"
#include "qvt_error.h"

#include <bit>
#include <cstring>

namespace {

std::uint8_t* RowOf(CDisplayImage& image, std::uint32_t y) {
    return image.TopRow() + std::ptrdiff_t{image.Pitch()} * y;
}

std::unique_ptr<CDisplayImage> Create(std::uint32_t width, std::uint32_t height, ImageMode mode) {
    auto image = CreateEmptyDisplayImage(width, height, mode);
    if (!image) throw ImageFileError(kImageCreationFailed);
    return image;
}

RasterImage Held(std::unique_ptr<CDisplayImage> image) {
    RasterImage raster;
    raster.display = std::move(image);
    return raster;
}

RasterImage FourToEight(CDisplayImage& source) {
    auto image = Create(source.Width(), source.Height(), ModeIndexed);
    image->SetColors(0, 16, source.ColorTable());
    for (std::uint32_t y = 0; y < source.Height(); ++y) {
        const std::uint8_t* from = RowOf(source, y);
        std::uint8_t* to = RowOf(*image, y);
        for (std::uint32_t x = 0; x < source.Width(); ++x)
            to[x] = x % 2 == 0 ? from[x / 2] >> 4 : from[x / 2] & 0x0F;
    }
    return Held(std::move(image));
}

// One channel of a pixel under a mask, scaled to 0 ... 255.
std::uint8_t Channel(std::uint32_t pixel, std::uint32_t mask) {
    if (mask == 0) return 0;
    const std::uint32_t value = (pixel & mask) >> std::countr_zero(mask);
    const std::uint32_t maximum = mask >> std::countr_zero(mask);
    return static_cast<std::uint8_t>((std::uint64_t{value} * 255 + maximum / 2) / maximum);
}

RasterImage MaskedToRgb(CDisplayImage& source, BitFieldMasks masks) {
    auto image = Create(source.Width(), source.Height(), ModeRGB);
    const int bytes = source.BitsPerPixel() / 8;
    for (std::uint32_t y = 0; y < source.Height(); ++y) {
        const std::uint8_t* from = RowOf(source, y);
        std::uint8_t* to = RowOf(*image, y);
        for (std::uint32_t x = 0; x < source.Width(); ++x) {
            std::uint32_t pixel = 0;
            std::memcpy(&pixel, from + std::size_t{x} * bytes, static_cast<std::size_t>(bytes));
            to[3 * x] = Channel(pixel, masks.blue);
            to[3 * x + 1] = Channel(pixel, masks.green);
            to[3 * x + 2] = Channel(pixel, masks.red);
        }
    }
    return Held(std::move(image));
}

RasterImage Rgb565ToPixMap(CDisplayImage& source) {
    std::unique_ptr<CPixMap> pixels;
    try {
        pixels = CreatePixMap({0, 0, source.Width(), source.Height()}, ModeRGB16);
    } catch (const IOException&) {
        throw ImageFileError(kImageCreationFailed);
    }
    for (std::uint32_t y = 0; y < source.Height(); ++y)
        std::memcpy(pixels->Row(y), RowOf(source, y), std::size_t{source.Width()} * 2);
    return MakeRasterImage(std::move(pixels), 0);
}

bool AlphaIsZeroEverywhere(CDisplayImage& image) {
    for (std::uint32_t y = 0; y < image.Height(); ++y) {
        const std::uint8_t* row = RowOf(image, y);
        for (std::uint32_t x = 0; x < image.Width(); ++x)
            if (row[4 * x + 3] != 0) return false;
    }
    return true;
}

constexpr BitFieldMasks kMasks555{0x7C00, 0x03E0, 0x001F};
constexpr BitFieldMasks kMasks565{0xF800, 0x07E0, 0x001F};
constexpr BitFieldMasks kMasks888{0xFF0000, 0x00FF00, 0x0000FF};

bool operator==(const BitFieldMasks& a, const BitFieldMasks& b) {
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

} // namespace

RasterImage NormalizeDisplayDepth(std::unique_ptr<CDisplayImage> image) {
    switch (image->BitsPerPixel()) {
    case 4:
        return FourToEight(*image);
    case 16: {
        const BitFieldMasks masks = image->Masks().value_or(kMasks555);
        if (masks == kMasks565) return Rgb565ToPixMap(*image);
        return MaskedToRgb(*image, masks);
    }
    case 32:
        if (image->Masks()) return MaskedToRgb(*image, *image->Masks());
        if (AlphaIsZeroEverywhere(*image)) return MaskedToRgb(*image, kMasks888);
        return Held(std::move(image));
    default:
        return Held(std::move(image));
    }
}
