// Building blocks for container tests: headers of a typical container, and containers made in
// memory.
#pragma once

#include "kld_ext.h"

#include <cstdint>
#include <memory>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

inline KLDExtHeader MakeHeader(std::uint32_t width, std::uint32_t height, std::uint16_t tileWidth,
                               std::uint16_t tileHeight) {
    KLDExtHeader header;
    header.mode = 3;
    header.width = width;
    header.height = height;
    header.background = {0x10, 0x20, 0x30};
    header.tileWidth = tileWidth;
    header.tileHeight = tileHeight;
    header.indexCompression = 1;
    header.bitsPerChannel = 8;
    header.defaultQuality = 2;
    return header;
}

// The bytes of a stream that a test wrote through a CKLDExt.
inline Bytes StreamBytes(const CQVTMemoryStream& stream) {
    return Bytes(stream.Data(), stream.Data() + stream.DataSize());
}

// Opens a container held in `bytes` (the bytes must outlive the container).
inline bool OpenBytes(CKLDExt& container, Bytes& bytes) {
    return container.Open(std::make_unique<CQVTMemoryStream>(bytes.data(), bytes.size()), 0x500000,
                          0x400000);
}

// A container as a writer leaves it: `tiles` records (tile numbers 0, 2, 4, … written in
// reverse order, lengths 4 to 26) from the start of the tile data, then the index with the
// header's compression, then the preview, then the rewritten fixed part.
struct BuiltContainer {
    Bytes bytes;
    KLDExtLayout layout;
    std::vector<IndexEntry> entries; // by tile number
};

inline BuiltContainer BuildContainer(const KLDExtHeader& header, std::uint32_t tiles,
                                     const Bytes& userData = {}) {
    auto owned = std::make_unique<CQVTMemoryStream>(1024);
    CQVTMemoryStream& stream = *owned;
    CKLDExt container;
    container.Create(std::move(owned), header, 40, 30, userData);
    std::uint64_t offset = container.Layout().indexOffset;
    BuiltContainer built;
    built.entries.resize(tiles);
    for (std::uint32_t i = tiles; i-- > 0;) {
        Bytes record{'K', 'L', 'D', 2};
        record.resize(4 + (i * 7) % 23, static_cast<std::uint8_t>(i));
        stream.SetPos(PosFromStart, static_cast<std::int64_t>(offset));
        WriteBytes(stream, record.data(), record.size());
        built.entries[i] = {2 * i, static_cast<std::uint32_t>(record.size()), offset};
        offset += record.size();
    }
    const std::uint64_t stored = container.WriteIndex(CIndex(built.entries), stream, offset);
    built.layout = {offset, static_cast<std::uint32_t>(16 * tiles), offset + stored,
                    container.Layout().userDataLength};
    container.SetLayout(built.layout);
    container.WritePreview(stream);
    container.WriteHeader(stream);
    built.bytes = StreamBytes(stream);
    return built;
}
