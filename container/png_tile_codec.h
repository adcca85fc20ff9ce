// The PNG tile codec: a tile stored losslessly as a PNG image. Rows are exchanged in the pixel
// maps' own layout: blue first, a set bit of a 1-bit image is black, and 16-bit samples go to
// the PNG data in memory byte order. Stored tiles depend on all three.
#pragma once

#include "png_wrapper.h"
#include "qvt_memory.h"
#include "tile_codec.h"

#include <memory>
#include <optional>
#include <vector>

namespace KLD {

// What a PNG image of a tile header looks like.
struct PngParameters {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int bitDepth = 0;
    int colorType = 0;
    std::uint8_t channels = 0;
    std::int64_t rowLength = 0; // padded to 4 bytes like the pixel maps' rows
};

// The PNG form of a normalised tile header, or nothing for a mode (or a depth) PNG cannot hold.
std::optional<PngParameters> PngParametersFor(const TileHeader& header);
// The image mode of a PNG colour type and bit depth; ModeNotGiven for anything else.
std::uint8_t ModeOfPng(int colorType, int bitDepth);

class CPNG final : public CImage {
public:
    void Open(CQVTStream& stream) override;
    // Every row is decoded by ExportPixels.
    void Read(int, ProgressCallback = nullptr, void* = nullptr) override {}
    void Close() override;
    void Reset() override;
    // Decodes all rows. A second call decodes the stream again from the start of the image, so
    // a codec kept for later never hands out rows libpng has already consumed.
    void ExportPixels(std::uint8_t* bits, std::ptrdiff_t stride, std::uint32_t bitsPerPixel,
                      const ChannelMap* channelMap = nullptr, ProgressCallback progress = nullptr,
                      void* data = nullptr) override;
    void GetColorTable(int first, int count, std::uint8_t* entries) const override;
    const char* GetExtension(bool lowerCase) const override { return lowerCase ? "png" : "PNG"; }
    TileCodecKind GetKind() const override { return KindPng; }
    void SetColorTable(int count, const std::uint8_t* entries) override;
    bool SetHeader(const TileHeader& header) override;
    // Without a channel map, rows in the tile's own layout are only referenced: the buffer must
    // outlive Write. Anything else is copied.
    void ImportPixels(const std::uint8_t* bits, std::ptrdiff_t stride, std::uint32_t bitsPerPixel,
                      const ChannelMap* channelMap = nullptr, ProgressCallback progress = nullptr,
                      void* data = nullptr) override;
    void Write(CQVTStream& stream, bool writeTag, std::uint64_t& count,
               ProgressCallback progress = nullptr, void* data = nullptr) override;

    std::uint32_t GetWidth() const override { return m_width; }
    std::uint32_t GetHeight() const override { return m_height; }
    std::uint8_t GetMode() const override { return ModeOfPng(m_colorType, m_bitDepth); }
    std::uint32_t GetBitsPerPixel() const override {
        return std::uint32_t{m_channels} * static_cast<std::uint32_t>(m_bitDepth);
    }
    int GetCurrentLevel() const override { return 0; }
    int GetLevels() const override { return 1; }
    std::uint8_t GetQuality() const override { return 0; }
    int GetChannels() const override { return m_channels; }
    std::uint32_t GetWidthAt(int) const override { return m_width; }
    std::uint32_t GetHeightAt(int) const override { return m_height; }

private:
    // Creates the reader at the image's start and takes the header from it.
    void StartReading();
    void ReadRows(std::uint8_t* bits, std::ptrdiff_t stride);
    [[noreturn]] void FailWith(const png::CError& error);
    std::uint64_t PaddedRowLength() const;

    std::uint32_t m_width = 0;
    std::uint32_t m_height = 0;
    // The caller's stride while its pixels are only referenced.
    std::int64_t m_rowLength = 0;
    int m_bitDepth = 0;
    std::uint8_t m_channels = 0;
    int m_colorType = 0;
    int m_interlace = PNG_INTERLACE_NONE;
    int m_compression = PNG_COMPRESSION_TYPE_BASE;
    int m_filter = PNG_FILTER_TYPE_BASE;

    const std::uint8_t* m_pixels = nullptr;
    ByteBuffer m_ownedPixels;
    const png_color* m_palette = nullptr; // the reader's, or m_ownedPalette
    std::vector<png_color> m_ownedPalette;
    int m_paletteCount = 0;

    std::unique_ptr<png::CReader> m_reader;
    CQVTStream* m_stream = nullptr;
    std::uint64_t m_imageStart = 0;
    bool m_rowsConsumed = false;
};

} // namespace KLD
