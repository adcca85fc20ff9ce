#include "display_image.h"

#include "pixmap_factory.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

bool IsSupportedDepth(int bitsPerPixel) {
    return bitsPerPixel == 1 || bitsPerPixel == 4 || bitsPerPixel == 8 || bitsPerPixel == 16 ||
           bitsPerPixel == 24 || bitsPerPixel == 32;
}

int DepthOf(ImageMode displayMode) {
    switch (displayMode) {
    case ModeBitmap:
        return 1;
    case ModeGray:
    case ModeIndexed:
        return 8;
    case ModeARGB:
        return 32;
    default:
        return 24;
    }
}

void FillGrayRamp(CDisplayImage& image) {
    std::uint8_t ramp[256 * 4];
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<std::uint8_t>(i);
        std::uint8_t* entry = ramp + i * 4;
        entry[0] = entry[1] = entry[2] = v;
        entry[3] = 0;
    }
    image.SetColors(0, 256, ramp);
}

// The part [first, first + count) of a table of `size` entries, or nothing.
std::optional<std::pair<std::size_t, std::size_t>> TableRange(int first, int count, int size) {
    if (first < 0 || count <= 0 || first >= size) return std::nullopt;
    const int end = std::min(size, first + std::min(count, size));
    return std::pair{static_cast<std::size_t>(first) * 4,
                     static_cast<std::size_t>(end - first) * 4};
}

} // namespace

std::unique_ptr<CDisplayImage> CDisplayImage::Create(std::uint32_t width, std::uint32_t height,
                                                     int bitsPerPixel, ImageMode displayMode,
                                                     std::optional<BitFieldMasks> masks,
                                                     bool alpha) {
    if (!IsSupportedDepth(bitsPerPixel)) return nullptr;
    const std::uint64_t pitch =
        (std::uint64_t{width} * static_cast<unsigned>(bitsPerPixel) + 31) / 32 * 4;
    if (pitch > std::uint64_t{std::numeric_limits<std::int32_t>::max()}) return nullptr;
    const auto bytes = CheckedMul(pitch, height);
    if (!bytes) return nullptr;
    ByteBuffer pixels = TryAllocate<std::uint8_t>(*bytes, true);
    if (!pixels) return nullptr;

    std::unique_ptr<CDisplayImage> image(new CDisplayImage());
    image->width_ = width;
    image->height_ = height;
    image->bitsPerPixel_ = bitsPerPixel;
    image->displayMode_ = displayMode;
    image->masks_ = masks;
    image->alpha_ = alpha && bitsPerPixel == 32;
    image->pitch_ = static_cast<std::int32_t>(pitch);
    image->pixels_ = std::move(pixels);
    if (bitsPerPixel <= 8) image->colors_.assign(std::size_t{4} << bitsPerPixel, 0);
    return image;
}

void CDisplayImage::SetColors(int first, int count, const std::uint8_t* entries) {
    if (const auto range = TableRange(first, count, ColorCount()))
        std::memcpy(colors_.data() + range->first, entries, range->second);
}

void CDisplayImage::GetColors(int first, int count, std::uint8_t* entries) const {
    if (const auto range = TableRange(first, count, ColorCount()))
        std::memcpy(entries, colors_.data() + range->first, range->second);
}

ImageMode DisplayModeOf(std::uint32_t pixMapMode) {
    if (!FindModeLayout(pixMapMode)) return ModeNotGiven;
    switch (pixMapMode) {
    case ModeBitmap:
        return ModeBitmap;
    case ModeGray:
    case ModeGray16:
    case ModeGray32:
        return ModeGray;
    case ModeIndexed:
        return ModeIndexed;
    case ModeARGB:
        return ModeARGB;
    default:
        return ModeRGB;
    }
}

std::unique_ptr<CDisplayImage> CreateEmptyDisplayImage(std::uint32_t width, std::uint32_t height,
                                                       std::uint32_t pixMapMode) {
    const ImageMode mode = DisplayModeOf(pixMapMode);
    if (mode == ModeNotGiven) return nullptr;
    auto image =
        CDisplayImage::Create(width, height, DepthOf(mode), mode, std::nullopt, mode == ModeARGB);
    if (!image) return nullptr;
    if (mode == ModeBitmap) {
        const std::uint8_t whiteBlack[8] = {255, 255, 255, 0, 0, 0, 0, 0};
        image->SetColors(0, 2, whiteBlack);
    } else if (mode == ModeGray) {
        FillGrayRamp(*image);
    }
    return image;
}

std::unique_ptr<CPixMap> AttachDisplayImage(CDisplayImage& image) {
    const ImageMode mode = image.DisplayMode();
    const bool is565 = image.BitsPerPixel() == 16 && image.Masks() &&
                       image.Masks()->red == 0xF800 && image.Masks()->green == 0x07E0 &&
                       image.Masks()->blue == 0x001F;
    const bool described = (mode == ModeRGB16) ? is565 : DepthOf(mode) == image.BitsPerPixel();
    if (mode == ModeNotGiven || !described) return nullptr;
    auto map = AttachPixMap(image.Width(), image.Height(), mode, image.TopRow(), image.Pitch());
    if (map && mode == ModeIndexed) image.GetColors(0, image.ColorCount(), map->AllocColorTable());
    return map;
}

std::unique_ptr<CDisplayImage> BuildDisplayImage(const CPixMap& source) {
    auto image = CreateEmptyDisplayImage(source.Width(), source.Height(), source.GetMode());
    if (!image) return nullptr;
    const auto target = AttachDisplayImage(*image);
    source.ConvertTo(*target);
    if (image->DisplayMode() == ModeIndexed && target->GetColorTable())
        image->SetColors(0, target->GetColorCount(), target->GetColorTable());
    return image;
}

std::unique_ptr<CDisplayImage> CreateChannelImage(std::uint32_t width, std::uint32_t height) {
    return CreateEmptyDisplayImage(width, height, ModeGray);
}

bool BuildChannelImage(const CPixMap& source, int channel, CDisplayImage& channelImage) {
    if (channelImage.Width() != source.Width() || channelImage.Height() != source.Height())
        return false;
    const auto target = AttachDisplayImage(channelImage);
    if (!target || target->GetMode() != ModeGray) return false;
    source.ExtractChannel(channel, *target);
    return true;
}
