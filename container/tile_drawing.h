// Drawing a decoded tile onto a map of another size, as the preview and reduced region reads do.
#pragma once

#include "pix_map.h"
#include "tile_codec.h"

// Exports the codec's current level into the top-left of `scratch` (a map of the container mode
// at least that large, which takes an indexed tile's colour table) and stretches it onto `rect`
// of `destination`; a destination of another mode receives the pixels converted first. Throws
// IOException.
void DrawDecodedTile(KLD::CImage& codec, CPixMap& scratch, CPixMap& destination,
                     const PixRect& rect);
