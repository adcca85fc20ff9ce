#include "clipboard_image.h"

#include "banded_pixels.h"
#include "memory_budget.h"
#include "pixmap_block.h"
#include "qvt_error.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint32_t kGray32Maximum = 0x3FFFFFFF;

void LimitGray32(CPixMap& map) {
    for (std::uint32_t y = 0; y < map.Height(); ++y) {
        std::uint8_t* row = map.Row(y);
        for (std::uint32_t x = 0; x < map.Width(); ++x) {
            std::uint32_t value;
            std::memcpy(&value, row + 4 * x, 4);
            value = std::min(value, kGray32Maximum);
            std::memcpy(row + 4 * x, &value, 4);
        }
    }
}

} // namespace

bool OffersPixMapBlock(const RasterImage& image) { return image.pixMap != nullptr; }

std::vector<std::uint8_t> PixMapBlockOf(RasterImage& image) {
    const FullRangePixels pixels(image);
    try {
        return WritePixMapBlock(*pixels);
    } catch (const IOException&) {
        throw ImageFileError(kImageCreationFailed);
    }
}

bool IsUsablePixMapBlock(std::span<const std::uint8_t> block) {
    return block.size() >= kPixMapBlockHeadSize && block[0] != ModeIndexed &&
           FindModeLayout(block[0]) != nullptr;
}

RasterImage ImageFromPixMapBlock(std::span<const std::uint8_t> block) {
    std::unique_ptr<CPixMap> map;
    try {
        map = CreatePixMapFromBlock(block);
    } catch (const IOException& error) {
        throw ImageFileError(error.error == ErrorOutOfMemory ? kImageCreationFailed
                                                             : kDamagedImageData);
    }
    if (map->Width() == 0 || map->Height() == 0 || map->GetMode() == ModeIndexed)
        throw ImageFileError(kDamagedImageData);
    EnsureMemoryFor(DocumentImageBytes(map->Width(), map->Height(), map->GetMode()));
    if (map->GetMode() == ModeGray32) LimitGray32(*map);
    const ImageMode mode = map->GetMode();
    return MakeRasterImage(std::move(map), IsDeepMode(mode) ? FullRangeMaximum(mode) : 0);
}

RasterImage WithoutOpaqueAlpha(RasterImage image) {
    if (image.pixMap || !image.display || image.display->DisplayMode() != ModeARGB) return image;
    CDisplayImage& display = *image.display;
    for (std::uint32_t y = 0; y < display.Height(); ++y) {
        const std::uint8_t* row = display.TopRow() + std::ptrdiff_t{display.Pitch()} * y;
        for (std::uint32_t x = 0; x < display.Width(); ++x)
            if (row[4 * x + 3] != 255) return image;
    }
    RasterImage opaque;
    opaque.display = NewDisplayImage(display.Width(), display.Height(), ModeRGB);
    MapOver(display)->ConvertTo(*MapOver(*opaque.display));
    return opaque;
}
