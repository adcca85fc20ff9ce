// Writing an image file into a container in strips of whole tile rows, so that a binary graymap
// or pixmap larger than memory needs memory for one strip only.
#pragma once

#include "image_file.h"
#include "kld_ext.h"
#include "progress_bar.h"

#include <cstdint>
#include <string>

struct ContainerWriteSettings {
    std::uint8_t quality = 255; // 255: the container's default quality
    std::uint8_t codecKind = 1; // automatic, wavelet codec (2) or PNG (3)
    // Bytes of source pixels per strip; a strip holds at least one row of tiles. Each strip is
    // one write, which recodes the preview, so larger strips save time and cost memory.
    std::uint64_t stripBytes = std::uint64_t{64} << 20;
};

// Writes the image with its top-left corner at (x, y), which must lie inside the container;
// what lies past the container's edges is left out. Binary 8- and 16-bit graymaps and pixmaps
// are read a strip at a time, other files whole. Pixels are converted to the container's mode
// (deep samples below their full range are stretched to it first). Failures of the image throw
// FileFailure about `path` (an image whose mode cannot be converted before anything is written);
// failures of the container's writes throw IOException.
void WriteIntoContainer(CKLDExt& container, const std::string& path,
                        const ImageReadOptions& options, std::uint32_t x, std::uint32_t y,
                        const ContainerWriteSettings& settings, TerminalProgress& progress);
