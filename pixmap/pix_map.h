// The pixel map class tree: an image of one mode held row by row in a buffer that the map owns or
// borrows. Row y starts at GetBits() + y × stride; the stride is negative when the rows lie bottom
// row first in memory. All rectangle arguments are in the coordinate space of the map's own
// position rectangle. Only the fourteen CPM... classes are instantiated (see pixmap_factory.h);
// the CPixMap8.../CPixMap16... classes share the code of a sample width.
#pragma once

#include "image_mode.h"
#include "mode_layout.h"
#include "pix_rect.h"
#include "qvt_memory.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

// The memory a pixel map is built over: `owned` is empty for caller memory, which is never freed.
struct PixMapMemory {
    PixRect rect;
    std::int32_t stride = 0;
    std::uint8_t* bits = nullptr;
    ByteBuffer owned;
};

class CPixMap {
public:
    CPixMap(const CPixMap&) = delete;
    CPixMap& operator=(const CPixMap&) = delete;
    virtual ~CPixMap() = default;

    // Copies the source rectangle into the destination rectangle of a map of the same mode; both
    // are clipped by ClipRects. Nothing happens for another mode or when both share one buffer.
    virtual void CopyRect(const PixRect& sourceRect, CPixMap& destination,
                          const PixRect& destinationRect) const;
    // Resamples the source rectangle into a destination rectangle of another size of the same
    // mode (resampling.cpp); equal sizes copy. The source rectangle is clipped to this map; the
    // weights follow the whole destination rectangle, of which only the part inside the
    // destination map is written.
    virtual void StretchRect(const PixRect& sourceRect, CPixMap& destination,
                             const PixRect& destinationRect) const = 0;
    // True when the clipped rectangles hold the same pixels; false when nothing remains.
    virtual bool EqualRect(const PixRect& sourceRect, const CPixMap& other,
                           const PixRect& otherRect) const;
    // True when every pixel of the rectangle (clipped to the map) equals the background value.
    virtual bool IsUniform(const PixRect& rect) const;

    virtual int GetColorCount() const { return 0; }
    // 256 entries of blue, green, red, reserved; null for maps without a color table.
    virtual const std::uint8_t* GetColorTable() const { return nullptr; }
    virtual std::uint8_t* GetColorTable() { return nullptr; }
    virtual std::uint8_t* AllocColorTable() { return nullptr; }

    virtual const std::uint8_t* GetBits() const { return bits_; }
    virtual std::uint8_t* GetBits() { return bits_; }

    virtual ImageMode GetMode() const { return layout_.mode; }
    virtual int GetChannels() const { return layout_.channels; }
    // The channel letter, or a blank for an unknown channel and for one-channel modes.
    virtual char GetChannelLetter(int channel) const;
    virtual const std::uint8_t* GetBackground() const { return background_.data(); }
    virtual int GetBackgroundSize() const { return layout_.backgroundSize; }
    // Sets the background from `length` color bytes in the class's own channel order.
    virtual void SetBackground(const std::uint8_t* color, int length) = 0;

    // Converts every pixel into `destination`, a map of the same size in a supported mode
    // (mode_conversion.h); an unsupported mode or another size leaves the destination unchanged.
    virtual void ConvertTo(CPixMap& destination) const;
    virtual bool CanConvertTo(ImageMode mode) const;
    // Writes one channel as 8-bit values into a Gray map of the same size.
    virtual void ExtractChannel(int channel, CPixMap& destination) const = 0;
    // Peak signal-to-noise ratio in decibels against a map of the same mode and size; fills one
    // value per channel. Identical maps give -1 (and -1 per channel); a map of another mode or
    // size gives NaN and no channel values.
    virtual double ComputePSNR(const CPixMap& other, std::vector<double>& perChannel) const = 0;

    bool IsOwner() const { return owned_ != nullptr; }
    const PixRect& Rect() const { return rect_; }
    std::uint32_t Width() const { return rect_.Width(); }
    std::uint32_t Height() const { return rect_.Height(); }
    std::int32_t Stride() const { return stride_; }
    std::uint8_t BitsPerPixel() const { return layout_.bitsPerPixel; }
    const ModeLayout& Layout() const { return layout_; }

    const std::uint8_t* Row(std::uint32_t y) const {
        return bits_ + static_cast<std::ptrdiff_t>(y) * stride_;
    }
    std::uint8_t* Row(std::uint32_t y) { return bits_ + static_cast<std::ptrdiff_t>(y) * stride_; }

    // Sets every pixel of every row to the background value; padding is left alone.
    void FillWithBackground();

protected:
    CPixMap(ImageMode mode, PixMapMemory memory);

    void SetBackgroundBytes(const std::uint8_t* bytes);
    // Background words of 16 and 32 bits, stored little-endian like the pixels.
    void SetBackgroundWords16(std::initializer_list<std::uint32_t> words);
    void SetBackgroundWord32(std::uint32_t word);

private:
    const ModeLayout& layout_;
    ByteBuffer owned_;
    PixRect rect_;
    std::int32_t stride_;
    std::uint8_t* bits_;
    std::array<std::uint8_t, 8> background_;
};

// ---- 8-bit samples ----

class CPixMap8 : public CPixMap {
public:
    void StretchRect(const PixRect& sourceRect, CPixMap& destination,
                     const PixRect& destinationRect) const override;
    void ExtractChannel(int channel, CPixMap& destination) const override;
    double ComputePSNR(const CPixMap& other, std::vector<double>& perChannel) const override;

protected:
    using CPixMap::CPixMap;
};

class CPixMap8x3 : public CPixMap8 {
protected:
    using CPixMap8::CPixMap8;
};

class CPixMap8x4 : public CPixMap8 {
protected:
    using CPixMap8::CPixMap8;
};

class CPMColorRGB : public CPixMap8x3 {
public:
    explicit CPMColorRGB(PixMapMemory memory) : CPixMap8x3(ModeRGB, std::move(memory)) {}
    void SetBackground(const std::uint8_t* color, int length) override;
};

class CPMColorLab : public CPixMap8x3 {
public:
    explicit CPMColorLab(PixMapMemory memory) : CPixMap8x3(ModeLab, std::move(memory)) {}
    void SetBackground(const std::uint8_t* color, int length) override;
};

class CPMColorRGBA : public CPixMap8x4 {
public:
    explicit CPMColorRGBA(PixMapMemory memory) : CPixMap8x4(ModeARGB, std::move(memory)) {}
    void SetBackground(const std::uint8_t* color, int length) override;
};

class CPMColorCMYK : public CPixMap8x4 {
public:
    explicit CPMColorCMYK(PixMapMemory memory) : CPixMap8x4(ModeCMYK, std::move(memory)) {}
    void SetBackground(const std::uint8_t* color, int length) override;
};

class CPMGrayScale : public CPixMap8 {
public:
    explicit CPMGrayScale(PixMapMemory memory) : CPixMap8(ModeGray, std::move(memory)) {}
    void SetBackground(const std::uint8_t* color, int length) override;
};

// Indexed pixels carry a 256-entry color table, allocated on first use and owned by the map.
class CPMIndexed : public CPixMap8 {
public:
    explicit CPMIndexed(PixMapMemory memory) : CPixMap8(ModeIndexed, std::move(memory)) {}

    // Copies indices and reconciles the color tables (color_table.h).
    void CopyRect(const PixRect& sourceRect, CPixMap& destination,
                  const PixRect& destinationRect) const override;
    void StretchRect(const PixRect& sourceRect, CPixMap& destination,
                     const PixRect& destinationRect) const override;
    int GetColorCount() const override { return 256; }
    const std::uint8_t* GetColorTable() const override { return colorTable_.get(); }
    std::uint8_t* GetColorTable() override { return colorTable_.get(); }
    // The table, allocated (zero-filled) on first use; throws IOException on out of memory.
    std::uint8_t* AllocColorTable() override;
    void SetBackground(const std::uint8_t* color, int length) override;
    double ComputePSNR(const CPixMap& other, std::vector<double>& perChannel) const override;

private:
    ByteBuffer colorTable_;
};

// ---- 16-bit samples ----

class CPixMap16 : public CPixMap {
public:
    void StretchRect(const PixRect& sourceRect, CPixMap& destination,
                     const PixRect& destinationRect) const override;
    void ExtractChannel(int channel, CPixMap& destination) const override;
    double ComputePSNR(const CPixMap& other, std::vector<double>& perChannel) const override;

protected:
    using CPixMap::CPixMap;
};

class CPixMap16x3 : public CPixMap16 {
protected:
    using CPixMap16::CPixMap16;
};

class CPixMap16x4 : public CPixMap16 {
protected:
    using CPixMap16::CPixMap16;
};

class CPMColorRGB48 : public CPixMap16x3 {
public:
    explicit CPMColorRGB48(PixMapMemory memory) : CPixMap16x3(ModeRGB48, std::move(memory)) {}
    void SetBackground(const std::uint8_t* color, int length) override;
};

class CPMColorLab48 : public CPixMap16x3 {
public:
    explicit CPMColorLab48(PixMapMemory memory) : CPixMap16x3(ModeLab48, std::move(memory)) {}
    void SetBackground(const std::uint8_t* color, int length) override;
};

class CPMColorCMYK64 : public CPixMap16x4 {
public:
    explicit CPMColorCMYK64(PixMapMemory memory) : CPixMap16x4(ModeCMYK64, std::move(memory)) {}
    void SetBackground(const std::uint8_t* color, int length) override;
};

class CPMGray16 : public CPixMap16 {
public:
    explicit CPMGray16(PixMapMemory memory) : CPixMap16(ModeGray16, std::move(memory)) {}
    void SetBackground(const std::uint8_t* color, int length) override;
};

// ---- modes with their own packing ----

// 30-bit gray values in 32-bit words.
class CPMGray32 : public CPixMap {
public:
    explicit CPMGray32(PixMapMemory memory) : CPixMap(ModeGray32, std::move(memory)) {}
    void StretchRect(const PixRect& sourceRect, CPixMap& destination,
                     const PixRect& destinationRect) const override;
    void SetBackground(const std::uint8_t* color, int length) override;
    void ExtractChannel(int channel, CPixMap& destination) const override;
    double ComputePSNR(const CPixMap& other, std::vector<double>& perChannel) const override;
};

// One bit per pixel, leftmost pixel in the most significant bit; 1 is black.
class CPMBitmap : public CPixMap {
public:
    explicit CPMBitmap(PixMapMemory memory) : CPixMap(ModeBitmap, std::move(memory)) {}
    void StretchRect(const PixRect& sourceRect, CPixMap& destination,
                     const PixRect& destinationRect) const override;
    // Pixel x is compared with bit 7 - x % 8 of the background byte, the bit a fill puts there.
    bool IsUniform(const PixRect& rect) const override;
    void SetBackground(const std::uint8_t* color, int length) override;
    void ExtractChannel(int channel, CPixMap& destination) const override;
    double ComputePSNR(const CPixMap& other, std::vector<double>& perChannel) const override;
};

// Three 4-bit nibbles per pixel (blue, green, red), low nibble of each byte first.
class CPMColorRGB12 : public CPixMap {
public:
    explicit CPMColorRGB12(PixMapMemory memory) : CPixMap(ModeRGB12, std::move(memory)) {}
    void StretchRect(const PixRect& sourceRect, CPixMap& destination,
                     const PixRect& destinationRect) const override;
    bool IsUniform(const PixRect& rect) const override;
    void SetBackground(const std::uint8_t* color, int length) override;
    void ExtractChannel(int channel, CPixMap& destination) const override;
    double ComputePSNR(const CPixMap& other, std::vector<double>& perChannel) const override;
};

// One 16-bit word per pixel: red in bits 15-11, green in 10-5, blue in 4-0.
class CPMColorRGB16 : public CPixMap {
public:
    explicit CPMColorRGB16(PixMapMemory memory) : CPixMap(ModeRGB16, std::move(memory)) {}
    void StretchRect(const PixRect& sourceRect, CPixMap& destination,
                     const PixRect& destinationRect) const override;
    void SetBackground(const std::uint8_t* color, int length) override;
    void ExtractChannel(int channel, CPixMap& destination) const override;
    double ComputePSNR(const CPixMap& other, std::vector<double>& perChannel) const override;
};

// The parts of two rectangles that lie inside both maps and inside each other, in each map's own
// buffer coordinates (0, 0 is the map's top-left pixel); both results have the same size.
struct ClippedRects {
    PixRect source;
    PixRect destination;
};

std::optional<ClippedRects> ClipRects(const CPixMap& source, const PixRect& sourceRect,
                                      const CPixMap& destination, const PixRect& destinationRect);
