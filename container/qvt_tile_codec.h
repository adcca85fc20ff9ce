// The wavelet tile codec: a tile stored as QVT data, multi-resolution and lossy or lossless.
#pragma once

#include "qvt_image.h"
#include "tile_codec.h"

namespace KLD {

class CQVT final : public CImage {
public:
    // Tiles are small (a 200 × 200 tile codes to at most 8 blocks), so they are coded a block at
    // a time: what a tile's coder holds does not grow with the number of processors.
    CQVT() { m_image.SetParallel(false, false); }

    // What a decoder of a width × height tile with `channels` channels holds once it has decoded
    // level 1, the finest level at which the container keeps decoders: this object, its code
    // block and the planes of level 1.
    static std::uint64_t KeptDecoderBytes(std::uint32_t width, std::uint32_t height, int channels);

    void Open(CQVTStream& stream) override { m_image.Open(stream); }
    void Read(int level, ProgressCallback progress = nullptr, void* data = nullptr) override {
        m_image.Read(level, progress, data);
    }
    // The container's stream is not this codec's to close.
    void Close() override {}
    void Reset() override { m_image.Close(); }
    void ExportPixels(std::uint8_t* bits, std::ptrdiff_t stride, std::uint32_t bitsPerPixel,
                      const ChannelMap* channelMap = nullptr, ProgressCallback progress = nullptr,
                      void* data = nullptr) override;
    void GetColorTable(int first, int count, std::uint8_t* entries) const override {
        m_image.GetColorTable(first, count, entries);
    }
    const char* GetExtension(bool lowerCase) const override { return lowerCase ? "qvt" : "QVT"; }
    TileCodecKind GetKind() const override { return KindWavelet; }
    void SetColorTable(int count, const std::uint8_t* entries) override {
        m_image.SetColorTable(0, count, entries);
    }
    bool SetHeader(const TileHeader& header) override;
    void ImportPixels(const std::uint8_t* bits, std::ptrdiff_t stride, std::uint32_t bitsPerPixel,
                      const ChannelMap* channelMap = nullptr, ProgressCallback progress = nullptr,
                      void* data = nullptr) override;
    void Write(CQVTStream& stream, bool writeTag, std::uint64_t& count,
               ProgressCallback progress = nullptr, void* data = nullptr) override;

    std::uint32_t GetWidth() const override { return m_image.Header().width; }
    std::uint32_t GetHeight() const override { return m_image.Header().height; }
    std::uint8_t GetMode() const override { return m_image.Header().mode; }
    std::uint32_t GetBitsPerPixel() const override { return m_image.Header().bitsPerPixel; }
    int GetCurrentLevel() const override { return m_image.CurrentLevel(); }
    int GetLevels() const override { return m_image.Header().levels; }
    std::uint8_t GetQuality() const override { return m_image.Header().quality; }
    int GetChannels() const override { return m_image.Header().channels; }
    std::uint32_t GetWidthAt(int level) const override;
    std::uint32_t GetHeightAt(int level) const override;

private:
    CQVTImage m_image;
};

} // namespace KLD
