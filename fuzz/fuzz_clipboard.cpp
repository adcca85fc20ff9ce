// Reads the input both as a pixel-map block and as a device-independent bitmap block; whatever
// reads must write back into a block that reads to the same image.
#include "dib_block.h"
#include "fuzz_support.h"
#include "pixmap_block.h"
#include "qvt_error.h"

#include <cstring>

namespace {

void CheckPixMapBlock(std::span<const std::uint8_t> block) {
    std::unique_ptr<CPixMap> map;
    try {
        map = CreatePixMapFromBlock(block);
    } catch (const IOException&) {
        return;
    }
    const auto again = CreatePixMapFromBlock(WritePixMapBlock(*map));
    Require(again->Rect() == map->Rect(), "a pixel-map block changed its rectangle");
    Require(SamePixels(*again, *map), "a pixel-map block changed its pixels");
}

bool SameDisplayImage(const CDisplayImage& a, const CDisplayImage& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() ||
        a.BitsPerPixel() != b.BitsPerPixel() || a.DisplayMode() != b.DisplayMode() ||
        a.HasAlpha() != b.HasAlpha() || a.Pitch() != b.Pitch() || a.ColorCount() != b.ColorCount())
        return false;
    if (a.Masks().has_value() != b.Masks().has_value()) return false;
    if (a.Masks() && (a.Masks()->red != b.Masks()->red || a.Masks()->green != b.Masks()->green ||
                      a.Masks()->blue != b.Masks()->blue))
        return false;
    const std::size_t tableBytes = static_cast<std::size_t>(a.ColorCount()) * 4;
    const std::size_t pixelBytes = static_cast<std::size_t>(a.Pitch()) * a.Height();
    return (tableBytes == 0 || std::memcmp(a.ColorTable(), b.ColorTable(), tableBytes) == 0) &&
           std::memcmp(a.TopRow(), b.TopRow(), pixelBytes) == 0;
}

void CheckDibBlock(std::span<const std::uint8_t> block) {
    std::unique_ptr<CDisplayImage> image;
    try {
        image = ReadDibBlock(block);
    } catch (const IOException&) {
        return;
    }
    const auto again = ReadDibBlock(WriteDibBlock(*image));
    Require(SameDisplayImage(*again, *image), "a bitmap block changed its image");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> block(data, size);
    CheckPixMapBlock(block);
    CheckDibBlock(block);
    return 0;
}
