// The two read caches of an open container: decoded tiles, and tile decoders kept open so that a
// finer read of the same tile continues decoding instead of starting again.
#pragma once

#include "lru_cache.h"
#include "pix_map.h"
#include "tile_codec.h"

#include <cstdint>
#include <memory>

struct DecodedTile {
    std::unique_ptr<CPixMap> map; // the whole tile at full size, in the container mode
    std::uint8_t quality = 0;     // as the tile's codec reported them
    std::uint8_t levels = 0;
    std::uint8_t decodedLevel = 0; // the level the pixels came from; 0 = full detail
};

// Closes the codec before freeing it, so it lets go of the container stream.
struct CloseTileCodec {
    void operator()(KLD::CImage* codec) const {
        codec->Close();
        delete codec;
    }
};
using TileDecoder = std::unique_ptr<KLD::CImage, CloseTileCodec>;

struct KeptDecoder {
    TileDecoder codec;
    std::uint64_t position = 0; // where the codec's stream stopped reading
};

struct TileCaches {
    TileCaches(std::uint32_t decodedCapacity, std::uint32_t decoderCapacity)
        : decoded(decodedCapacity), decoders(decoderCapacity) {}

    CLruCache<DecodedTile> decoded;
    CLruCache<KeptDecoder> decoders;
};
