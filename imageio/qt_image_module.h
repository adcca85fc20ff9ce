// The entry point of the module that reads and writes images through Qt. Loading it only when a
// file of such a format comes up keeps Qt and its dozens of libraries out of every start of a
// program that handles QVT, anymaps and raw rows alone.
#pragma once

#include "raster_image.h"

#include <string>

// The functions of qt_image_file.h.
struct QtImageFunctions {
    RasterImage (*read)(const std::string& path);
    bool (*canWrite)(ImageMode mode, const std::string& path);
    void (*write)(RasterImage& image, const std::string& path);
};

// The symbol the module exports.
inline constexpr const char* kQtImageEntryPoint = "PictorQtImageFunctions";
extern "C" const QtImageFunctions* PictorQtImageFunctions();

// Loads the module on first use and returns its functions. Throws ImageFileError with the
// loader's reason when the module cannot be loaded.
const QtImageFunctions& QtImages();
