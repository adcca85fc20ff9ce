// Rectangles of pixel coordinates: left and top inclusive, right and bottom exclusive, unsigned.
#pragma once

#include "region_rect.h"

#include <cstdint>
#include <optional>

using PixRect = RegionRect;

// The common part of two rectangles, or nothing when they do not overlap (or either is empty).
std::optional<PixRect> Intersect(const PixRect& a, const PixRect& b);
