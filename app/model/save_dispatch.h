// Which writer a save uses, chosen by the file name's extension and the image mode, and the save
// itself: always through a temporary file, so a failed or stopped save keeps the old file.
#pragma once

#include "job_runner.h"
#include "platform_images.h"
#include "raster_image.h"
#include "save_options.h"

#include <string>

enum class SaveTarget { QVT, Anymap, QtEncoder, None };

// ".qvt" for the modes QVT holds; ".pbm", ".pgm", ".ppm", ".pnm" for Bitmap, Gray, RGB, Gray16
// and RGB48 (the variant follows the mode); any other extension through the platform encoder
// that the extension selects when it holds the mode. None otherwise.
SaveTarget ChooseSaveTarget(const std::string& path, std::uint32_t mode,
                            const PlatformImages& platform);

// Writes the image to `path` through `target` (the platform encoder from `platform`), reporting
// progress to `context`; Esc stops QVT and anymap writes. Throws ImageFileError; a stop throws
// with the codec's ErrorUserBreak.
void SaveImage(RasterImage& image, const std::string& path, SaveTarget target,
               const SaveOptions& options, const PlatformImages& platform, JobContext& context);
