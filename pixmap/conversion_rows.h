// Row kernels of the direct mode conversions: one plain loop per (source, target) pair, chosen
// once per call by ConvertPixMap (internal to the pixel-map library).
#pragma once

#include "image_mode.h"

#include <cstdint>

// Converts `width` pixels of one row. `colorTable` is the source's table (Indexed sources only).
using RowConverter = void (*)(const std::uint8_t* source, std::uint8_t* destination,
                              std::uint32_t width, const std::uint8_t* colorTable);

// The kernel of a pair, or null for pairs that are not a row-by-row conversion.
RowConverter FindRowConverter(ImageMode source, ImageMode target);
