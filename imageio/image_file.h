// Reading and writing image files of every kind the program knows, chosen by extension:
// ".qvt", the anymaps (".pbm", ".pgm", ".ppm", ".pnm"), ".raw", and whatever Qt reads or writes.
#pragma once

#include "qvt_file.h"
#include "raster_image.h"
#include "raw_file.h"

#include <optional>
#include <string>

enum class ImageFileKind { QVT, Anymap, Raw, Other };

// By the extension, without regard to case.
ImageFileKind KindOfPath(const std::string& path);

struct ImageReadOptions {
    QVTReadOptions qvt;
    std::optional<RawLayout> raw; // required for ".raw"
};

struct ImageWriteOptions {
    QVTWriteOptions qvt;
    bool plainAnymap = false; // P1 ... P3 instead of P4 ... P6
};

// Throws ImageFileError.
RasterImage ReadImageFile(const std::string& path, const ImageReadOptions& options = {});

// ".qvt" for the modes the codec holds; anymap extensions for the anymap modes (the variant
// follows the mode); ".raw" for every mode but Indexed; any other extension through the Qt
// encoder it selects for Bitmap, Gray, Indexed, RGB and ARGB. Anything else throws
// ImageFileError("Cannot save image.\nThere is no suitable image format.") before the file is
// created.
void WriteImageFile(RasterImage& image, const std::string& path,
                    const ImageWriteOptions& options = {});
