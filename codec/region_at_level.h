// A region of interest given in full-size pixels, as it applies to the image and to a reduced
// level of it: the rules that a region read, its export and a crop of a whole read share.
#pragma once

#include "region_rect.h"

#include <cstdint>

// ceil(value / 2^level): an edge, or the size of the image, at `level`.
std::uint32_t CeilAtLevel(std::uint32_t value, int level);

// Right or bottom 0, or beyond the image, extend to its edge; left and top stay. The result is
// empty when the rectangle lies outside the image or is empty itself.
RegionRect ClipRegionToImage(RegionRect rect, std::uint32_t width, std::uint32_t height);

// A non-empty rectangle inside the image at `level`, where the image is levelWidth ×
// levelHeight: every edge becomes ceil(edge / 2^level). A rectangle narrower or lower than
// 2^level pixels can round to no width or height; it then keeps one sample at its rounded left
// or top edge, or the level's last one where that edge is the level's border.
RegionRect RegionAtLevel(const RegionRect& rect, int level, std::uint32_t levelWidth,
                         std::uint32_t levelHeight);
