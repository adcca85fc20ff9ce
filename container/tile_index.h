// The tile index: where each stored tile's record lies in the container file.
#pragma once

#include <cstdint>
#include <vector>

class CTileRange;

// One stored tile; 16 bytes in the file (tile, length, offset, little-endian). Offset 0 marks a
// tile that is not stored, in lists built by SelectTiles.
struct IndexEntry {
    std::uint32_t tile = 0;
    std::uint32_t length = 0; // of the whole record, tag included
    std::uint64_t offset = 0;

    bool operator==(const IndexEntry&) const = default;
};

enum class IndexOrder : std::int32_t { Unsorted = -1, ByTile = 0, ByOffset = 1 };

class CIndex {
public:
    CIndex() = default;
    // Takes the entries as they are; the order is unknown unless there are none.
    explicit CIndex(std::vector<IndexEntry> entries);
    virtual ~CIndex() = default;
    CIndex(const CIndex&) = default;
    CIndex& operator=(const CIndex&) = default;
    CIndex(CIndex&&) = default;
    CIndex& operator=(CIndex&&) = default;

    std::uint32_t Count() const { return static_cast<std::uint32_t>(m_entries.size()); }
    // Entry i, or null when i ≥ Count().
    const IndexEntry* Entry(std::uint32_t i) const;
    IndexEntry* Entry(std::uint32_t i);
    const std::vector<IndexEntry>& Entries() const { return m_entries; }
    IndexOrder Order() const { return m_order; }

    // Binary search by tile number; sorts by tile number first when the index is not.
    const IndexEntry* FindEntry(std::uint32_t tile);
    // The longest record, computed once until the entries change.
    std::uint32_t MaxEntryLength();

    void SortByTile();
    void SortByOffset();

    // One entry per tile of the range, sorted by tile number: the stored length and offset, or
    // zeros for a tile that is not stored.
    CIndex SelectTiles(CTileRange& range);
    // Merges a list from SelectTiles into this index: a list entry with an offset replaces or
    // adds its tile, one without removes it. `change` is the expected change in the number of
    // stored tiles; a different result, or a list naming a tile twice, is refused
    // (ErrorWrongFormat) and leaves the index as it was.
    void MergeIndex(CIndex list, std::int64_t change);

    // The entries' 16-byte records in the current order.
    std::vector<std::uint8_t> StoreEntries() const;
    // Entries from their records (`size` a multiple of 16); the order is the caller's to state.
    static CIndex LoadEntries(const std::uint8_t* bytes, std::uint64_t size, IndexOrder order);

private:
    std::vector<IndexEntry> m_entries;
    std::uint32_t m_maxEntryLength = 0; // 0: not yet computed
    IndexOrder m_order = IndexOrder::ByTile;
};
