// The display image: a device-independent bitmap of 1, 4, 8, 16, 24 or 32 bits per pixel that a
// view draws, with a color table (up to 8 bits per pixel), optional bit-field masks and an alpha
// flag.
//
// Rows are stored top row first with a positive pitch, each padded to a multiple of 4 bytes, so
// that Qt's QImage can wrap the memory without copying (QImage(TopRow(), Width(), Height(),
// Pitch(), format)): 1 bit -> Format_Mono (most significant bit first, with the 2-entry table),
// 8 bits -> Format_Indexed8 with the table (or Format_Grayscale8 for the gray ramp), 16 bits with
// 5-6-5 masks -> Format_RGB16, 24 bits (blue, green, red in memory) -> Format_BGR888, 32 bits
// (blue, green, red, alpha on a little-endian machine) -> Format_ARGB32, not premultiplied. A
// 4-bit image has no QImage format and must be converted before drawing. Pixel maps over a
// display image receive the top row and the (positive) pitch; they would work with a negative
// pitch just as well.
#pragma once

#include "image_mode.h"
#include "pix_map.h"
#include "qvt_memory.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct BitFieldMasks {
    std::uint32_t red;
    std::uint32_t green;
    std::uint32_t blue;
};

class CDisplayImage {
public:
    // A zero-filled image, or null for an unsupported depth or when the size does not fit or
    // cannot be allocated. The color table has 2^bitsPerPixel zeroed entries up to 8 bits.
    // `displayMode` is the image mode this image shows (Bitmap, Gray, Indexed, RGB, ARGB, RGB16).
    static std::unique_ptr<CDisplayImage> Create(std::uint32_t width, std::uint32_t height,
                                                 int bitsPerPixel, ImageMode displayMode,
                                                 std::optional<BitFieldMasks> masks = {},
                                                 bool alpha = false);

    std::uint32_t Width() const { return width_; }
    std::uint32_t Height() const { return height_; }
    int BitsPerPixel() const { return bitsPerPixel_; }
    ImageMode DisplayMode() const { return displayMode_; }
    const std::optional<BitFieldMasks>& Masks() const { return masks_; }
    bool HasAlpha() const { return alpha_; }

    std::uint8_t* TopRow() { return pixels_.get(); }
    const std::uint8_t* TopRow() const { return pixels_.get(); }
    std::int32_t Pitch() const { return pitch_; }

    // Color table entries of 4 bytes (blue, green, red, 0); out-of-range parts are ignored.
    int ColorCount() const { return static_cast<int>(colors_.size() / 4); }
    const std::uint8_t* ColorTable() const { return colors_.data(); }
    void SetColors(int first, int count, const std::uint8_t* entries);
    void GetColors(int first, int count, std::uint8_t* entries) const;

private:
    CDisplayImage() = default;

    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    int bitsPerPixel_ = 0;
    ImageMode displayMode_ = ModeNotGiven;
    std::optional<BitFieldMasks> masks_;
    bool alpha_ = false;
    std::int32_t pitch_ = 0;
    ByteBuffer pixels_;
    std::vector<std::uint8_t> colors_;
};

// The display mode of a pixel map mode: Bitmap -> Bitmap; Gray, Gray16, Gray32 -> Gray; Indexed
// -> Indexed; ARGB -> ARGB; every other mode with a class -> RGB; ModeNotGiven otherwise.
ImageMode DisplayModeOf(std::uint32_t pixMapMode);

// An empty display image for a pixel map of `pixMapMode`, with its color table (Bitmap: white,
// black; Gray: the gray ramp; Indexed: zeros until filled); null on failure.
std::unique_ptr<CDisplayImage> CreateEmptyDisplayImage(std::uint32_t width, std::uint32_t height,
                                                       std::uint32_t pixMapMode);

// The display image of a pixel map (converted by ConvertTo; Indexed copies its color table);
// null for a mode without a display mode or when the image cannot be created.
std::unique_ptr<CDisplayImage> BuildDisplayImage(const CPixMap& source);

// A pixel map of the display mode over the image's memory (Indexed maps get a copy of the
// image's table); null for images that no pixel map mode describes (4 bits, 16 bits other than
// 5-6-5). The map must not outlive the image.
std::unique_ptr<CPixMap> AttachDisplayImage(CDisplayImage& image);

// The 8-bit gray image that shows one channel at a time.
std::unique_ptr<CDisplayImage> CreateChannelImage(std::uint32_t width, std::uint32_t height);

// Fills the channel image with channel `channel` of `source` (ExtractChannel); false when the
// sizes differ.
bool BuildChannelImage(const CPixMap& source, int channel, CDisplayImage& channelImage);
