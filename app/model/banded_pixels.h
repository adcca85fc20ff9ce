// The pixel work of the image commands, done in bands of rows on the job's threads with
// progress: conversions between modes, resampling, and the display image of a result. Every
// conversion or resampling starts from full-range samples, so a deep image whose maximum channel
// value lies below its mode's range is seen at its real brightness.
#pragma once

#include "raster_image.h"
#include "row_bands.h"

#include <memory>

// The image's pixels as the commands read them: its own map (or one over its display image), or
// a copy stretched to the full range when its maximum channel value is smaller.
class FullRangePixels {
public:
    // Throws ImageFileError("Image creation failed.").
    explicit FullRangePixels(RasterImage& image);
    const CPixMap& operator*() const { return *map_; }
    const CPixMap* operator->() const { return map_; }

private:
    ImagePixels pixels_;
    std::unique_ptr<CPixMap> stretched_;
    const CPixMap* map_;
};

// Converts `source` into `destination` (same size, a mode it converts to). Conversions that
// look at the whole image (error diffusion to Bitmap, the colour table of Indexed) run in one
// piece; the others band by band.
void ConvertInBands(const CPixMap& source, CPixMap& destination, JobContext& context,
                    ProgressSpan span);

// Resamples the whole of `source` into the whole of `destination` (same mode), as StretchRect
// does.
void StretchInBands(const CPixMap& source, CPixMap& destination, JobContext& context,
                    ProgressSpan span);

// A new display image for an image of `mode` (the source's own mode, or a mode a display image
// holds), filled by converting `source` into it. Throws ImageFileError("Image creation failed.").
std::unique_ptr<CDisplayImage> DisplayImageOf(const CPixMap& source, std::uint32_t mode,
                                              JobContext& context, ProgressSpan span);

// An empty display image for a map of `mode`; throws ImageFileError("Image creation failed.")
// instead of giving null.
std::unique_ptr<CDisplayImage> NewDisplayImage(std::uint32_t width, std::uint32_t height,
                                               std::uint32_t mode);

// A new owning map; throws ImageFileError("Image creation failed.") instead of IOException.
std::unique_ptr<CPixMap> NewPixMap(std::uint32_t width, std::uint32_t height, std::uint32_t mode);

// A copy of a display image with its colour table.
std::unique_ptr<CDisplayImage> CopyDisplayImage(const CDisplayImage& image);

// A map over the display image's memory; throws ImageFileError("Image creation failed.") for an
// image that no map describes.
std::unique_ptr<CPixMap> MapOver(CDisplayImage& image);
