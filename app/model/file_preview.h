// What the open dialog shows of a QVT file before it is opened: how many levels it has, whether
// it can be read by region, and a picture of its coarsest level; of a container, its preview.
// Read off the UI thread.
#pragma once

#include "raster_image.h"

#include <cstdint>
#include <optional>
#include <string>

// The largest coarsest level the preview decodes: a file with few levels (a one-level file's
// coarsest level is half its full size) is not worth the wait.
inline constexpr std::uint64_t kPreviewPixelLimit = std::uint64_t{1} << 20;

struct QVTPreview {
    int levels = 0;
    bool regionSupport = false;
    // The coarsest level; none when it has more pixels than the limit or cannot be decoded.
    std::optional<RasterImage> image;
};

// Throws ImageFileError when the file cannot be opened or its head is not QVT.
QVTPreview LoadQVTPreview(const std::string& path, std::uint64_t pixelLimit = kPreviewPixelLimit);

// The preview of a container (read without taking the file's lock: a
// container open for writing elsewhere still shows). Throws ImageFileError.
RasterImage LoadKLDExtThumbnail(const std::string& path);
