// Writing pixels into the container: re-codes only the tiles whose pixels change, drops tiles
// that become background, and commits index, preview and header only after every record is in
// free space, so a write that stops part-way leaves the previous content readable.
#include "kld_ext.h"

#include "indexed_copy.h"
#include "parallel_guard.h"
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

// Draws the source over the new content of the touched tiles. An indexed source keeps its colours
// beside the pixels it leaves while they fit one table; the result names the entries that took a
// new colour, whose pixels changed even where their index did not.
ColorEntries DrawSource(const CPixMap& source, CPixMap& target) {
    ColorEntries recolored;
    if (source.GetMode() == ModeIndexed) {
        ColorEntries kept = EntriesUsed(target, target.Rect(), source.Rect());
        if (CopyKeepingColors(source, target, kept, &recolored)) return recolored;
    }
    source.CopyRect(source.Rect(), target, source.Rect());
    return {};
}

// A re-coded tile's map, for the decoded-tile cache once the write is committed.
struct WrittenTile {
    std::uint32_t tile;
    std::unique_ptr<CPixMap> map;
    TileCoding coding;
};

// A tile to re-code: its place in the list, the coding asked for, and what coding it made.
struct CodedTile {
    std::uint32_t index;
    TileCoding coding;
    std::unique_ptr<CPixMap> map;
    std::unique_ptr<CQVTMemoryStream> record;
    TileCoding stored{};
    std::uint32_t error = 0;
};

// Codes tile `number` of `pixels` (a map over it in the container's mode) into a record of its
// own, as a write of `kind` stores it.
void CodeTile(const CKLDExt& container, CodedTile& tile, std::uint32_t number,
              const CPixMap& pixels, std::uint8_t kind, std::uint64_t recordSize) {
    const PixRect tileRect = container.GetTileRect(number);
    tile.map = container.CreateTilePixMap(number);
    if (!tile.map) ThrowCodecError(ErrorWrongFormat);
    pixels.CopyRect(tileRect, *tile.map, tileRect);
    TileHeader header = container.TileHeaderOf(number);
    header.levels = tile.coding.levels;
    header.quality = tile.coding.quality;
    const std::uint8_t codecKind = kind == KLD::KindAutomatic
                                       ? static_cast<std::uint8_t>(KLD::ChooseTileCodec(
                                             tile.map->GetBits(), tile.map->Stride(), header))
                                       : kind;
    // A kind that cannot hold the mode falls back to the wavelet codec in the factory.
    const std::unique_ptr<KLD::CImage> codec = KLD::CreateTileCodec(header, codecKind);
    if (!codec) ThrowCodecError(ErrorWrongFormat);
    codec->ImportPixels(tile.map->GetBits(), tile.map->Stride(), tile.map->BitsPerPixel());
    if (container.Mode() == ModeIndexed && tile.map->GetColorTable())
        codec->SetColorTable(256, tile.map->GetColorTable());
    tile.record = std::make_unique<CQVTMemoryStream>(recordSize);
    std::uint64_t length = 0;
    codec->Write(*tile.record, true, length);
    if (length > 0xFFFFFFFF) ThrowCodecError(ErrorWrongFormat);
    tile.stored = {static_cast<std::uint8_t>(codec->GetLevels()), codec->GetQuality()};
}

} // namespace

void CKLDExt::WriteRegion(const CPixMap& source, std::uint8_t quality, std::uint8_t levels,
                          int rule, std::uint8_t kind, ProgressCallback progress, void* data) {
    // A write that stored nothing must not pass for one that did.
    if (!m_caches || !m_preview) ThrowCodecError(ErrorWrongFormat);
    const PixRect& sourceRect = source.Rect();
    if (sourceRect.left >= Width() || sourceRect.top >= Height() || sourceRect.right == 0 ||
        sourceRect.bottom == 0 || sourceRect.IsEmpty())
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
    const ColorEntries recolored = DrawSource(source, *newMap);
    const auto unchanged = [&](const PixRect& tile) {
        return oldMap->EqualRect(tile, *newMap, tile) &&
               (recolored.none() || (EntriesUsed(*newMap, tile) & recolored).none());
    };

    list.SortByTile();
    const std::uint64_t recordSize =
        (std::uint64_t{m_header.bitsPerPixel} * m_header.tileWidth + 7) * m_header.tileHeight / 8 +
        1000;
    // What each tile of the list needs, decided first; the tiles to re-code are then coded in
    // parallel, each into a record of its own, and placed and written in tile order, so the
    // file is the same whatever the number of threads.
    enum class Action { Keep, Drop, Code };
    std::vector<Action> actions(list.Count(), Action::Keep);
    std::vector<CodedTile> coded;
    std::int64_t change = 0;
    bool changed = false;
    const std::uint32_t count = list.Count();
    for (std::uint32_t i = 0; i < count; ++i) {
        const IndexEntry& entry = *list.Entry(i);
        const PixRect tileRect = GetTileRect(entry.tile);
        const bool wasStored = entry.offset != 0;
        if (newMap->IsUniform(tileRect)) {
            if (!wasStored) continue;
            --change;
            changed = true;
            actions[i] = Action::Drop;
            continue;
        }
        if (unchanged(tileRect)) continue;
        if (!wasStored) ++change;
        changed = true;
        actions[i] = Action::Code;
        TileCoding coding{levels, quality};
        if (wasStored && !Contains(region, tileRect))
            coding = MergeCoding(rule, coding, stored[entry.tile]);
        coded.push_back({i, coding, nullptr, nullptr, {}, 0});
    }
    const auto codedCount = static_cast<std::int64_t>(coded.size());
#pragma omp parallel for schedule(dynamic)
    for (std::int64_t j = 0; j < codedCount; ++j) {
        CodedTile& tile = coded[static_cast<std::size_t>(j)];
        tile.error = GuardedCode([&] {
            CodeTile(*this, tile, list.Entry(tile.index)->tile, *newMap, kind, recordSize);
            return 0u;
        });
    }
    for (const CodedTile& tile : coded)
        if (tile.error != 0) ThrowCodecError(tile.error);

    CTilePlacement placement(m_index, TileDataStart(m_storedHeaderLength, m_userData.size()),
                             m_layout.indexOffset, FileEnd());
    std::vector<WrittenTile> written;
    auto next = coded.begin();
    for (std::uint32_t i = 0; i < count; ++i) {
        if (progress && progress(static_cast<double>(i) / count, false, data))
            ThrowCodecError(ErrorUserBreak);
        IndexEntry& entry = *list.Entry(i);
        if (actions[i] == Action::Drop) entry = {entry.tile, 0, 0};
        if (actions[i] != Action::Code) continue;
        CodedTile& tile = *next++;
        const std::uint64_t length = tile.record->DataSize();
        const std::uint64_t offset = placement.Place(length);
        m_stream->SetPos(PosFromStart, static_cast<std::int64_t>(offset));
        WriteBytes(*m_stream, tile.record->Data(), length);
        entry.length = static_cast<std::uint32_t>(length);
        entry.offset = offset;
        written.push_back({entry.tile, std::move(tile.map), tile.stored});
    }
    if (!changed) return;

    CIndex merged = m_index;
    merged.MergeIndex(list, change);
    CommitIndexAndPreview(std::move(merged), UpdatedPreview(source, region), placement.End());

    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t tile = list.Entry(i)->tile;
        m_caches->decoded.Remove(tile);
        m_caches->decoders.Remove(tile);
    }
    // A lossy tile reads back as its codec stored it, which a reopened file would show; only
    // lossless pixels may be served from what was written.
    for (WrittenTile& tile : written)
        if (tile.coding.quality == 0)
            m_caches->decoded.Insert(
                tile.tile, {std::move(tile.map), tile.coding.quality, tile.coding.levels, 0});
}

std::unique_ptr<CPixMap> CKLDExt::UpdatedPreview(const CPixMap& source,
                                                 const PixRect& region) const {
    auto preview = CreatePixMap(m_preview->Rect(), m_preview->GetMode());
    if (!preview) ThrowCodecError(ErrorOutOfMemory);
    m_preview->CopyRect(m_preview->Rect(), *preview, preview->Rect());
    const std::uint64_t pw = preview->Width();
    const std::uint64_t ph = preview->Height();
    const PixRect target{static_cast<std::uint32_t>(region.left * pw / Width()),
                         static_cast<std::uint32_t>(region.top * ph / Height()),
                         static_cast<std::uint32_t>(region.right * pw / Width()),
                         static_cast<std::uint32_t>(region.bottom * ph / Height())};
    if (target.IsEmpty()) return preview;
    const std::unique_ptr<CPixMap> converted = CreatePixMap(source.Rect(), preview->GetMode());
    if (!converted) ThrowCodecError(ErrorOutOfMemory);
    source.ConvertTo(*converted);
    converted->StretchRect(region, *preview, target);
    return preview;
}
