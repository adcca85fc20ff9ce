#include "image_size_fields.h"

#include "memory_budget.h"

#include <algorithm>
#include <cmath>

namespace {

// A percentage at or below 0 (or no number at all) stands for the smallest one; the largest
// already makes every side the longest allowed.
constexpr float kSmallestPercent = 0.001f;
constexpr double kLargestPercent = 1e10;

float Percent(double typed) {
    return typed > 0 ? static_cast<float>(std::min(typed, kLargestPercent)) : kSmallestPercent;
}

} // namespace

ImageSizeFields::ImageSizeFields(std::uint32_t width, std::uint32_t height)
    : originalWidth_(std::max<std::uint32_t>(1, width)),
      originalHeight_(std::max<std::uint32_t>(1, height)),
      aspect_(static_cast<double>(originalWidth_) / originalHeight_), width_(originalWidth_),
      height_(originalHeight_) {}

std::int64_t ImageSizeFields::Side(double exact) {
    // Limited before the conversion: a huge percentage must not overflow it.
    return static_cast<std::int64_t>(
        std::clamp(std::trunc(exact), 1.0, static_cast<double>(kMaxImageSide)));
}

std::int64_t ImageSizeFields::SideFromPercent(std::uint32_t original, float percent) const {
    return Side(static_cast<float>(original) * percent / 100.0f + 0.5f);
}

// The height that keeps the aspect ratio of the width, and the same percentage.
void ImageSizeFields::FollowWidth() {
    if (allowDifferent_) return;
    heightPercent_ = widthPercent_;
    height_ = Side(static_cast<double>(width_) / aspect_ + 0.5);
}

void ImageSizeFields::FollowHeight() {
    if (allowDifferent_) return;
    widthPercent_ = heightPercent_;
    width_ = Side(static_cast<double>(height_) * aspect_ + 0.5);
}

void ImageSizeFields::EditWidth(std::int64_t width) {
    width_ = std::max<std::int64_t>(1, width);
    acceptable_ = width_ <= kMaxImageSide;
    if (!acceptable_) return;
    widthPercent_ = static_cast<float>(width_) * 100.0f / static_cast<float>(originalWidth_);
    FollowWidth();
}

void ImageSizeFields::EditHeight(std::int64_t height) {
    height_ = std::max<std::int64_t>(1, height);
    acceptable_ = height_ <= kMaxImageSide;
    if (!acceptable_) return;
    heightPercent_ = static_cast<float>(height_) * 100.0f / static_cast<float>(originalHeight_);
    FollowHeight();
}

void ImageSizeFields::EditWidthPercent(double percent) {
    acceptable_ = true;
    widthPercent_ = Percent(percent);
    width_ = SideFromPercent(originalWidth_, widthPercent_);
    FollowWidth();
}

void ImageSizeFields::EditHeightPercent(double percent) {
    acceptable_ = true;
    heightPercent_ = Percent(percent);
    height_ = SideFromPercent(originalHeight_, heightPercent_);
    FollowHeight();
}

void ImageSizeFields::AllowDifferentAspect(bool allow) {
    allowDifferent_ = allow;
    FollowWidth();
}

bool ImageSizeFields::Acceptable(std::uint32_t mode, std::optional<std::uint64_t> available) const {
    const auto inRange = [](std::int64_t side) { return side >= 1 && side <= kMaxImageSide; };
    return acceptable_ && inRange(width_) && inRange(height_) &&
           AllocationFits(DocumentImageBytes(static_cast<std::uint32_t>(width_),
                                             static_cast<std::uint32_t>(height_), mode),
                          available);
}
