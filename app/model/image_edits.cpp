#include "image_edits.h"

#include "banded_pixels.h"
#include "memory_budget.h"
#include "mode_commands.h"

#include <algorithm>

namespace {

// Room for the result and for the stretched copy a deep source may need.
void EnsureMemoryForResult(const RasterImage& image, std::uint32_t width, std::uint32_t height,
                           std::uint32_t mode) {
    std::uint64_t bytes = DocumentImageBytes(width, height, mode);
    if (IsDeepMode(image.Mode()))
        bytes += DocumentImageBytes(image.Width(), image.Height(), image.Mode());
    EnsureMemoryFor(bytes);
}

std::uint32_t MaximumOf(ImageMode mode) { return IsDeepMode(mode) ? FullRangeMaximum(mode) : 0; }

} // namespace

RasterImage ChangedMode(RasterImage& image, ImageMode target, JobContext& context) {
    const ImageMode from = image.Mode();
    EnsureMemoryForResult(image, image.Width(), image.Height(), target);
    const FullRangePixels source(image);
    if (!source->CanConvertTo(target)) throw ImageFileError(kImageCreationFailed);
    const bool keep = KeepsDisplayImage(from, target);
    RasterImage result;
    if (IsDisplayHeldMode(target)) {
        result.display = keep ? CopyDisplayImage(*image.display)
                              : DisplayImageOf(*source, target, context, {0, 1});
        return result;
    }
    auto map = NewPixMap(image.Width(), image.Height(), target);
    ConvertInBands(*source, *map, context, {0, keep ? 1 : 0.6});
    result.display =
        keep ? CopyDisplayImage(*image.display) : DisplayImageOf(*map, target, context, {0.6, 1});
    result.pixMap = std::move(map);
    result.maxChannelValue = MaximumOf(target);
    return result;
}

RasterImage Resized(RasterImage& image, std::uint32_t width, std::uint32_t height,
                    JobContext& context) {
    const ImageMode mode = image.Mode();
    EnsureMemoryForResult(image, width, height, mode);
    const FullRangePixels source(image);
    RasterImage result;
    if (!image.pixMap) {
        // The display image is resampled straight into the new one, colour table and all.
        result.display = NewDisplayImage(width, height, mode);
        result.display->SetColors(0, image.display->ColorCount(), image.display->ColorTable());
        StretchInBands(*source, *MapOver(*result.display), context, {0, 1});
        return result;
    }
    auto map = NewPixMap(width, height, mode);
    StretchInBands(*source, *map, context, {0, 0.7});
    result.display = DisplayImageOf(*map, mode, context, {0.7, 1});
    result.pixMap = std::move(map);
    result.maxChannelValue = MaximumOf(mode);
    return result;
}

std::uint8_t SteppedAlpha(std::uint8_t alpha, int step) {
    return static_cast<std::uint8_t>(std::clamp(alpha + step, 0, 255));
}

RasterImage WithAlphaStep(RasterImage& image, int step, JobContext& context) {
    const CDisplayImage& from = *image.display;
    // Only ARGB pixels have an alpha to change; the rows below are read four bytes a pixel.
    if (image.pixMap || from.DisplayMode() != ModeARGB || from.BitsPerPixel() != 32)
        throw ImageFileError(kImageCreationFailed);
    EnsureMemoryFor(DocumentImageBytes(from.Width(), from.Height(), ModeARGB));
    RasterImage result;
    result.display = NewDisplayImage(from.Width(), from.Height(), ModeARGB);
    CDisplayImage& to = *result.display;
    ForEachRowBand(from.Height(), context, {0, 1}, [&](std::uint32_t first, std::uint32_t end) {
        for (std::uint32_t y = first; y < end; ++y) {
            const std::uint8_t* in = from.TopRow() + std::ptrdiff_t{from.Pitch()} * y;
            std::uint8_t* out = to.TopRow() + std::ptrdiff_t{to.Pitch()} * y;
            for (std::uint32_t i = 0; i < 4 * from.Width(); i += 4) {
                out[i] = in[i];
                out[i + 1] = in[i + 1];
                out[i + 2] = in[i + 2];
                out[i + 3] = SteppedAlpha(in[i + 3], step);
            }
        }
    });
    return result;
}
