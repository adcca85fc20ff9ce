#include "kldext_rules.h"

#include "qvt_error.h"

#include <algorithm>
#include <cmath>

std::uint32_t PreviewWidthFor(std::uint32_t imageWidth) {
    if (imageWidth <= 800) return imageWidth;
    const double width = imageWidth;
    double divisor = std::floor(width / 800);
    if (width / 1200 > divisor) divisor = width / 800;
    return static_cast<std::uint32_t>(width / divisor);
}

std::uint32_t PreviewHeightFor(std::uint32_t imageWidth, std::uint32_t imageHeight,
                               std::uint32_t previewWidth) {
    if (imageWidth == 0 || previewWidth == 0) return 0;
    return static_cast<std::uint32_t>(static_cast<double>(imageHeight) /
                                      (static_cast<double>(imageWidth) / previewWidth));
}

std::optional<std::string> CheckKLDExtFields(const KLDExtFields& f) {
    if (f.modeIndex < 0 || f.modeIndex >= static_cast<int>(kKLDExtModes.size()))
        return "Choose an image mode.";
    if (f.width < 1 || f.height < 1) return "The image needs a width and a height of at least 1.";
    if (f.previewWidth < 1 || f.previewWidth > f.width || f.previewHeight < 1 ||
        f.previewHeight > f.height)
        return "The preview must be at least 1 pixel and at most the image's size.";
    const std::uint32_t maxTileWidth = std::min<std::uint32_t>(f.width, 65535);
    const std::uint32_t maxTileHeight = std::min<std::uint32_t>(f.height, 65535);
    if (f.tileWidth < 1 || f.tileWidth > maxTileWidth || f.tileHeight < 1 ||
        f.tileHeight > maxTileHeight)
        return "Tiles must be at least 1 pixel and at most the image's size (and 65535).";
    if (f.qualityLoss < 0 || f.qualityLoss > 31) return "The quality loss lies from 0 to 31.";
    KLDExtHeader header = HeaderFromFields(f);
    try {
        NormalizeKLDExtHeader(header);
        CheckKLDExtHeader(header);
    } catch (const IOException&) {
        return "No container holds tiles of this size in this mode, or this many tiles.";
    }
    return std::nullopt;
}

KLDExtHeader HeaderFromFields(const KLDExtFields& fields) {
    const KLDExtModeEntry& entry =
        kKLDExtModes[static_cast<std::size_t>(std::clamp<int>(fields.modeIndex, 0, 13))];
    KLDExtHeader header;
    header.bitsPerPixel = entry.bitsPerPixel;
    header.mode = entry.mode;
    header.width = fields.width;
    header.height = fields.height;
    const auto bytesPerPixel = static_cast<std::uint8_t>((entry.bitsPerPixel + 7) / 8);
    header.channels = bytesPerPixel;
    header.background = {fields.background[2], fields.background[1], fields.background[0]};
    header.tileWidth = static_cast<std::uint16_t>(fields.tileWidth);
    header.tileHeight = static_cast<std::uint16_t>(fields.tileHeight);
    header.indexCompression = fields.compressedIndex ? IndexZlib : IndexPlain;
    header.ordering = static_cast<std::uint8_t>(fields.orderingIndex);
    header.bitsPerChannel = static_cast<std::uint8_t>(entry.bitsPerPixel / bytesPerPixel);
    header.defaultQuality = static_cast<std::uint8_t>(fields.qualityLoss);
    return header;
}

PreviewScales PreviewScalesOf(std::uint32_t width, std::uint32_t height, std::uint32_t previewWidth,
                              std::uint32_t previewHeight) {
    if (previewWidth == 0 || previewHeight == 0) return {};
    return {static_cast<double>(width) / previewWidth, static_cast<double>(height) / previewHeight};
}

namespace {

std::int64_t RoundHalfUp(double value) {
    return static_cast<std::int64_t>(std::floor(value + 0.5));
}

} // namespace

ExportRect RegionOnScreen(const ExportRect& image, PreviewScales scales, double zoom,
                          std::int64_t originX, std::int64_t originY) {
    if (!(scales.x > 0 && scales.y > 0)) return {originX, originY, 0, 0};
    const double fx = zoom / scales.x;
    const double fy = zoom / scales.y;
    return {RoundHalfUp(static_cast<double>(image.left) * fx) + originX,
            RoundHalfUp(static_cast<double>(image.top) * fy) + originY,
            RoundHalfUp(static_cast<double>(image.width) * fx),
            RoundHalfUp(static_cast<double>(image.height) * fy)};
}

ExportRect RegionInImage(const ExportRect& screen, PreviewScales scales, double zoom,
                         std::int64_t originX, std::int64_t originY) {
    if (!(zoom > 0)) return {};
    const double fx = scales.x / zoom;
    const double fy = scales.y / zoom;
    return {RoundHalfUp(static_cast<double>(screen.left - originX) * fx),
            RoundHalfUp(static_cast<double>(screen.top - originY) * fy),
            RoundHalfUp(static_cast<double>(screen.width) * fx),
            RoundHalfUp(static_cast<double>(screen.height) * fy)};
}

ExportRect DragRegion(const ExportRect& start, CropHandle handle, std::int64_t dx, std::int64_t dy,
                      PreviewScales scales, double zoom, bool fixedSize) {
    if (!(zoom > 0) || handle == CropHandle::None) return start;
    const std::int64_t ix = RoundHalfUp(static_cast<double>(dx) * scales.x / zoom);
    const std::int64_t iy = RoundHalfUp(static_cast<double>(dy) * scales.y / zoom);
    ExportRect r = start;
    if (handle == CropHandle::Move) {
        r.left += ix;
        r.top += iy;
        return r;
    }
    if (fixedSize) return start;
    if (handle == CropHandle::TopLeft || handle == CropHandle::Left ||
        handle == CropHandle::BottomLeft) {
        r.left += ix;
        r.width -= ix;
    }
    if (handle == CropHandle::TopRight || handle == CropHandle::Right ||
        handle == CropHandle::BottomRight)
        r.width += ix;
    if (handle == CropHandle::TopLeft || handle == CropHandle::Top ||
        handle == CropHandle::TopRight) {
        r.top += iy;
        r.height -= iy;
    }
    if (handle == CropHandle::BottomLeft || handle == CropHandle::Bottom ||
        handle == CropHandle::BottomRight)
        r.height += iy;
    return r;
}

ExportRect MoveRegion(const ExportRect& region, RegionKey key, RegionStep step) {
    if (key == RegionKey::Home) return {0, 0, region.width, region.height};
    const bool horizontal = key == RegionKey::Left || key == RegionKey::Right;
    const std::int64_t extent = horizontal ? region.width : region.height;
    const std::int64_t distance = step == RegionStep::Pixel     ? 1
                                  : step == RegionStep::Hundred ? 100
                                                                : extent;
    const std::int64_t signedDistance =
        key == RegionKey::Left || key == RegionKey::Up ? -distance : distance;
    ExportRect moved = region;
    (horizontal ? moved.left : moved.top) += signedDistance;
    return moved;
}

bool CanShowRegion(const ExportRegionState& s) { return s.exists && !s.fixedSize && !s.shown; }
bool CanCopyRegion(const ExportRegionState& s) { return s.shown && !s.fixedSize; }
bool CanPasteRegion(const ExportRegionState& s, bool clipboardOffersImage) {
    return !s.shown && clipboardOffersImage;
}
bool CanCommitRegion(const ExportRegionState& s) { return s.shown && s.fixedSize; }

std::string RegionStatusText(const ExportRect& r) {
    return "X: " + std::to_string(r.left) + ", Y: " + std::to_string(r.top) +
           ", W: " + std::to_string(r.width) + ", H: " + std::to_string(r.height);
}

ExportRect NormalizedRegion(const ExportRect& r) {
    ExportRect n = r;
    if (n.width < 0) {
        n.left += n.width;
        n.width = -n.width;
    }
    if (n.height < 0) {
        n.top += n.height;
        n.height = -n.height;
    }
    return n;
}

namespace {

std::optional<ExportRect> Clipped(std::int64_t left, std::int64_t top, std::int64_t right,
                                  std::int64_t bottom, std::uint32_t width, std::uint32_t height) {
    right = std::min<std::int64_t>(right, width);
    bottom = std::min<std::int64_t>(bottom, height);
    if (left >= right || top >= bottom) return std::nullopt;
    return ExportRect{left, top, right - left, bottom - top};
}

} // namespace

std::optional<ExportRect> WrittenPart(const ExportRect& region, std::uint32_t width,
                                      std::uint32_t height) {
    const ExportRect r = NormalizedRegion(region);
    if (r.left < 0 || r.top < 0) return std::nullopt;
    return Clipped(r.left, r.top, r.left + r.width, r.top + r.height, width, height);
}

std::optional<ExportRect> CopiedPart(const ExportRect& region, std::uint32_t width,
                                     std::uint32_t height) {
    const ExportRect r = NormalizedRegion(region);
    return Clipped(std::max<std::int64_t>(r.left, 0), std::max<std::int64_t>(r.top, 0),
                   r.left + r.width, r.top + r.height, width, height);
}

ExportRect VisibleRegion(Point origin, Size client, double zoom, std::uint32_t width,
                         std::uint32_t height) {
    if (!(zoom > 0)) return {0, 0, 1, 1};
    const auto edge = [zoom](std::int64_t offset, std::uint32_t length, bool far) {
        const double at = static_cast<double>(offset) / zoom;
        return std::clamp<std::int64_t>(far ? static_cast<std::int64_t>(std::ceil(at))
                                            : static_cast<std::int64_t>(std::floor(at)),
                                        0, length);
    };
    const std::int64_t left = edge(-origin.x, width, false);
    const std::int64_t top = edge(-origin.y, height, false);
    const std::int64_t right = edge(client.width - origin.x, width, true);
    const std::int64_t bottom = edge(client.height - origin.y, height, true);
    return {std::min<std::int64_t>(left, width - 1), std::min<std::int64_t>(top, height - 1),
            std::max<std::int64_t>(1, right - left), std::max<std::int64_t>(1, bottom - top)};
}
