// An image's rows handed out a strip at a time, so that a writer never needs the whole image in
// memory at once.
#pragma once

#include "raster_image.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Rows are laid out as the image's pixel map lays them out (for Bitmap, Gray and RGB that is
// also its display image): 1 bit per pixel most significant bit first, 8-bit gray, blue green
// red, or the 16- and 32-bit words of deep modes holding their values.
class ImageRowSource {
public:
    virtual ~ImageRowSource() = default;

    virtual ImageMode Mode() const = 0;
    virtual std::uint32_t Width() const = 0;
    virtual std::uint32_t Height() const = 0;
    // The largest sample value of a deep image; 0 when none is known.
    virtual std::uint32_t MaxChannelValue() const = 0;
    // The most rows one call to Rows hands out.
    virtual std::uint32_t StripRows() const = 0;
    // Rows first … first + count - 1 (count <= StripRows()), `pitch` bytes apart. They stay
    // valid until the next call.
    virtual const std::uint8_t* Rows(std::uint32_t first, std::uint32_t count,
                                     std::ptrdiff_t& pitch) = 0;
    // As Rows, but written to `to`, `pitch` bytes apart, with 8-bit colour pixels red first as
    // files keep them. A source that makes its rows anyway can make them there, sparing the
    // caller a copy and a pass that reorders them; false when it cannot, as by default.
    virtual bool RowsRedFirst(std::uint32_t /*first*/, std::uint32_t /*count*/,
                              std::uint8_t* /*to*/, std::ptrdiff_t /*pitch*/) {
        return false;
    }
    // Whether RowsRedFirst makes this image's rows and may be called on several threads at
    // once, each for rows of its own.
    virtual bool RowsRedFirstOnAnyThread() const { return false; }
    // For a writer that can put rows anywhere in its file: splits the rows into at most `runs`
    // runs that RowsRedFirst makes at the same time, each on a thread of its own and in order
    // from its first row, and returns the runs' first rows. Empty when the source cannot, as by
    // default; called once, before any rows.
    virtual std::vector<std::uint32_t> RowRuns(int /*runs*/) { return {}; }
    // How many threads a source that makes its rows may make them on (0: as many as it would),
    // for a writer that keeps a processor for a thread of its own.
    virtual void SetRowThreads(int /*threads*/) {}
};

// The rows of an image in memory, all in one strip.
class RasterImageRows final : public ImageRowSource {
public:
    // The image must outlive this object.
    explicit RasterImageRows(RasterImage& image) : image_(&image) {}

    ImageMode Mode() const override { return image_->Mode(); }
    std::uint32_t Width() const override { return image_->Width(); }
    std::uint32_t Height() const override { return image_->Height(); }
    std::uint32_t MaxChannelValue() const override { return image_->maxChannelValue; }
    std::uint32_t StripRows() const override { return Height(); }
    const std::uint8_t* Rows(std::uint32_t first, std::uint32_t count,
                             std::ptrdiff_t& pitch) override;

private:
    RasterImage* image_;
};
