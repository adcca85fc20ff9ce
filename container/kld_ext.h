// CKLDExt: an open container file with its fixed part, tile index, tile ordering and preview.
#pragma once

#include "kld_header.h"
#include "ordering.h"
#include "pix_map.h"
#include "pix_rect.h"
#include "progress.h"
#include "qvt_stream.h"
#include "tile_caches.h"
#include "tile_index.h"

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <vector>

// How a stored tile was coded, as its codec reports it.
struct TileCoding {
    std::uint8_t levels = 0;
    std::uint8_t quality = 0;
};
using TileCodings = std::map<std::uint32_t, TileCoding>;

class CKLDExt {
public:
    CKLDExt() = default;
    ~CKLDExt();
    CKLDExt(const CKLDExt&) = delete;
    CKLDExt& operator=(const CKLDExt&) = delete;

    // Makes a new container on an empty, writable file (the descriptor stays the caller's):
    // the header is completed and checked, the index is empty, the tile data start at the
    // first 4-aligned offset after the user data. With a preview size, a preview of that size
    // in the preview mode, filled with the background, follows; without one (a side of 0) none
    // is written, and such a file does not open.
    void Create(int fd, const KLDExtHeader& header, std::uint32_t previewWidth,
                std::uint32_t previewHeight, std::span<const std::uint8_t> userData);
    void Create(std::unique_ptr<CQVTStream> stream, const KLDExtHeader& header,
                std::uint32_t previewWidth, std::uint32_t previewHeight,
                std::span<const std::uint8_t> userData);

    // How Open treats the preview: decoded into the preview map, or only its head read and its
    // length checked against the file, for readers of regions and of the header, which never
    // show it (Preview() is then null, and writes are refused).
    enum class PreviewReading { Decode, HeadOnly };
    // Opens an existing container completely. True when the file has the current structure,
    // false when it is readable but should be reorganised (an older, shorter header). Every
    // offset, length and tile number is checked against the file and the grid before use;
    // a file that fails gives IOException and the object keeps what was built so far.
    bool Open(int fd, std::uint64_t decodedCacheBytes, std::uint64_t decoderCacheBytes,
              PreviewReading preview = PreviewReading::Decode);
    bool Open(std::unique_ptr<CQVTStream> stream, std::uint64_t decodedCacheBytes,
              std::uint64_t decoderCacheBytes, PreviewReading preview = PreviewReading::Decode);

    // Reads magic, header, layout block and user data only; the same result as Open.
    bool ReadHeader(CQVTStream& stream);
    // Decodes the preview at the preview offset down to `level` (−1: its coarsest level) into
    // the preview map.
    void ReadPreview(CQVTStream& stream, int level);
    // Writes the fixed part and the user data at offset 0. Non-empty `userData` replaces the
    // start of the stored user data and the stored length becomes the shorter of the two: user
    // data never grow in place, since the tile data follow them. Refused (ErrorWrongVersion)
    // on the container's own stream when that holds an older, shorter fixed part.
    void WriteHeader(CQVTStream& stream, std::span<const std::uint8_t> userData = {});
    // The index with the header's compression; see ReadIndex and WriteIndex of index_io.h.
    CIndex ReadIndex(CQVTStream& stream, std::uint64_t offset, std::uint32_t length,
                     std::uint64_t stored) const;
    std::uint64_t WriteIndex(const CIndex& index, CQVTStream& stream, std::uint64_t offset) const;
    // Codes the preview map at `offset`; nothing when there is no preview.
    void WritePreview(CQVTStream& stream, std::uint64_t offset) const;
    // Writes the preview at the preview offset.
    void WritePreview(CQVTStream& stream) const { WritePreview(stream, m_layout.previewOffset); }
    // Releases stream, index, ordering, scratch map, preview and user data; header, layout and
    // grid stay.
    void Close();

    // ---- Pixel operations. Callbacks get the fraction done; a true result stops the operation
    // with ErrorUserBreak. Failures throw IOException and leave the container usable.

    // Fills the map's rectangle (image coordinates, container mode) with the image decoded at
    // `level` (0 = full detail); tiles never written read as background. ErrorWrongFormat when
    // the container is not open (before anything else is looked at).
    void ReadRegion(CPixMap& map, int level, ProgressCallback progress = nullptr,
                    void* data = nullptr);
    // Reads the map's rectangle at the coarsest level that still covers width x height and
    // replaces the map by one of that size.
    void ReadRegionScaled(std::unique_ptr<CPixMap>& map, std::uint32_t width, std::uint32_t height,
                          ProgressCallback progress = nullptr, void* data = nullptr);
    // Reads the rectangle (clamped to the image) at `level` into a new map of its size at that
    // level, every edge divided by 2^level and rounded up, positioned in that level's
    // coordinates. Tiles are decoded one at a time at their coarsest level down to `level` and
    // drawn into the map, so memory follows the reduced size rather than the rectangle's; tiles
    // never written read as background; an indexed container comes as RGB, since its tiles
    // carry colour tables of their own. Bypasses the caches. An empty rectangle is EINVAL.
    std::unique_ptr<CPixMap> ReadRegionReduced(const PixRect& rect, int level);
    // Stores the map's pixels (quality 255: the header's default; levels 0: the codec's choice)
    // with merge rule 0 (keep the better coding of a partly overwritten tile), 1 (the
    // smaller), 2 (the given one) or any other (the stored one) and codec kind 1, 2 or 3. A
    // container that is not open, its preview included, is ErrorWrongFormat; then an empty map
    // or one outside the image writes nothing.
    void WriteRegion(const CPixMap& source, std::uint8_t quality, std::uint8_t levels, int rule,
                     std::uint8_t kind, ProgressCallback progress = nullptr, void* data = nullptr);
    // Recomputes the preview from the stored tiles and commits it.
    void BuildPreview(ProgressCallback progress = nullptr, void* data = nullptr);
    // Writes a compacted copy to `target`, an empty stream: tiles in tile-number order from the
    // start of the tile data without gaps, then the index, the preview and the fixed part, and
    // flushes it. This container and its file stay as they were.
    void Reorganize(CQVTStream& target, ProgressCallback progress = nullptr, void* data = nullptr);
    // Reads the tiles of `list` (entries from SelectTiles) in file order into `destination`.
    void ReadTiles(CIndex& list, CPixMap& destination, int level, bool keepDecoders,
                   TileCodings* codings, ProgressCallback progress = nullptr, void* data = nullptr);
    // Decodes one tile into its map, opening a decoder at the stream's position when `slot` is
    // empty; returns what the codec reports of the tile's coding.
    TileCoding DecodeTile(TileDecoder& slot, int level, CPixMap& tileMap);
    // Null while the container is not open.
    TileCaches* Caches() { return m_caches.get(); }

    // The pixels of a tile; empty for a number outside the grid or without an ordering.
    PixRect GetTileRect(std::uint32_t tile) const;
    // A new map of the container mode over the tile's rectangle, filled with the background;
    // null for a tile outside the grid.
    std::unique_ptr<CPixMap> CreateTilePixMap(std::uint32_t tile) const;
    // A codec header for the tile: its size and the container's mode, depth and channels.
    TileHeader TileHeaderOf(std::uint32_t tile) const;

    std::uint32_t Width() const { return m_header.width; }
    std::uint32_t Height() const { return m_header.height; }
    std::uint8_t Mode() const { return m_header.mode; }
    std::uint16_t TileWidth() const { return m_header.tileWidth; }
    std::uint16_t TileHeight() const { return m_header.tileHeight; }
    std::uint32_t TileColumns() const { return m_columns; }
    std::uint32_t TileRows() const { return m_rows; }
    const KLDExtHeader& Header() const { return m_header; }
    // A new background (blue, green, red): tiles never written read as it from now on; it reaches
    // the file with the next WriteHeader.
    void SetBackground(const std::array<std::uint8_t, 3>& background) {
        m_header.background = background;
    }
    const KLDExtLayout& Layout() const { return m_layout; }
    void SetLayout(const KLDExtLayout& layout) { m_layout = layout; }
    // The stored header length of the file read last: 22, or less for an older file, whose
    // fixed part is shorter; its layout block must not be rewritten in place.
    std::uint16_t StoredHeaderLength() const { return m_storedHeaderLength; }
    const std::vector<std::uint8_t>& UserData() const { return m_userData; }
    // Where tiles may lie: from the end of the fixed part and user data to the index offset.
    // Writers start at the next 4-aligned offset (TileDataStart); files that earlier writers
    // filled from here stay readable.
    std::uint64_t TileDataBegin() const;
    // The end of what the committed header refers to: past the preview stream, whose head
    // gives its length (IOException when it cannot be read). Bytes beyond it up to the end of
    // the file are the orphaned tail of a write that stopped before its commit.
    std::uint64_t CommittedEnd();
    // The size of the stored preview as its head gives it, also when Open did not decode it;
    // 0 x 0 without one.
    std::uint32_t PreviewWidth() const { return m_previewWidth; }
    std::uint32_t PreviewHeight() const { return m_previewHeight; }
    // The preview map, null when the container has none or Open did not decode it.
    const CPixMap* Preview() const { return m_preview.get(); }
    CPixMap* Preview() { return m_preview.get(); }
    void SetPreview(std::unique_ptr<CPixMap> preview);
    const COrdering* Ordering() const { return m_ordering.get(); }
    // A map of the container mode as large as the largest tile, for decoding tiles at reduced
    // levels; present while the container is open.
    CPixMap* ScratchPixMap() { return m_scratch.get(); }
    CIndex& Index() { return m_index; }
    CQVTStream* Stream() { return m_stream.get(); }
    // Entries the caches may hold, from the byte budgets given to Open: a decoded tile counts
    // its area, a kept decoder what it holds (KLD::CQVT::KeptDecoderBytes of a whole tile).
    std::uint32_t DecodedCacheCapacity() const { return m_decodedCacheCapacity; }
    std::uint32_t DecoderCacheCapacity() const { return m_decoderCacheCapacity; }

private:
    void ReadFixedPart(CQVTStream& stream);
    void WriteFixedPart(CQVTStream& stream, const KLDExtLayout& layout) const;
    void BuildGrid();
    void ReadCheckedIndex(std::uint64_t fileSize);
    void CheckIndexEntries() const;
    // Writes `index` and then `preview` at `offset`, which lies past every byte the committed
    // header refers to, and commits them by rewriting the fixed part; a change that stops
    // before leaves the file and this object as they were. Flushing before the fixed part keeps
    // a power loss from committing bytes that never reached the disk; flushing after it makes
    // the change last.
    void CommitIndexAndPreview(CIndex index, std::unique_ptr<CPixMap> preview,
                               std::uint64_t offset);
    // The size of the container's file: past the committed index and preview.
    std::uint64_t FileEnd() const;
    // A copy of the preview map with the region of the source drawn onto it.
    std::unique_ptr<CPixMap> UpdatedPreview(const CPixMap& source, const PixRect& region) const;

    std::unique_ptr<CQVTStream> m_stream;
    std::unique_ptr<TileCaches> m_caches; // after the stream: kept decoders read from it
    KLDExtLayout m_layout;
    CIndex m_index;
    std::unique_ptr<COrdering> m_ordering;
    std::uint32_t m_columns = 0;
    std::uint32_t m_rows = 0;
    std::uint32_t m_decodedCacheCapacity = 0;
    std::uint32_t m_decoderCacheCapacity = 0;
    std::unique_ptr<CPixMap> m_scratch;
    KLDExtHeader m_header;
    std::uint16_t m_storedHeaderLength = kKLDHeaderSize;
    std::unique_ptr<CPixMap> m_preview;
    std::uint32_t m_previewWidth = 0;
    std::uint32_t m_previewHeight = 0;
    std::vector<std::uint8_t> m_userData;
};
