#include "tile_placement.h"

#include <algorithm>

CTilePlacement::CTilePlacement(const CIndex& index, std::uint64_t dataBegin,
                               std::uint64_t indexOffset, std::uint64_t fileEnd)
    : m_end(std::max(fileEnd, indexOffset)) {
    std::vector<IndexEntry> entries = index.Entries();
    std::sort(entries.begin(), entries.end(),
              [](const IndexEntry& a, const IndexEntry& b) { return a.offset < b.offset; });
    std::uint64_t position = dataBegin;
    for (const IndexEntry& entry : entries) {
        if (entry.offset > position)
            m_gaps.push_back({position, std::min(entry.offset, indexOffset)});
        position = std::max(position, entry.offset + entry.length);
    }
    if (position < indexOffset) m_gaps.push_back({position, indexOffset});
}

std::uint64_t CTilePlacement::Place(std::uint64_t length) {
    for (Gap& gap : m_gaps) {
        if (gap.end - gap.begin >= length) {
            const std::uint64_t offset = gap.begin;
            gap.begin += length;
            return offset;
        }
    }
    const std::uint64_t offset = m_end;
    m_end += length;
    return offset;
}
