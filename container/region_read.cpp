// Reading pixels out of the container: single tiles, lists of tiles and rectangles at any level,
// through the decoded-tile and decoder caches.
#include "kld_ext.h"

#include "covering_level.h"
#include "indexed_copy.h"
#include "pixmap_factory.h"
#include "qvt_error.h"
#include "tile_drawing.h"
#include "tile_range.h"

#include <algorithm>
#include <cerrno>
#include <optional>

namespace {

// The codec's colour table is complete at 256 entries; unused entries read as zero.
constexpr int kColorTableEntries = 256;

void CopyColorTable(const KLD::CImage& codec, CPixMap& map) {
    std::uint8_t* table = map.AllocColorTable();
    if (table) codec.GetColorTable(0, kColorTableEntries, table);
}

TileHeader ExpectedTile(const CKLDExt& container, const CPixMap& tileMap) {
    TileHeader tile;
    tile.width = tileMap.Width();
    tile.height = tileMap.Height();
    tile.mode = container.Mode();
    tile.bitsPerPixel = container.Header().bitsPerPixel;
    tile.channels = container.Header().channels;
    return tile;
}

// Indexed tiles carry colour tables of their own: each keeps its colours in the destination while
// they fit its table (`kept` names the entries drawn pixels show); once they do not, `kept` goes
// and the pixel maps' copy rule draws the rest with the nearest colours.
void DrawTile(const CPixMap& tile, CPixMap& destination, std::optional<ColorEntries>& kept) {
    if (kept && CopyKeepingColors(tile, destination, *kept)) return;
    kept.reset();
    tile.CopyRect(tile.Rect(), destination, tile.Rect());
}

} // namespace

TileCoding CKLDExt::DecodeTile(TileDecoder& slot, int level, CPixMap& tileMap) {
    if (!slot) {
        slot.reset(KLD::CreateTileCodecFromStream(*m_stream).release());
        slot->Open(*m_stream);
        KLD::CheckTileCodecMatches(*slot, ExpectedTile(*this, tileMap));
        level = std::clamp(level, 0, std::max(0, slot->GetLevels() - 1));
    }
    KLD::CImage& codec = *slot;
    const TileCoding coding{static_cast<std::uint8_t>(codec.GetLevels()), codec.GetQuality()};
    if (level < codec.GetCurrentLevel()) codec.Read(level);
    const int current = codec.GetCurrentLevel();
    if (current == 0) {
        codec.ExportPixels(tileMap.GetBits(), tileMap.Stride(), tileMap.BitsPerPixel());
    } else {
        CPixMap& scratch = *m_scratch;
        const PixRect part{0, 0, codec.GetWidthAt(current), codec.GetHeightAt(current)};
        codec.ExportPixels(scratch.GetBits(), scratch.Stride(), scratch.BitsPerPixel());
        // An indexed stretch looks its colours up in the scratch map's table.
        if (m_header.mode == ModeIndexed) CopyColorTable(codec, scratch);
        scratch.StretchRect(part, tileMap, tileMap.Rect());
    }
    if (m_header.mode == ModeIndexed) CopyColorTable(codec, tileMap);
    return coding;
}

void CKLDExt::ReadTiles(CIndex& list, CPixMap& destination, int level, bool keepDecoders,
                        TileCodings* codings, ProgressCallback progress, void* data) {
    if (!m_caches) ThrowCodecError(ErrorWrongFormat);
    auto& decodedCache = m_caches->decoded;
    auto& decoderCache = m_caches->decoders;
    const bool keep = keepDecoders && level > 0 && decoderCache.Capacity() > 0;
    list.SortByOffset();
    std::optional<ColorEntries> kept;
    if (destination.GetMode() == ModeIndexed) kept.emplace();
    const std::uint32_t count = list.Count();
    for (std::uint32_t i = 0; i < count; ++i) {
        const IndexEntry entry = *list.Entry(i);
        const DecodedTile* cached = nullptr;
        if (decodedCache.Capacity() > 0) {
            const DecodedTile* found = decodedCache.Find(entry.tile);
            if (found && found->decodedLevel <= level) cached = found;
        }
        std::unique_ptr<CPixMap> ownMap;
        const CPixMap* tileMap = nullptr;
        if (cached) {
            if (keep) decoderCache.Find(entry.tile);
            tileMap = cached->map.get();
            if (codings && entry.offset != 0)
                (*codings)[entry.tile] = {cached->levels, cached->quality};
        } else if (entry.offset == 0) {
            // A tile never written is background: only the part the destination shows is made,
            // so a huge empty tile costs no more than the region read.
            if (const auto shown = Intersect(GetTileRect(entry.tile), destination.Rect())) {
                ownMap = CreatePixMap(*shown, m_header.mode, m_header.background.data(),
                                      static_cast<int>(m_header.background.size()));
                tileMap = ownMap.get();
            }
        } else {
            ownMap = CreateTilePixMap(entry.tile);
            if (!ownMap) ThrowCodecError(ErrorWrongFormat);
            tileMap = ownMap.get();
            // Taken out and put back when kept: the same slot, moved to the front.
            KeptDecoder kept;
            if (auto taken = decoderCache.Take(entry.tile)) kept = std::move(*taken);
            if (kept.codec && kept.codec->GetCurrentLevel() > level)
                m_stream->SetPos(PosFromStart, static_cast<std::int64_t>(kept.position));
            if (!kept.codec)
                m_stream->SetPos(PosFromStart, static_cast<std::int64_t>(entry.offset));
            const TileCoding coding = DecodeTile(kept.codec, level, *ownMap);
            const int decodedLevel = kept.codec->GetCurrentLevel();
            // A decoder at full detail has nothing left to continue; a PNG decoder could not
            // export its consumed rows again.
            if (keep && decodedLevel > 0)
                decoderCache.Insert(entry.tile, {std::move(kept.codec), m_stream->GetPos()});
            if (codings) (*codings)[entry.tile] = coding;
            if (decodedCache.Capacity() > 0) {
                decodedCache.Insert(entry.tile, {std::move(ownMap), coding.quality, coding.levels,
                                                 static_cast<std::uint8_t>(decodedLevel)});
                tileMap = decodedCache.Find(entry.tile)->map.get();
            }
        }
        if (tileMap) DrawTile(*tileMap, destination, kept);
        if (progress && progress(static_cast<double>(i) / count, false, data))
            ThrowCodecError(ErrorUserBreak);
    }
}

void CKLDExt::ReadRegion(CPixMap& map, int level, ProgressCallback progress, void* data) {
    // Left unread, the map would pass for the image.
    if (!m_caches) ThrowCodecError(ErrorWrongFormat);
    if (map.Rect().IsEmpty()) return;
    CTileRange range(m_header, *m_ordering, map.Rect());
    if (range.Count() == 0) return;
    CIndex list = m_index.SelectTiles(range);
    ReadTiles(list, map, level, true, nullptr, progress, data);
}

void CKLDExt::ReadRegionScaled(std::unique_ptr<CPixMap>& map, std::uint32_t width,
                               std::uint32_t height, ProgressCallback progress, void* data) {
    const std::uint32_t regionWidth = map->Width();
    const std::uint32_t regionHeight = map->Height();
    if (regionWidth == 0 || regionHeight == 0 || width == 0 || height == 0) return;
    ReadRegion(*map, CoarsestCoveringLevel(regionWidth, regionHeight, width, height), progress,
               data);
    if (width == regionWidth && height == regionHeight) return;
    std::unique_ptr<CPixMap> scaled = CreatePixMap(PixRect{0, 0, width, height}, map->GetMode());
    if (!scaled) ThrowCodecError(ErrorOutOfMemory);
    map->StretchRect(map->Rect(), *scaled, scaled->Rect());
    map = std::move(scaled);
}

std::unique_ptr<CPixMap> CKLDExt::ReadRegionReduced(const PixRect& rect, int level) {
    const auto clamped = Intersect(rect, PixRect{0, 0, Width(), Height()});
    if (!clamped || level < 0 || level > 31) ThrowCodecError(EINVAL);
    if (!m_ordering || !m_scratch) ThrowCodecError(ErrorWrongFormat);
    const auto reduce = [level](std::uint32_t v) {
        return static_cast<std::uint32_t>((std::uint64_t{v} + (std::uint64_t{1} << level) - 1) >>
                                          level);
    };
    const auto reduceRect = [&reduce](const PixRect& r) {
        return PixRect{reduce(r.left), reduce(r.top), reduce(r.right), reduce(r.bottom)};
    };
    // Indexed tiles carry colour tables of their own: they meet in RGB.
    const bool indexed = m_header.mode == ModeIndexed;
    const std::uint8_t mode = indexed ? std::uint8_t{ModeRGB} : m_header.mode;
    auto map = CreatePixMap(reduceRect(*clamped), mode, m_header.background.data(),
                            static_cast<int>(m_header.background.size()));
    if (!map) ThrowCodecError(ErrorWrongFormat);
    CTileRange range(m_header, *m_ordering, *clamped);
    CIndex list = m_index.SelectTiles(range);
    list.SortByOffset();
    for (std::uint32_t i = 0; i < list.Count(); ++i) {
        const IndexEntry entry = *list.Entry(i);
        if (entry.offset == 0) continue;
        m_stream->SetPos(PosFromStart, static_cast<std::int64_t>(entry.offset));
        const std::unique_ptr<KLD::CImage> codec = KLD::CreateTileCodecFromStream(*m_stream);
        codec->Open(*m_stream);
        KLD::CheckTileCodecMatches(*codec, TileHeaderOf(entry.tile));
        // Coarse levels of indices are averages of indices, not of colours: full detail.
        const int coarsest = indexed ? 0 : std::max(0, codec->GetLevels() - 1);
        codec->Read(std::min(level, coarsest));
        // Both edges of every tile are rounded alike, so neighbouring tiles meet without a gap.
        DrawDecodedTile(*codec, *m_scratch, *map, reduceRect(GetTileRect(entry.tile)));
    }
    return map;
}
