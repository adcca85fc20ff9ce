#include "tile_index.h"

#include "byte_order64.h"
#include "kld_header.h"
#include "qvt_error.h"
#include "tile_range.h"

#include <algorithm>

namespace {

bool ByTileNumber(const IndexEntry& a, const IndexEntry& b) { return a.tile < b.tile; }
bool ByFileOffset(const IndexEntry& a, const IndexEntry& b) { return a.offset < b.offset; }

} // namespace

CIndex::CIndex(std::vector<IndexEntry> entries)
    : m_entries(std::move(entries)),
      m_order(m_entries.empty() ? IndexOrder::ByTile : IndexOrder::Unsorted) {}

const IndexEntry* CIndex::Entry(std::uint32_t i) const {
    return i < m_entries.size() ? &m_entries[i] : nullptr;
}

IndexEntry* CIndex::Entry(std::uint32_t i) {
    m_maxEntryLength = 0; // the caller may change the length
    return i < m_entries.size() ? &m_entries[i] : nullptr;
}

const IndexEntry* CIndex::FindEntry(std::uint32_t tile) {
    SortByTile();
    const auto found =
        std::lower_bound(m_entries.begin(), m_entries.end(), IndexEntry{tile}, ByTileNumber);
    return found != m_entries.end() && found->tile == tile ? &*found : nullptr;
}

std::uint32_t CIndex::MaxEntryLength() {
    if (m_maxEntryLength == 0)
        for (const IndexEntry& entry : m_entries)
            m_maxEntryLength = std::max(m_maxEntryLength, entry.length);
    return m_maxEntryLength;
}

void CIndex::SortByTile() {
    if (m_order == IndexOrder::ByTile || m_entries.empty()) return;
    std::stable_sort(m_entries.begin(), m_entries.end(), ByTileNumber);
    m_order = IndexOrder::ByTile;
}

void CIndex::SortByOffset() {
    if (m_order == IndexOrder::ByOffset || m_entries.empty()) return;
    std::stable_sort(m_entries.begin(), m_entries.end(), ByFileOffset);
    m_order = IndexOrder::ByOffset;
}

CIndex CIndex::SelectTiles(CTileRange& range) {
    std::vector<IndexEntry> selected;
    selected.reserve(range.Count());
    for (std::uint32_t tile = range.First(); tile != kNoTile; tile = range.Next())
        selected.push_back({tile, 0, 0});
    std::sort(selected.begin(), selected.end(), ByTileNumber);
    for (IndexEntry& entry : selected)
        if (const IndexEntry* stored = FindEntry(entry.tile)) entry = *stored;
    CIndex list(std::move(selected));
    list.m_order = IndexOrder::ByTile;
    return list;
}

void CIndex::MergeIndex(CIndex list, std::int64_t change) {
    SortByTile();
    list.SortByTile();
    // A tile listed twice would be stored twice, and the file would no longer open.
    const auto repeated = std::adjacent_find(
        list.m_entries.begin(), list.m_entries.end(),
        [](const IndexEntry& a, const IndexEntry& b) { return a.tile == b.tile; });
    if (repeated != list.m_entries.end()) ThrowCodecError(ErrorWrongFormat);
    std::vector<IndexEntry> merged;
    merged.reserve(m_entries.size() + list.m_entries.size());
    auto old = m_entries.begin();
    auto update = list.m_entries.begin();
    while (old != m_entries.end() || update != list.m_entries.end()) {
        if (update == list.m_entries.end() ||
            (old != m_entries.end() && old->tile < update->tile)) {
            merged.push_back(*old++);
            continue;
        }
        if (old != m_entries.end() && old->tile == update->tile) ++old;
        if (update->offset != 0) merged.push_back(*update);
        ++update;
    }
    if (static_cast<std::int64_t>(merged.size()) - static_cast<std::int64_t>(m_entries.size()) !=
        change)
        ThrowCodecError(ErrorWrongFormat);
    m_entries = std::move(merged);
    m_maxEntryLength = 0;
}

std::vector<std::uint8_t> CIndex::StoreEntries() const {
    std::vector<std::uint8_t> bytes(m_entries.size() * kIndexEntrySize);
    std::uint8_t* to = bytes.data();
    for (const IndexEntry& entry : m_entries) {
        StoreLE32(to, entry.tile);
        StoreLE32(to + 4, entry.length);
        StoreLE64(to + 8, entry.offset);
        to += kIndexEntrySize;
    }
    return bytes;
}

CIndex CIndex::LoadEntries(const std::uint8_t* bytes, std::uint64_t size, IndexOrder order) {
    std::vector<IndexEntry> entries(size / kIndexEntrySize);
    for (IndexEntry& entry : entries) {
        entry.tile = LoadLE32(bytes);
        entry.length = LoadLE32(bytes + 4);
        entry.offset = LoadLE64(bytes + 8);
        bytes += kIndexEntrySize;
    }
    CIndex index(std::move(entries));
    if (!index.m_entries.empty()) index.m_order = order;
    return index;
}
