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

// Whether WriteImageFile can save an image of the mode under this name: ".qvt" for the modes the
// codec holds; anymap extensions for the anymap modes (the variant follows the mode); ".raw" for
// every mode but Indexed; any other extension (and anymap ones in other modes) through the Qt
// encoder it selects, for Bitmap, Gray, Indexed, RGB and ARGB, and for Gray16 and RGB48 where
// the encoder keeps 16-bit samples (PNG, TIFF). Save dialogs and save dispatches ask this.
bool CanWriteImageFile(ImageMode mode, const std::string& path);

// Saves the image by the rules of CanWriteImageFile; deep samples below their full range are
// stretched to it for Qt's 16-bit encoders. Where CanWriteImageFile is false throws
// ImageFileError("Cannot save image.\nThere is no suitable image format.") before the file is
// created; other failures throw ImageFileError too.
void WriteImageFile(RasterImage& image, const std::string& path,
                    const ImageWriteOptions& options = {});
