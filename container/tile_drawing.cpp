#include "tile_drawing.h"

#include "pixmap_factory.h"
#include "qvt_error.h"

#include <algorithm>

void DrawDecodedTile(KLD::CImage& codec, CPixMap& scratch, CPixMap& destination,
                     const PixRect& rect) {
    const int level = codec.GetCurrentLevel();
    const PixRect part{0, 0, codec.GetWidthAt(level), codec.GetHeightAt(level)};
    const bool indexed = scratch.GetMode() == ModeIndexed;
    if (indexed) {
        if (std::uint8_t* table = scratch.AllocColorTable()) codec.GetColorTable(0, 256, table);
    }
    codec.ExportPixels(scratch.GetBits(), scratch.Stride(), scratch.BitsPerPixel());
    if (scratch.GetMode() == destination.GetMode()) {
        scratch.StretchRect(part, destination, rect);
        return;
    }
    const std::unique_ptr<CPixMap> decoded =
        AttachPixMap(part, scratch.GetMode(), scratch.GetBits(), scratch.Stride());
    const std::unique_ptr<CPixMap> converted = CreatePixMap(part, destination.GetMode());
    if (!decoded || !converted) ThrowCodecError(ErrorOutOfMemory);
    if (indexed) std::copy_n(scratch.GetColorTable(), 1024, decoded->AllocColorTable());
    decoded->ConvertTo(*converted);
    converted->StretchRect(part, destination, rect);
}
