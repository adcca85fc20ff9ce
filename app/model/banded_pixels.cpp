#include "banded_pixels.h"

#include "pixmap_factory.h"
#include "qvt_error.h"
#include "qvt_format.h"

#include <cstring>

namespace {

// Runs `make`, turning the core's out-of-memory error into the command's message.
template <typename Make>
auto Creating(Make make) {
    try {
        auto made = make();
        if (!made) throw ImageFileError(kImageCreationFailed);
        return made;
    } catch (const IOException&) {
        throw ImageFileError(kImageCreationFailed);
    }
}

// The rows first ... end - 1 of a map as a map of their own over the same memory, placed at
// `top` in its own coordinates. The core's maps take writable memory; a band of a source map is
// only read.
std::unique_ptr<CPixMap> Band(const CPixMap& map, std::uint32_t first, std::uint32_t end,
                              std::uint32_t top) {
    auto band = Creating([&] {
        return AttachPixMap(PixRect{0, top, map.Width(), top + (end - first)}, map.GetMode(),
                            const_cast<std::uint8_t*>(map.Row(first)), map.Stride());
    });
    if (const std::uint8_t* table = map.GetColorTable())
        std::memcpy(Creating([&] { return band->AllocColorTable(); }), table, kColorTableSize);
    return band;
}

bool ConvertsRowByRow(ImageMode from, ImageMode to) {
    return from != to && to != ModeBitmap && to != ModeIndexed;
}

} // namespace

FullRangePixels::FullRangePixels(RasterImage& image) : pixels_(image), map_(&*pixels_) {
    const ImageMode mode = map_->GetMode();
    const std::uint32_t maximum = image.maxChannelValue;
    if (IsDeepMode(mode) && maximum != 0 && maximum < FullRangeMaximum(mode)) {
        stretched_ = Creating([&] { return StretchedToFullRange(*map_, maximum); });
        map_ = stretched_.get();
    }
}

void ConvertInBands(const CPixMap& source, CPixMap& destination, JobContext& context,
                    ProgressSpan span) {
    if (!ConvertsRowByRow(source.GetMode(), destination.GetMode())) {
        context.Report(span.first);
        source.ConvertTo(destination);
        context.Report(span.last);
        return;
    }
    ForEachRowBand(source.Height(), context, span, [&](std::uint32_t first, std::uint32_t end) {
        const auto from = Band(source, first, end, 0);
        const auto to = Band(destination, first, end, 0);
        from->ConvertTo(*to);
    });
}

void StretchInBands(const CPixMap& source, CPixMap& destination, JobContext& context,
                    ProgressSpan span) {
    const PixRect whole{0, 0, destination.Width(), destination.Height()};
    // A bitmap is resampled through gray and dithered back over the whole image.
    if (source.GetMode() == ModeBitmap) {
        context.Report(span.first);
        source.StretchRect(source.Rect(), destination, destination.Rect());
        context.Report(span.last);
        return;
    }
    if (const std::uint8_t* table = source.GetColorTable())
        std::memcpy(Creating([&] { return destination.AllocColorTable(); }), table,
                    kColorTableSize);
    // Each band is the part of the whole destination rectangle that lies at its rows, so the
    // weights are those of the whole image.
    ForEachRowBand(destination.Height(), context, span,
                   [&](std::uint32_t first, std::uint32_t end) {
                       const auto band = Band(destination, first, end, first);
                       source.StretchRect(source.Rect(), *band, whole);
                   });
}

std::unique_ptr<CDisplayImage> NewDisplayImage(std::uint32_t width, std::uint32_t height,
                                               std::uint32_t mode) {
    return Creating([&] { return CreateEmptyDisplayImage(width, height, mode); });
}

std::unique_ptr<CPixMap> NewPixMap(std::uint32_t width, std::uint32_t height, std::uint32_t mode) {
    return Creating([&] { return CreatePixMap(PixRect{0, 0, width, height}, mode); });
}

std::unique_ptr<CPixMap> MapOver(CDisplayImage& image) {
    return Creating([&] { return AttachDisplayImage(image); });
}

std::unique_ptr<CDisplayImage> DisplayImageOf(const CPixMap& source, std::uint32_t mode,
                                              JobContext& context, ProgressSpan span) {
    auto display = NewDisplayImage(source.Width(), source.Height(), mode);
    const auto target = MapOver(*display);
    ConvertInBands(source, *target, context, span);
    if (display->DisplayMode() == ModeIndexed)
        display->SetColors(0, target->GetColorCount(), target->GetColorTable());
    return display;
}

std::unique_ptr<CDisplayImage> CopyDisplayImage(const CDisplayImage& image) {
    auto copy = Creating([&] {
        return CDisplayImage::Create(image.Width(), image.Height(), image.BitsPerPixel(),
                                     image.DisplayMode(), image.Masks(), image.HasAlpha());
    });
    std::memcpy(copy->TopRow(), image.TopRow(),
                static_cast<std::size_t>(image.Pitch()) * image.Height());
    copy->SetColors(0, image.ColorCount(), image.ColorTable());
    return copy;
}
