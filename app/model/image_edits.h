// The images the Image menu's commands make from a document's image. Each runs on a job's worker
// thread: it reads the image it is given and returns a new one, so the document keeps its image
// until the result is complete, and a failure or a stop leaves it untouched. Each throws
// ImageFileError ("Image creation failed." when memory runs out); a stop throws the codec's
// ErrorUserBreak.
#pragma once

#include "job_runner.h"
#include "raster_image.h"

// The image in `target` mode. Modes a display image holds become the display image alone; the
// others keep a pixel map and a display image that is either built anew from it or, where the
// mode commands' table says so, kept from the image as it was. Deep results hold full-range
// samples.
RasterImage ChangedMode(RasterImage& image, ImageMode target, JobContext& context);

// The image resampled to width × height in its own mode.
RasterImage Resized(RasterImage& image, std::uint32_t width, std::uint32_t height,
                    JobContext& context);

// One transparency step: the amount added to every pixel's alpha.
inline constexpr int kTransparencyStep = 16;
// An alpha value after adding `step` (negative for more transparency), limited to 0 ... 255.
std::uint8_t SteppedAlpha(std::uint8_t alpha, int step);
// An ARGB image with `step` added to every pixel's alpha.
RasterImage WithAlphaStep(RasterImage& image, int step, JobContext& context);
