#include "export_area.h"

ExportArea WholeImageArea(const ChannelImage& image) {
    ExportArea area;
    area.width = image.width;
    area.height = image.height;
    return area;
}

ExportArea RegionExportArea(const ChannelImage& image, const RegionRect& region,
                            const std::array<PlaneOrigin, kMaxChannels>& decodedTopLeft) {
    if (region.right <= region.left || region.bottom <= region.top)
        ThrowCodecError(ErrorWrongFormat);
    ExportArea area;
    area.width = region.right - region.left;
    area.height = region.bottom - region.top;
    if (area.width >= image.width && area.height >= image.height) return WholeImageArea(image);

    area.left = region.left;
    area.top = region.top;
    for (int c = 0; c < image.channels && c < kMaxChannels; ++c) {
        const bool halved = image.chromaHalved && c >= 1;
        const std::uint32_t column = halved ? region.left >> 1 : region.left;
        const std::uint32_t row = halved ? region.top >> 1 : region.top;
        if (column < decodedTopLeft[c].column || row < decodedTopLeft[c].row)
            ThrowCodecError(ErrorWrongFormat);
        area.origins[c] = {column - decodedTopLeft[c].column, row - decodedTopLeft[c].row};
    }
    return area;
}

ExportArea AreaRows(const ChannelImage& image, const ExportArea& area, std::uint32_t first,
                    std::uint32_t count) {
    ExportArea rows = area;
    rows.top = area.top + first;
    rows.height = count;
    // A halved plane row serves two image rows from the image's own phase on.
    const std::uint32_t halvedRows = ((area.top & 1) + first) >> 1;
    for (int c = 0; c < image.channels && c < kMaxChannels; ++c)
        rows.origins[c].row += image.chromaHalved && c >= 1 ? halvedRows : first;
    return rows;
}
