// Making pixel maps: owning ones with their own 4-byte aligned rows, or maps over caller memory.
#pragma once

#include "pix_map.h"

#include <memory>

// A new owning map of `mode` over `rect`, or null for a mode without a pixel map class or an
// inverted rectangle. With a color (`length` bytes in the mode's channel order) the background is
// set from it and every pixel is filled; without one the buffer is left unfilled. Throws
// IOException(ErrorOutOfMemory) when the buffer size does not fit or cannot be allocated.
std::unique_ptr<CPixMap> CreatePixMap(const PixRect& rect, std::uint32_t mode,
                                      const std::uint8_t* color = nullptr, int length = 0);

// A map over caller memory that it never frees; `bits` is the top row, `stride` may be negative
// (rows bottom row first). Null for a mode without a class, an inverted rectangle, or a stride
// whose magnitude is too small to hold one row, so no operation can reach past a row.
std::unique_ptr<CPixMap> AttachPixMap(const PixRect& rect, std::uint32_t mode, std::uint8_t* bits,
                                      std::int32_t stride);
std::unique_ptr<CPixMap> AttachPixMap(std::uint32_t width, std::uint32_t height, std::uint32_t mode,
                                      std::uint8_t* bits, std::int32_t stride);
