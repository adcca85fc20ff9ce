// Writing pixels into the container: re-codes only the tiles whose pixels change, drops tiles
// that become background, and commits index, preview and header only after every record is in
// free space, so a write that stops part-way leaves the previous content readable.
#include "kld_ext.h"

#include "pixmap_factory.h"
#include "qvt_error.h"
#include "tile_codec_choice.h"
#include "tile_placement.h"
#include "tile_range.h"

#include <algorithm>
#include <vector>

namespace {

bool Contains(const PixRect& outer, const PixRect& inner) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// A partly overwritten tile keeps some of its old coding, by the merge rule.
TileCoding MergeCoding(int rule, TileCoding given, TileCoding stored) {
    switch (rule) {
    case 0:
        return {std::max(given.levels, stored.levels), std::min(given.quality, stored.quality)};
    case 1:
        return {std::min(given.levels, stored.levels), std::max(given.quality, stored.quality)};
    case 2:
        return given;
    default:
        return stored;
    }
}

// A re-coded tile's map, for the decoded-tile cache once the write is committed.
struct WrittenTile {
    std::uint32_t tile;
    std::unique_ptr<CPixMap> map;
    TileCoding coding;
};

} // namespace

void CKLDExt::WriteRegion(const CPixMap& source, std::uint8_t quality, std::uint8_t levels,
                          int rule, std::uint8_t kind, ProgressCallback progress, void* data) {
    const PixRect& sourceRect = source.Rect();
    if (!m_ordering || !m_caches || sourceRect.left >= Width() || sourceRect.top >= Height() ||
        sourceRect.right == 0 || sourceRect.bottom == 0 || sourceRect.IsEmpty())
        return;
    const PixRect region{sourceRect.left, sourceRect.top, std::min(sourceRect.right, Width()),
                         std::min(sourceRect.bottom, Height())};
    if (quality == 255) quality = m_header.defaultQuality;
    CTileRange range(m_header, *m_ordering, region);
    if (range.Count() == 0) return;
    CIndex list = m_index.SelectTiles(range);

    const std::unique_ptr<CPixMap> oldMap = CreatePixMap(range.Covered(), m_header.mode);
    const std::unique_ptr<CPixMap> newMap = CreatePixMap(range.Covered(), m_header.mode);
    if (!oldMap || !newMap) ThrowCodecError(ErrorOutOfMemory);
    newMap->SetBackground(m_header.background.data(), static_cast<int>(m_header.background.size()));
    TileCodings stored;
    ReadTiles(list, *oldMap, 0, false, &stored);
    oldMap->CopyRect(range.Covered(), *newMap, range.Covered());
    source.CopyRect(sourceRect, *newMap, sourceRect);

    list.SortByTile();
    const std::uint64_t recordSize =
        (std::uint64_t{m_header.bitsPerPixel} * m_header.tileWidth + 7) * m_header.tileHeight / 8 +
        1000;
    CQVTMemoryStream record(recordSize);
    CTilePlacement placement(m_index, TileDataBegin(), m_layout.indexOffset, FileEnd());
    std::int64_t change = 0;
    bool changed = false;
    std::vector<WrittenTile> written;
    const std::uint32_t count = list.Count();
    for (std::uint32_t i = 0; i < count; ++i) {
        if (progress && progress(static_cast<double>(i) / count, false, data))
            ThrowCodecError(ErrorUserBreak);
        IndexEntry& entry = *list.Entry(i);
        const PixRect tileRect = GetTileRect(entry.tile);
        const bool wasStored = entry.offset != 0;
        TileCoding coding{levels, quality};
        if (wasStored && !Contains(region, tileRect))
            coding = MergeCoding(rule, coding, stored[entry.tile]);
        if (newMap->IsUniform(tileRect)) {
            if (!wasStored) continue;
            --change;
            changed = true;
            entry = {entry.tile, 0, 0};
            continue;
        }
        if (oldMap->EqualRect(tileRect, *newMap, tileRect)) continue;
        if (!wasStored) ++change;
        changed = true;
        std::unique_ptr<CPixMap> tileMap = CreateTilePixMap(entry.tile);
        newMap->CopyRect(tileRect, *tileMap, tileRect);
        TileHeader header = TileHeaderOf(entry.tile);
        header.levels = coding.levels;
        header.quality = coding.quality;
        const std::uint8_t codecKind = kind == KLD::KindAutomatic
                                           ? static_cast<std::uint8_t>(KLD::ChooseTileCodec(
                                                 tileMap->GetBits(), tileMap->Stride(), header))
                                           : kind;
        // A kind that cannot hold the mode falls back to the wavelet codec in the factory.
        const std::unique_ptr<KLD::CImage> codec = KLD::CreateTileCodec(header, codecKind);
        if (!codec) ThrowCodecError(ErrorWrongFormat);
        codec->ImportPixels(tileMap->GetBits(), tileMap->Stride(), tileMap->BitsPerPixel());
        if (m_header.mode == ModeIndexed && tileMap->GetColorTable())
            codec->SetColorTable(256, tileMap->GetColorTable());
        record.Reset();
        std::uint64_t length = 0;
        codec->Write(record, true, length);
        if (length > 0xFFFFFFFF) ThrowCodecError(ErrorWrongFormat);
        const std::uint64_t offset = placement.Place(length);
        m_stream->SetPos(PosFromStart, static_cast<std::int64_t>(offset));
        WriteBytes(*m_stream, record.Data(), length);
        entry.length = static_cast<std::uint32_t>(length);
        entry.offset = offset;
        written.push_back({entry.tile,
                           std::move(tileMap),
                           {static_cast<std::uint8_t>(codec->GetLevels()), codec->GetQuality()}});
    }
    if (!changed) return;

    CIndex merged = m_index;
    merged.MergeIndex(list, change);
    UpdatePreview(source, region);
    CommitIndexAndPreview(std::move(merged), placement.End());

    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t tile = list.Entry(i)->tile;
        m_caches->decoded.Remove(tile);
        m_caches->decoders.Remove(tile);
    }
    for (WrittenTile& tile : written)
        m_caches->decoded.Insert(tile.tile,
                                 {std::move(tile.map), tile.coding.quality, tile.coding.levels, 0});
}

void CKLDExt::UpdatePreview(const CPixMap& source, const PixRect& region) {
    if (!m_preview) return;
    const std::uint64_t pw = m_preview->Width();
    const std::uint64_t ph = m_preview->Height();
    const PixRect target{static_cast<std::uint32_t>(region.left * pw / Width()),
                         static_cast<std::uint32_t>(region.top * ph / Height()),
                         static_cast<std::uint32_t>(region.right * pw / Width()),
                         static_cast<std::uint32_t>(region.bottom * ph / Height())};
    if (target.IsEmpty()) return;
    const std::unique_ptr<CPixMap> converted = CreatePixMap(source.Rect(), m_preview->GetMode());
    if (!converted) ThrowCodecError(ErrorOutOfMemory);
    source.ConvertTo(*converted);
    converted->StretchRect(region, *m_preview, target);
}
