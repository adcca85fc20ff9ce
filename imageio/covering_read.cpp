#include "covering_read.h"

#include "covering_level.h"
#include "kld_ext.h"
#include "qvt_error.h"
#include "qvt_file.h"
#include "qvt_head.h"
#include "qvt_image.h"

#include <algorithm>

namespace {

// Levels of fewer pixels decode on the calling thread alone.
constexpr std::uint64_t kParallelPixels = std::uint64_t{1} << 20;
// Nothing of the user data is needed to choose a level.
constexpr std::uint32_t kSkipUserData = 0xFFFFFFFF;
// A region read visits every tile it covers, stored or not. A header of millions of tiny tiles
// (a few bytes of a hostile file) would stall a reader asking for a small picture of the whole
// for seconds; past this many tiles the preview serves, stretched as far as needed.
constexpr std::uint64_t kMaxTilesVisited = std::uint64_t{1} << 16;

std::uint64_t TilesCovering(const KLDExtHeader& header, const RegionRect& region) {
    if (region.IsEmpty() || header.tileWidth == 0 || header.tileHeight == 0) return 0;
    const std::uint64_t columns =
        (region.right - 1) / header.tileWidth - region.left / header.tileWidth + 1;
    const std::uint64_t rows =
        (region.bottom - 1) / header.tileHeight - region.top / header.tileHeight + 1;
    return columns * rows;
}

std::uint32_t Reduce(std::uint32_t value, int level) {
    return static_cast<std::uint32_t>((std::uint64_t{value} + (std::uint64_t{1} << level) - 1) >>
                                      level);
}

std::uint64_t PixelsAtLevel(const RegionRect& rect, int level) {
    return std::uint64_t{Reduce(rect.right, level) - Reduce(rect.left, level)} *
           (Reduce(rect.bottom, level) - Reduce(rect.top, level));
}

void CheckPixelLimit(std::uint64_t pixels, std::uint64_t limit) {
    if (limit != 0 && pixels > limit) throw ImageFileError(kImageCreationFailed);
}

// The request's region clamped to width x height; the whole image for an empty one.
RegionRect RegionWithin(const CoveringRequest& request, std::uint32_t width, std::uint32_t height) {
    const RegionRect whole{0, 0, width, height};
    if (request.region.IsEmpty()) return whole;
    const auto inside = Intersect(request.region, whole);
    if (!inside) ThrowCodeError(EINVAL);
    return *inside;
}

// The wanted size, defaulting to the region's own.
std::pair<std::uint32_t, std::uint32_t> WantedSize(const CoveringRequest& request,
                                                   const RegionRect& region) {
    return {request.width != 0 ? request.width : region.Width(),
            request.height != 0 ? request.height : region.Height()};
}

// Rounds outwards, so that a region maps to at least the preview pixels it touches.
RegionRect RegionInPreview(const RegionRect& region, const CKLDExt& container,
                           std::uint32_t previewWidth, std::uint32_t previewHeight) {
    const auto scale = [](std::uint32_t v, std::uint32_t to, std::uint32_t from, bool up) {
        const std::uint64_t product = std::uint64_t{v} * to;
        return static_cast<std::uint32_t>(up ? (product + from - 1) / from : product / from);
    };
    const std::uint32_t width = container.Width(), height = container.Height();
    RegionRect mapped{scale(region.left, previewWidth, width, false),
                      scale(region.top, previewHeight, height, false),
                      scale(region.right, previewWidth, width, true),
                      scale(region.bottom, previewHeight, height, true)};
    mapped.right = std::max(mapped.right, std::min(mapped.left + 1, previewWidth));
    mapped.bottom = std::max(mapped.bottom, std::min(mapped.top + 1, previewHeight));
    return mapped;
}

} // namespace

KLDExtHeader ReadContainerHeader(CQVTStream& stream) {
    try {
        CKLDExt head;
        head.ReadHeader(stream);
        CheckKLDExtHeader(head.Header());
        return head.Header();
    } catch (const IOException& error) {
        ThrowCodeError(error.error);
    }
}

QVTHead PeekQVTHead(CQVTStream& stream) {
    try {
        const std::uint64_t start = stream.GetPos();
        QVTHead head = ReadHead(stream, kSkipUserData);
        stream.SetPos(PosFromStart, static_cast<std::int64_t>(start));
        return head;
    } catch (const IOException& error) {
        ThrowCodeError(error.error);
    }
}

RasterImage ReadQVTCovering(CQVTStream& stream, const CoveringRequest& request) {
    const QVTHead head = PeekQVTHead(stream);
    const QVTHeader& header = head.header;
    const RegionRect whole{0, 0, header.width, header.height};
    const RegionRect region = RegionWithin(request, header.width, header.height);
    const auto [wantedWidth, wantedHeight] = WantedSize(request, region);
    const int coarsest = std::max(0, header.levels - 1);
    const int level =
        std::min(CoarsestCoveringLevel(region.Width(), region.Height(), wantedWidth, wantedHeight),
                 coarsest);
    const bool regionRead = (head.leadIn.version & kVersionRegion) != 0 && header.levels > 0;
    const std::uint64_t pixels = PixelsAtLevel(regionRead ? region : whole, level);
    CheckPixelLimit(pixels, request.pixelLimit);
    QVTReadOptions options;
    options.level = level;
    if (region != whole) options.region = region;
    // Threads that wait for each other at every band cost more than a small level takes. The
    // decoder takes its thread count when the head is read.
    options.threads = pixels < kParallelPixels ? 1 : 0;
    CQVTImage qvt;
    qvt.SetThreadCount(options.threads);
    OpenQVTStream(qvt, stream);
    return ReadOpenedQVT(qvt, options);
}

RasterImage ReadContainerCovering(std::unique_ptr<CQVTStream> stream,
                                  const CoveringRequest& request, ContainerSource source) {
    try {
        CKLDExt head;
        head.ReadHeader(*stream);
        CheckKLDExtHeader(head.Header());
        const RegionRect region = RegionWithin(request, head.Width(), head.Height());
        const auto [wantedWidth, wantedHeight] = WantedSize(request, region);

        stream->SetPos(PosFromStart, static_cast<std::int64_t>(head.Layout().previewOffset));
        const QVTHeader preview = PeekQVTHead(*stream).header;
        const RegionRect inPreview = RegionInPreview(region, head, preview.width, preview.height);
        if (source == ContainerSource::PreviewOnly ||
            (inPreview.Width() >= wantedWidth && inPreview.Height() >= wantedHeight) ||
            TilesCovering(head.Header(), region) > kMaxTilesVisited)
            return ReadQVTCovering(*stream,
                                   {inPreview, wantedWidth, wantedHeight, request.pixelLimit});

        const int level =
            CoarsestCoveringLevel(region.Width(), region.Height(), wantedWidth, wantedHeight);
        CheckPixelLimit(PixelsAtLevel(region, level), request.pixelLimit);
        CKLDExt container;
        container.Open(std::move(stream), 0, 0);
        return MakeRasterImage(container.ReadRegionReduced(region, level), 0);
    } catch (const IOException& error) {
        ThrowCodeError(error.error);
    }
}
