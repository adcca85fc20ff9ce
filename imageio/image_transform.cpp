#include "image_transform.h"

#include "pixmap_factory.h"
#include "qvt_error.h"
#include "qvt_format.h"

#include <cstring>

namespace {

std::unique_ptr<CPixMap> NewMapLike(const CPixMap& source, ImageMode mode, std::uint32_t width,
                                    std::uint32_t height) {
    try {
        auto map = CreatePixMap({0, 0, width, height}, mode);
        if (mode == source.GetMode() && source.GetColorTable())
            std::memcpy(map->AllocColorTable(), source.GetColorTable(), kColorTableSize);
        return map;
    } catch (const IOException&) {
        throw ImageFileError(kImageCreationFailed);
    }
}

} // namespace

bool CanConvertImage(RasterImage& image, ImageMode mode) {
    return ImagePixels(image)->CanConvertTo(mode);
}

RasterImage ConvertImage(RasterImage& image, ImageMode mode) {
    const ImageMode from = image.Mode();
    ImagePixels source(image);
    std::unique_ptr<CPixMap> stretched;
    if (IsDeepMode(from) && image.maxChannelValue != 0 &&
        image.maxChannelValue < FullRangeMaximum(from)) {
        try {
            stretched = StretchedToFullRange(*source, image.maxChannelValue);
        } catch (const IOException&) {
            throw ImageFileError(kImageCreationFailed);
        }
    }
    const CPixMap& pixels = stretched ? *stretched : *source;
    auto target = NewMapLike(pixels, mode, pixels.Width(), pixels.Height());
    pixels.ConvertTo(*target);
    return MakeRasterImage(std::move(target), IsDeepMode(mode) ? FullRangeMaximum(mode) : 0);
}

RasterImage ResizeImage(RasterImage& image, std::uint32_t width, std::uint32_t height) {
    ImagePixels source(image);
    auto target = NewMapLike(*source, source->GetMode(), width, height);
    source->StretchRect(source->Rect(), *target, target->Rect());
    return MakeRasterImage(std::move(target), image.maxChannelValue);
}
