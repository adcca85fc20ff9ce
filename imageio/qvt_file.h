// QVT files as documents read and write them: decoding a level or region into a display image
// and pixel map, and saving by the rules that decide the header of each mode.
#pragma once

#include "progress.h"
#include "raster_image.h"
#include "region_rect.h"

#include <optional>
#include <string>

struct QVTReadOptions {
    int level = 0;          // 0 = full size; larger values are limited to the coarsest level
    bool thumbnail = false; // the coarsest level, whatever `level` says
    std::optional<RegionRect> region; // in full-size pixels
    int threads = 0;                  // 0 = one per processor
    ProgressCallback progress = nullptr;
    void* progressData = nullptr;
};

// Decodes the file down to the chosen level, restricted to the region when one is given (files
// without region support are decoded whole and cut). Deep samples keep their values: the image's
// maximum channel value is the one stored with the file, or 2^(used bits) - 1.
// Throws ImageFileError with the codec's or the system's text.
RasterImage ReadQVTFile(const std::string& path, const QVTReadOptions& options = {});

struct QVTWriteOptions {
    int quality = 0; // 0 = lossless ... 31
    int levels = 0;  // 0 = let the codec choose
    bool regionSupport = false;
    int threads = 0; // 0 = one per processor
    ProgressCallback progress = nullptr;
    void* progressData = nullptr;
};

// True for the modes a QVT file holds and a document can have.
bool IsQVTWritableMode(std::uint32_t mode);

// Saves the image: display-held modes from the display image (Indexed with its color table),
// the others from the pixel map with the maximum channel value deciding the used bits. Deep
// samples are coded as the values they are, so a lossless file gives them back unchanged; a
// maximum that is not 2^b - 1 travels as four bytes of user data. Throws ImageFileError
// ("Cannot save image.\nThere is no suitable image format." for a mode QVT cannot hold).
void WriteQVTFile(RasterImage& image, const std::string& path, const QVTWriteOptions& options = {});
