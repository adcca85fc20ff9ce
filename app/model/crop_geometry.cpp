#include "crop_geometry.h"

#include <algorithm>
#include <cmath>

ImageRect CropOnScreen(const ImageRect& crop, Point origin, Size image, double zoom) {
    const auto w = static_cast<std::uint32_t>(image.width);
    const auto h = static_cast<std::uint32_t>(image.height);
    return {origin.x + ScreenEdge(crop.left, w, zoom), origin.y + ScreenEdge(crop.top, h, zoom),
            origin.x + ScreenEdge(crop.right, w, zoom),
            origin.y + ScreenEdge(crop.bottom, h, zoom)};
}

CropHandle HitCropHandle(const ImageRect& screen, Point point, std::int64_t handleSize) {
    const auto near = [handleSize](std::int64_t value, std::int64_t edge, bool before) {
        return before ? value >= edge - handleSize && value < edge
                      : value >= edge && value < edge + handleSize;
    };
    const std::int64_t midX = (screen.left + screen.right) / 2;
    const std::int64_t midY = (screen.top + screen.bottom) / 2;
    const auto nearMid = [handleSize](std::int64_t value, std::int64_t mid) {
        return value >= mid - handleSize / 2 && value < mid - handleSize / 2 + handleSize;
    };
    const bool left = near(point.x, screen.left, true);
    const bool right = near(point.x, screen.right, false);
    const bool top = near(point.y, screen.top, true);
    const bool bottom = near(point.y, screen.bottom, false);
    if (top && left) return CropHandle::TopLeft;
    if (top && right) return CropHandle::TopRight;
    if (bottom && right) return CropHandle::BottomRight;
    if (bottom && left) return CropHandle::BottomLeft;
    if (top && nearMid(point.x, midX)) return CropHandle::Top;
    if (bottom && nearMid(point.x, midX)) return CropHandle::Bottom;
    if (left && nearMid(point.y, midY)) return CropHandle::Left;
    if (right && nearMid(point.y, midY)) return CropHandle::Right;
    const bool inside = point.x >= screen.left && point.x < screen.right && point.y >= screen.top &&
                        point.y < screen.bottom;
    return inside ? CropHandle::Move : CropHandle::None;
}

namespace {

std::int64_t ImagePixels(std::int64_t screenPixels, double zoom) {
    return static_cast<std::int64_t>(std::llround(static_cast<double>(screenPixels) / zoom));
}

} // namespace

ImageRect DragCrop(const ImageRect& start, CropHandle handle, std::int64_t dx, std::int64_t dy,
                   Size image, double zoom) {
    if (!(zoom > 0)) return start;
    const std::int64_t ix = ImagePixels(dx, zoom);
    const std::int64_t iy = ImagePixels(dy, zoom);
    ImageRect crop = start;
    if (handle == CropHandle::Move) {
        const std::int64_t moveX = std::clamp(ix, -std::min(start.left, start.right),
                                              image.width - std::max(start.left, start.right));
        const std::int64_t moveY = std::clamp(iy, -std::min(start.top, start.bottom),
                                              image.height - std::max(start.top, start.bottom));
        return {start.left + moveX, start.top + moveY, start.right + moveX, start.bottom + moveY};
    }
    const bool left = handle == CropHandle::TopLeft || handle == CropHandle::Left ||
                      handle == CropHandle::BottomLeft;
    const bool right = handle == CropHandle::TopRight || handle == CropHandle::Right ||
                       handle == CropHandle::BottomRight;
    const bool top = handle == CropHandle::TopLeft || handle == CropHandle::Top ||
                     handle == CropHandle::TopRight;
    const bool bottom = handle == CropHandle::BottomLeft || handle == CropHandle::Bottom ||
                        handle == CropHandle::BottomRight;
    if (left) crop.left = std::clamp<std::int64_t>(start.left + ix, 0, image.width);
    if (right) crop.right = std::clamp<std::int64_t>(start.right + ix, 0, image.width);
    if (top) crop.top = std::clamp<std::int64_t>(start.top + iy, 0, image.height);
    if (bottom) crop.bottom = std::clamp<std::int64_t>(start.bottom + iy, 0, image.height);
    return crop;
}

CropCheck CheckCrop(const ImageRect& crop, Size image) {
    if (crop.Width() <= 0 || crop.Height() <= 0) return CropCheck::Empty;
    if (crop == ImageRect{0, 0, image.width, image.height}) return CropCheck::WholeImage;
    return CropCheck::Apply;
}
