// Images read just large enough for the size a caller will scale them to: the coarsest level of
// a QVT file that still covers it, or of a container's preview or tiles. Thumbnails and the Qt
// image plugin read this way, so that a small picture of a huge file costs little.
#pragma once

#include "kld_header.h"
#include "qvt_head.h"
#include "qvt_stream.h"
#include "raster_image.h"
#include "region_rect.h"

#include <cstdint>
#include <memory>

struct CoveringRequest {
    RegionRect region;       // in full-size pixels; empty for the whole image
    std::uint32_t width = 0; // the size the result will be scaled to; 0 for the region's
    std::uint32_t height = 0;
    std::uint64_t pixelLimit = 0; // the most pixels a decoded level may hold; 0 for no limit
};

// The head of the QVT data at the stream's position, which stays where it was. Throws
// ImageFileError.
QVTHead PeekQVTHead(CQVTStream& stream);

// The region of the QVT data at the stream's position at the coarsest level that still covers
// the size (at most the data's coarsest level); data without region support are decoded whole
// and cut. Throws ImageFileError: "Image creation failed." before decoding a level of more
// pixels than the limit.
RasterImage ReadQVTCovering(CQVTStream& stream, const CoveringRequest& request);

// The checked header of the container that starts the stream. Throws ImageFileError.
KLDExtHeader ReadContainerHeader(CQVTStream& stream);

enum class ContainerSource { PreviewOrTiles, PreviewOnly };

// The image of the container that starts the stream: from its preview when that holds the size
// over the region (or when only the preview may be read), otherwise from its tiles at the
// coarsest covering level (an indexed container then comes as RGB). Throws ImageFileError, as
// ReadQVTCovering does.
RasterImage ReadContainerCovering(std::unique_ptr<CQVTStream> stream,
                                  const CoveringRequest& request, ContainerSource source);
