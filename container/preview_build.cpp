// Rebuilding the preview from the stored tiles: each tile is decoded only down to the level that
// still covers its cell of the preview.
#include "kld_ext.h"

#include "pixmap_factory.h"
#include "qvt_error.h"
#include "tile_drawing.h"

#include <algorithm>
#include <cmath>

namespace {

struct PreviewCells {
    std::uint32_t width = 0; // of every cell but the last column's
    std::uint32_t height = 0;
    std::uint32_t lastWidth = 0;
    std::uint32_t lastHeight = 0;
};

PreviewCells CellsFor(const CKLDExt& container, std::uint64_t previewWidth,
                      std::uint64_t previewHeight) {
    const std::uint64_t tileWidth = container.TileWidth();
    const std::uint64_t tileHeight = container.TileHeight();
    PreviewCells cells;
    cells.width = static_cast<std::uint32_t>(
        std::ceil(static_cast<double>(tileWidth * previewWidth) / container.Width()));
    cells.height = static_cast<std::uint32_t>(
        std::ceil(static_cast<double>(tileHeight * previewHeight) / container.Height()));
    cells.lastWidth = static_cast<std::uint32_t>((container.Width() % tileWidth + tileWidth) *
                                                 cells.width / tileWidth);
    cells.lastHeight = static_cast<std::uint32_t>((container.Height() % tileHeight + tileHeight) *
                                                  cells.height / tileHeight);
    return cells;
}

} // namespace

void CKLDExt::BuildPreview(ProgressCallback progress, void* data) {
    if (!m_ordering || !m_caches) ThrowCodecError(ErrorWrongFormat);
    std::uint64_t previewWidth = 500;
    std::uint64_t previewHeight = 500;
    if (m_preview) {
        previewWidth = m_preview->Width();
        previewHeight = m_preview->Height();
    } else if (Width() > Height()) {
        previewHeight = std::uint64_t{Height()} * 500 / Width();
    } else {
        previewWidth = std::uint64_t{Width()} * 500 / Height();
    }
    const PreviewCells cells = CellsFor(*this, previewWidth, previewHeight);
    const PixRect previewRect{0, 0, cells.width * (m_columns - 1) + cells.lastWidth,
                              cells.height * (m_rows - 1) + cells.lastHeight};
    const std::uint8_t previewMode = PreviewMode(m_header.mode);
    std::unique_ptr<CPixMap> preview =
        CreatePixMap(previewRect, previewMode, m_header.background.data(),
                     static_cast<int>(m_header.background.size()));
    if (!preview) ThrowCodecError(ErrorWrongFormat);

    const bool indexed = m_header.mode == ModeIndexed;
    std::vector<IndexEntry> entries = m_index.Entries();
    std::sort(entries.begin(), entries.end(),
              [](const IndexEntry& a, const IndexEntry& b) { return a.offset < b.offset; });
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const IndexEntry& entry = entries[i];
        std::uint32_t column = 0;
        std::uint32_t row = 0;
        m_ordering->IndexToXY(entry.tile, column, row);
        m_stream->SetPos(PosFromStart, static_cast<std::int64_t>(entry.offset));
        const TileDecoder codec(KLD::CreateTileCodecFromStream(*m_stream).release());
        codec->Open(*m_stream);
        KLD::CheckTileCodecMatches(*codec, TileHeaderOf(entry.tile));
        // Indexed pixels cannot be averaged before their colours are known: full detail.
        for (int level = codec->GetLevels() - 1; level >= 0; --level) {
            codec->Read(level);
            if (!indexed && codec->GetWidthAt(level) >= cells.width &&
                codec->GetHeightAt(level) >= cells.height)
                break;
        }
        const PixRect cell{
            column * cells.width, row * cells.height,
            column * cells.width + (column + 1 == m_columns ? cells.lastWidth : cells.width),
            row * cells.height + (row + 1 == m_rows ? cells.lastHeight : cells.height)};
        DrawDecodedTile(*codec, *m_scratch, *preview, cell);
        if (progress && progress(static_cast<double>(i + 1) / entries.size(), false, data))
            ThrowCodecError(ErrorUserBreak);
    }
    CommitIndexAndPreview(m_index, std::move(preview), FileEnd());
}
