// Row copying shared by CopyRect of every class (internal to the pixel-map library).
#pragma once

#include "pix_map.h"

// Copies `sourceArea` (source buffer coordinates) to the same-sized area at `destinationArea`
// of a map of the same layout, bit- or nibble-exactly for packed modes.
void CopyPixels(const CPixMap& source, const PixRect& sourceArea, CPixMap& destination,
                const PixRect& destinationArea);
