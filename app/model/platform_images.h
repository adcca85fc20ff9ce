// The platform's imaging library as the model sees it: reading and writing the formats it knows,
// and the lists the file dialogs offer. The program fills it with Qt's readers and writers;
// tests may fill it with fakes.
#pragma once

#include "raster_image.h"
#include "view_math.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct PlatformImages {
    // Throws ImageFileError.
    std::function<RasterImage(const std::string& path)> read;
    // The size a file announces, read from its header; nothing when it cannot tell.
    std::function<std::optional<Size>(const std::string& path)> size;
    // Throws ImageFileError.
    std::function<void(RasterImage& image, const std::string& path)> write;
    // Whether the encoder the file name's extension selects holds the mode (deep modes only where
    // it keeps 16-bit samples); display-held modes only when unset.
    std::function<bool(ImageMode mode, const std::string& path)> holds;
    // Lower-case extensions without the period ("bmp", "png", ...).
    std::vector<std::string> readable;
    std::vector<std::string> writable;

    // Whether an image of `mode` can be written with the encoder of `extension` (any case).
    bool CanWrite(std::uint32_t mode, const std::string& extension) const;
};
