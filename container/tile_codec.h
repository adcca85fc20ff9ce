// The tile codecs of the container: one interface over the wavelet codec and PNG, the factories
// that make a codec for writing a tile or for reading a stored tile record, and the check that a
// stored tile really is the tile the container expects.
#pragma once

#include "channel_image.h"
#include "progress.h"
#include "qvt_format.h"
#include "qvt_stream.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace KLD {

// The byte after "KLD" in a tile record. Automatic is only ever a request, never stored.
enum TileCodecKind : std::uint8_t {
    KindAutomatic = 1,
    KindWavelet = 2,
    KindPng = 3,
};

inline constexpr std::size_t kTileTagSize = 4;

// A codec for one tile: opened on a stored record to read it, or given a header and pixels to
// write one.
class CImage {
public:
    CImage() = default;
    virtual ~CImage() = default;
    CImage(const CImage&) = delete;
    CImage& operator=(const CImage&) = delete;

    // Reads the record's head at the stream's position; the stream must outlive the reads.
    virtual void Open(CQVTStream& stream) = 0;
    // Decodes down to `level` (0 = full size).
    virtual void Read(int level, ProgressCallback progress = nullptr, void* data = nullptr) = 0;
    // Lets go of the stream being read.
    virtual void Close() = 0;
    // Frees the decoded or imported pixels.
    virtual void Reset() = 0;
    // Writes the image at the current level as rows of `bitsPerPixel` every `stride` bytes.
    virtual void ExportPixels(std::uint8_t* bits, std::ptrdiff_t stride, std::uint32_t bitsPerPixel,
                              const ChannelMap* channelMap = nullptr,
                              ProgressCallback progress = nullptr, void* data = nullptr) = 0;
    // Entries first .. first + count - 1 as blue, green, red; the fourth byte is left alone.
    virtual void GetColorTable(int first, int count, std::uint8_t* entries) const = 0;
    virtual const char* GetExtension(bool lowerCase) const = 0;
    virtual TileCodecKind GetKind() const = 0;
    // `count` entries of blue, green, red, reserved for an indexed tile.
    virtual void SetColorTable(int count, const std::uint8_t* entries) = 0;
    // Prepares writing; false when this codec cannot store the header's mode.
    virtual bool SetHeader(const TileHeader& header) = 0;
    virtual void ImportPixels(const std::uint8_t* bits, std::ptrdiff_t stride,
                              std::uint32_t bitsPerPixel, const ChannelMap* channelMap = nullptr,
                              ProgressCallback progress = nullptr, void* data = nullptr) = 0;
    // Writes the record (with the 4-byte tag when `writeTag`) and adds its length to `count`.
    virtual void Write(CQVTStream& stream, bool writeTag, std::uint64_t& count,
                       ProgressCallback progress = nullptr, void* data = nullptr) = 0;

    virtual std::uint32_t GetWidth() const = 0;
    virtual std::uint32_t GetHeight() const = 0;
    virtual std::uint8_t GetMode() const = 0;
    virtual std::uint32_t GetBitsPerPixel() const = 0;
    virtual int GetCurrentLevel() const = 0;
    virtual int GetLevels() const = 0;
    virtual std::uint8_t GetQuality() const = 0;
    virtual int GetChannels() const = 0;
    virtual std::uint32_t GetWidthAt(int level) const = 0;
    virtual std::uint32_t GetHeightAt(int level) const = 0;

    // libpng's text for the last PNG failure; empty otherwise.
    const std::string& GetLastError() const { return m_lastError; }

protected:
    // "KLD" and the kind, counted in `count`.
    void WriteTag(CQVTStream& stream, std::uint64_t& count) const;

    std::string m_lastError;
};

// Fills in what a tile header leaves open: the mode from the bits per pixel, the bits per pixel
// from the mode, RGB with 32 bits as ARGB, and the channel count.
TileHeader NormalizeTileHeader(TileHeader header);

// A codec of `kind` prepared with the normalised header, or null for a kind that is not a stored
// one. A PNG request for a mode PNG cannot hold gives the wavelet codec, so a tile is never
// written in a form that does not describe its pixels; null when neither codec can hold it.
std::unique_ptr<CImage> CreateTileCodec(const TileHeader& header, std::uint8_t kind);

// The codec for the tile record at the stream's position: a "KLD" tag (consumed), or a bare
// wavelet or PNG stream (left in place). Call Open on the result with the same stream. Throws
// ErrorShortRead when fewer than 4 bytes are left and ErrorWrongFormat for any other start.
std::unique_ptr<CImage> CreateTileCodecFromStream(CQVTStream& stream);

// Throws ErrorWrongFormat unless an opened codec holds exactly a tile of the (normalised) expected
// size, mode and depth. A stored tile that claimed more rows or wider pixels would otherwise be
// exported past the end of the tile's buffer.
void CheckTileCodecMatches(const CImage& codec, const TileHeader& tile);

} // namespace KLD
