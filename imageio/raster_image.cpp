#include "raster_image.h"

#include "pixmap_factory.h"
#include "qvt_error.h"
#include "qvt_format.h"

#include <algorithm>
#include <cstring>

void ThrowCodeError(std::uint32_t code) { throw ImageFileError(ErrorMessageForCode(code), code); }

ImageMode RasterImage::Mode() const {
    if (pixMap) return pixMap->GetMode();
    return display ? display->DisplayMode() : ModeNotGiven;
}

bool IsDisplayHeldMode(std::uint32_t mode) {
    return mode == ModeBitmap || mode == ModeGray || mode == ModeIndexed || mode == ModeRGB ||
           mode == ModeARGB;
}

bool ProfileFitsMode(ProfileSpace space, std::uint32_t mode) {
    switch (space) {
    case ProfileSpace::RGB:
        return mode == ModeBitmap || mode == ModeIndexed || mode == ModeRGB || mode == ModeARGB ||
               mode == ModeRGB48 || mode == ModeRGB12 || mode == ModeRGB16;
    case ProfileSpace::Gray:
        return mode == ModeBitmap || mode == ModeGray || mode == ModeGray16 || mode == ModeGray32;
    case ProfileSpace::CMYK:
        return mode == ModeCMYK || mode == ModeCMYK64;
    case ProfileSpace::Lab:
        return mode == ModeLab || mode == ModeLab48;
    case ProfileSpace::Other:
        break;
    }
    return false;
}

bool IsDeepMode(std::uint32_t mode) {
    return mode == ModeGray16 || mode == ModeRGB48 || mode == ModeLab48 || mode == ModeCMYK64 ||
           mode == ModeGray32;
}

std::uint32_t FullRangeMaximum(std::uint32_t mode) {
    if (mode == ModeGray32) return 0x3FFFFFFF;
    return IsDeepMode(mode) ? 65535 : 255;
}

ImagePixels::ImagePixels(RasterImage& image) : map_(image.pixMap.get()) {
    if (map_) return;
    if (image.display) attached_ = AttachDisplayImage(*image.display);
    if (!attached_) throw ImageFileError(kImageCreationFailed);
    map_ = attached_.get();
}

namespace {

template <typename Word>
void StretchRow(const std::uint8_t* from, std::uint8_t* to, std::uint64_t count,
                std::uint64_t maximum, std::uint64_t full) {
    for (std::uint64_t i = 0; i < count; ++i) {
        Word v;
        std::memcpy(&v, from + sizeof(Word) * i, sizeof(Word));
        v = static_cast<Word>((std::min<std::uint64_t>(v, maximum) * full * 2 + maximum) /
                              (2 * maximum));
        std::memcpy(to + sizeof(Word) * i, &v, sizeof(Word));
    }
}

} // namespace

std::unique_ptr<CPixMap> StretchedToFullRange(const CPixMap& source, std::uint32_t maximum) {
    auto copy = CreatePixMap(source.Rect(), source.GetMode());
    const std::uint64_t full = FullRangeMaximum(source.GetMode());
    const bool words32 = source.GetMode() == ModeGray32;
    const std::uint64_t count =
        std::uint64_t{source.Width()} * source.BitsPerPixel() / (words32 ? 32 : 16);
    for (std::uint32_t y = 0; y < source.Height(); ++y) {
        if (words32)
            StretchRow<std::uint32_t>(source.Row(y), copy->Row(y), count, maximum, full);
        else
            StretchRow<std::uint16_t>(source.Row(y), copy->Row(y), count, maximum, full);
    }
    return copy;
}

RasterImage MakeRasterImage(std::unique_ptr<CPixMap> pixels, std::uint32_t maxChannelValue) {
    RasterImage image;
    image.maxChannelValue = maxChannelValue;
    try {
        const ImageMode mode = pixels->GetMode();
        const bool stretch =
            IsDeepMode(mode) && maxChannelValue != 0 && maxChannelValue < FullRangeMaximum(mode);
        image.display =
            BuildDisplayImage(stretch ? *StretchedToFullRange(*pixels, maxChannelValue) : *pixels);
        if (!image.display) throw ImageFileError(kImageCreationFailed);
        if (image.display->DisplayMode() != mode) image.pixMap = std::move(pixels);
    } catch (const IOException&) {
        throw ImageFileError(kImageCreationFailed);
    }
    return image;
}

RasterImage CropRasterImage(RasterImage& whole, const PixRect& rect) {
    if (rect.IsEmpty()) ThrowCodeError(EINVAL);
    ImagePixels source(whole);
    std::unique_ptr<CPixMap> part;
    try {
        part = CreatePixMap({0, 0, rect.Width(), rect.Height()}, source->GetMode());
        if (const std::uint8_t* table = source->GetColorTable())
            std::memcpy(part->AllocColorTable(), table, kColorTableSize);
    } catch (const IOException&) {
        throw ImageFileError(kImageCreationFailed);
    }
    source->CopyRect(rect, *part, part->Rect());
    return MakeRasterImage(std::move(part), whole.maxChannelValue);
}
