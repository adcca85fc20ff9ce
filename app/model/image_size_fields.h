// The fields of the "Change Image Size" dialog and how each edit moves the others: width and
// height in pixels, each as a percentage of the size at opening, and the aspect ratio kept
// unless different ratios are allowed. Sides the arithmetic derives are limited to
// 1 ... kMaxImageSide; a side typed outside that range stays as typed and makes the fields
// unacceptable (the dialog disables OK) until the next edit.
#pragma once

#include <cstdint>
#include <optional>

// The longest side an image may get: rows of 64 bits per pixel, the widest form an image takes
// (its deep export as standard image data), still fit the 31-bit row sizes of Qt's images and of
// the display image.
inline constexpr std::int64_t kMaxImageSide = (0x7FFFFFFF - 31) / 64;

class ImageSizeFields {
public:
    ImageSizeFields(std::uint32_t width, std::uint32_t height);

    void EditWidth(std::int64_t width);
    void EditHeight(std::int64_t height);
    void EditWidthPercent(double percent);
    void EditHeightPercent(double percent);
    void AllowDifferentAspect(bool allow);
    // A field holds text that is no number.
    void EditUnreadable() { acceptable_ = false; }

    std::int64_t Width() const { return width_; }
    std::int64_t Height() const { return height_; }
    float WidthPercent() const { return widthPercent_; }
    float HeightPercent() const { return heightPercent_; }
    bool DifferentAspectAllowed() const { return allowDifferent_; }
    // Whether OK may take the size: both sides in range and an image of `mode` of that size fits
    // in `available` bytes of memory (unknown: it fits).
    bool Acceptable(std::uint32_t mode, std::optional<std::uint64_t> available) const;

private:
    // Single precision, as the dialog has always computed its sides.
    static std::int64_t Side(double exact);
    std::int64_t SideFromPercent(std::uint32_t original, float percent) const;
    void FollowWidth();
    void FollowHeight();

    std::uint32_t originalWidth_;
    std::uint32_t originalHeight_;
    double aspect_;
    std::int64_t width_;
    std::int64_t height_;
    float widthPercent_ = 100;
    float heightPercent_ = 100;
    bool allowDifferent_ = false;
    bool acceptable_ = true;
};
