#include "container_info.h"

#include "container_file.h"

#include <cstdio>

void PrintContainerInfo(const std::string& path) {
    ContainerFile file(path, ContainerAccess::Regions);
    const std::uint64_t fileSize = file.FileSize();
    CKLDExt& container = *file;
    const KLDExtHeader& header = container.Header();
    const KLDExtLayout& layout = container.Layout();
    const char* modeName = ImageModeName(header.mode);

    std::printf("Format: KLDExt\n");
    std::printf("Structure: %s (header length %u)\n",
                file.HasCurrentStructure() ? "current" : "older, to be reorganized",
                container.StoredHeaderLength());
    std::printf("Size: %u x %u\n", header.width, header.height);
    std::printf("Mode: %s (%u)\n", modeName ? modeName : "unknown", header.mode);
    std::printf("Bits per pixel: %u\nChannels: %u\n", header.bitsPerPixel, header.channels);
    std::printf("Background: %02X%02X%02X\n", header.background[2], header.background[1],
                header.background[0]);
    std::printf("Default quality: %u\n", header.defaultQuality);
    std::printf("Tile size: %u x %u\n", header.tileWidth, header.tileHeight);
    std::printf("Grid: %u x %u tiles\n", container.TileColumns(), container.TileRows());
    std::printf("Ordering: %s\n", header.ordering == OrderingHilbert ? "hilbert" : "rows");

    CIndex& index = container.Index();
    const std::uint64_t storedIndex = layout.previewOffset - layout.indexOffset;
    std::printf("Index: %s, %u entries, %llu bytes at %llu\n",
                header.indexCompression == IndexZlib ? "zlib" : "plain", index.Count(),
                static_cast<unsigned long long>(storedIndex),
                static_cast<unsigned long long>(layout.indexOffset));
    std::uint64_t tileBytes = 0;
    for (const IndexEntry& entry : index.Entries())
        tileBytes += entry.length;
    std::printf("Stored tiles: %u of %llu, %llu bytes\n", index.Count(),
                static_cast<unsigned long long>(std::uint64_t{container.TileColumns()} *
                                                container.TileRows()),
                static_cast<unsigned long long>(tileBytes));
    const std::uint64_t committedEnd = container.CommittedEnd();
    if (container.PreviewWidth() != 0)
        std::printf("Preview: %u x %u, %llu bytes at %llu\n", container.PreviewWidth(),
                    container.PreviewHeight(),
                    static_cast<unsigned long long>(committedEnd - layout.previewOffset),
                    static_cast<unsigned long long>(layout.previewOffset));
    else
        std::printf("Preview: none\n");
    std::printf("User data: %u bytes\n", layout.userDataLength);
    std::printf("File size: %llu bytes\n", static_cast<unsigned long long>(fileSize));
    // Everything between the start of the tile data and the index that no stored tile uses:
    // records given up by rewrites, and the index and preview of earlier commits.
    const std::uint64_t dataStart =
        TileDataStart(container.StoredHeaderLength(), layout.userDataLength);
    const std::uint64_t tileData =
        layout.indexOffset > dataStart ? layout.indexOffset - dataStart : 0;
    std::printf("Dead bytes: %llu\n",
                static_cast<unsigned long long>(tileData > tileBytes ? tileData - tileBytes : 0));
    // Past the preview: what a write that stopped before its commit appended.
    std::printf(
        "Orphaned bytes: %llu\n",
        static_cast<unsigned long long>(fileSize > committedEnd ? fileSize - committedEnd : 0));
}
