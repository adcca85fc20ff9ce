// Writes the seed inputs that only code can make: containers of several modes with every index
// compression, tile ordering and tile codec, and clipboard blocks of every mode.
// Usage: make_seeds DIRECTORY   (writes DIRECTORY/kldext and DIRECTORY/clipboard)
#include "dib_block.h"
#include "fuzz_support.h"
#include "kld_ext.h"
#include "pixmap_block.h"
#include "pixmap_factory.h"
#include "tile_codec.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

void Save(const fs::path& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void Save(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    Save(path, bytes.data(), bytes.size());
}

constexpr std::uint32_t kContainerModes[] = {ModeBitmap, ModeGray,   ModeIndexed, ModeRGB,
                                             ModeCMYK,   ModeGray16, ModeRGB48,   ModeARGB,
                                             ModeGray32, ModeRGB16};

void WriteContainers(const fs::path& directory) {
    for (const std::uint32_t mode : kContainerModes) {
        const auto patch = PatternPixMap({3, 5, 60, 41}, mode, 1);
        if (!patch) continue;
        for (const std::uint8_t compression : {IndexPlain, IndexZlib})
            for (const std::uint8_t ordering : {OrderingRowWise, OrderingHilbert})
                for (const KLD::TileCodecKind kind : {KLD::KindWavelet, KLD::KindPng}) {
                    KLDExtHeader header;
                    header.mode = static_cast<std::uint8_t>(mode);
                    header.width = 70;
                    header.height = 50;
                    header.tileWidth = 32;
                    header.tileHeight = 24;
                    header.indexCompression = compression;
                    header.ordering = ordering;
                    header.defaultQuality = 3;
                    NormalizeKLDExtHeader(header);
                    auto created = std::make_unique<CQVTMemoryStream>(1024);
                    const CQVTMemoryStream& fresh = *created;
                    CKLDExt maker;
                    maker.Create(std::move(created), header, 20, 14, {});
                    // Tiles are written through the container opened again, as a document
                    // does: a container only made refuses writes.
                    auto owned = std::make_unique<CQVTMemoryStream>(fresh.DataSize());
                    WriteBytes(*owned, fresh.Data(), fresh.DataSize());
                    const CQVTMemoryStream& stream = *owned;
                    CKLDExt container;
                    container.Open(std::move(owned), 0, 0);
                    const std::uint8_t quality = kind == KLD::KindPng ? 0 : 3;
                    container.WriteRegion(*patch, quality, 0, 2, kind);
                    const std::string name =
                        std::to_string(mode) + "_" + std::to_string(compression) + "_" +
                        std::to_string(ordering) + "_" + std::to_string(kind) + ".kle";
                    Save(directory / name, stream.Data(), stream.DataSize());
                }
    }
}

void WriteClipboardBlocks(const fs::path& directory) {
    for (std::uint32_t mode = 0; mode < kImageModeCount; ++mode) {
        const auto map = PatternPixMap({2, 3, 13, 9}, mode, 2);
        if (!map) continue;
        Save(directory / ("pixmap_" + std::to_string(mode)), WritePixMapBlock(*map));
        if (const auto display = BuildDisplayImage(*map))
            Save(directory / ("dib_" + std::to_string(mode)), WriteDibBlock(*display));
    }
    const BitFieldMasks rgb565{0xF800, 0x07E0, 0x001F};
    for (const auto& [depth, mode, masks] :
         {std::tuple{4, ModeIndexed, std::optional<BitFieldMasks>{}},
          std::tuple{16, ModeRGB16, std::optional<BitFieldMasks>{rgb565}},
          std::tuple{16, ModeRGB, std::optional<BitFieldMasks>{}}}) {
        auto image = CDisplayImage::Create(9, 5, depth, mode, masks);
        for (std::uint32_t i = 0; i < image->Height() * static_cast<std::uint32_t>(image->Pitch());
             ++i)
            image->TopRow()[i] = static_cast<std::uint8_t>(i * 37);
        Save(directory / ("dib_depth" + std::to_string(depth) + "_" + std::to_string(mode)),
             WriteDibBlock(*image));
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIRECTORY\n");
        return 2;
    }
    const fs::path root = argv[1];
    fs::create_directories(root / "kldext");
    fs::create_directories(root / "clipboard");
    WriteContainers(root / "kldext");
    WriteClipboardBlocks(root / "clipboard");
    return 0;
}
