#include "indexed_copy.h"

#include <array>
#include <cstring>
#include <optional>

namespace {

constexpr std::size_t kEntries = 256;
using TableBytes = std::array<std::uint8_t, 4 * kEntries>;
using IndexMap = std::array<std::uint8_t, kEntries>;

bool SameColor(const std::uint8_t* a, const std::uint8_t* b) {
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

// Chooses the destination entries of the source's colours, in a working copy of the table.
class CEntryAssignment {
public:
    CEntryAssignment(const CPixMap& destination, const ColorEntries& kept)
        : m_taken(kept), m_background(destination.GetBackground()[0]) {
        std::memcpy(m_table.data(), destination.GetColorTable(), m_table.size());
    }

    // The entry for source index `index` of colour `color` (blue, green, red), or nothing when
    // every free entry is taken.
    std::optional<std::uint8_t> Assign(std::size_t index, const std::uint8_t* color) {
        // The background index keeps meaning the background: only its own pixels take it.
        if (index == m_background && (!m_taken[index] || SameColor(At(index), color)))
            return Give(index, color);
        // A colour already shown keeps one entry, so free entries stay for new colours; searching
        // from the source's own index keeps indices where the tables agree.
        std::optional<std::size_t> keptMatch, freeMatch, freeEntry;
        for (std::size_t step = 0; step < kEntries && !keptMatch; ++step) {
            const std::size_t entry = (index + step) % kEntries;
            if (entry == m_background) continue;
            const bool same = SameColor(At(entry), color);
            if (m_taken[entry] && same) keptMatch = entry;
            if (!m_taken[entry] && same && !freeMatch) freeMatch = entry;
            if (!m_taken[entry] && !freeEntry) freeEntry = entry;
        }
        if (const auto entry = keptMatch ? keptMatch : freeMatch ? freeMatch : freeEntry)
            return Give(*entry, color);
        return std::nullopt;
    }

    const TableBytes& Table() const { return m_table; }
    const ColorEntries& Taken() const { return m_taken; }
    const ColorEntries& Recolored() const { return m_recolored; }

private:
    std::uint8_t* At(std::size_t entry) { return m_table.data() + 4 * entry; }

    std::uint8_t Give(std::size_t entry, const std::uint8_t* color) {
        if (!SameColor(At(entry), color)) {
            std::memcpy(At(entry), color, 3);
            m_recolored.set(entry);
        }
        m_taken.set(entry);
        return static_cast<std::uint8_t>(entry);
    }

    TableBytes m_table;
    ColorEntries m_taken;
    ColorEntries m_recolored;
    std::size_t m_background;
};

// Rewrites every index of `map` through `indices`.
void RemapPixels(CPixMap& map, const IndexMap& indices) {
    for (std::uint32_t y = 0; y < map.Height(); ++y) {
        std::uint8_t* row = map.Row(y);
        for (std::uint32_t x = 0; x < map.Width(); ++x)
            row[x] = indices[row[x]];
    }
}

// Moves pixels that show one colour through several kept entries to the first of them, so the
// others become free. False when no two kept entries share a colour. Pixels outside the kept
// ones are about to be overwritten or not drawn yet: remapping them does no harm.
bool MergeDuplicateEntries(CPixMap& destination, ColorEntries& kept) {
    const std::uint8_t* table = destination.GetColorTable();
    const std::size_t background = destination.GetBackground()[0];
    IndexMap indices{};
    bool merged = false;
    for (std::size_t entry = 0; entry < kEntries; ++entry) {
        indices[entry] = static_cast<std::uint8_t>(entry);
        if (!kept[entry] || entry == background) continue;
        for (std::size_t first = 0; first < entry; ++first) {
            if (!kept[first] || first == background ||
                !SameColor(table + 4 * first, table + 4 * entry))
                continue;
            indices[entry] = static_cast<std::uint8_t>(first);
            kept.reset(entry);
            merged = true;
            break;
        }
    }
    if (merged) RemapPixels(destination, indices);
    return merged;
}

std::optional<IndexMap> AssignSourceColors(const CPixMap& source, const ColorEntries& used,
                                           CEntryAssignment& assignment) {
    IndexMap indices{};
    for (std::size_t index = 0; index < kEntries; ++index) {
        if (!used[index]) continue;
        const auto entry = assignment.Assign(index, source.GetColorTable() + 4 * index);
        if (!entry) return std::nullopt;
        indices[index] = *entry;
    }
    return indices;
}

} // namespace

ColorEntries EntriesUsed(const CPixMap& map, const PixRect& rect, const PixRect& except) {
    ColorEntries used;
    const auto area = Intersect(rect, map.Rect());
    if (!area) return used;
    const PixRect& at = map.Rect();
    for (std::uint32_t y = area->top; y < area->bottom; ++y) {
        const std::uint8_t* row = map.Row(y - at.top);
        const bool rowInExcept = y >= except.top && y < except.bottom;
        for (std::uint32_t x = area->left; x < area->right; ++x)
            if (!rowInExcept || x < except.left || x >= except.right) used.set(row[x - at.left]);
    }
    return used;
}

bool CopyKeepingColors(const CPixMap& source, CPixMap& destination, ColorEntries& kept,
                       ColorEntries* recolored) {
    const auto area = Intersect(source.Rect(), destination.Rect());
    if (!area) return true;
    if (!source.GetColorTable() || !destination.GetColorTable()) {
        source.CopyRect(*area, destination, *area);
        kept |= EntriesUsed(destination, *area);
        return true;
    }
    const ColorEntries used = EntriesUsed(source, *area);
    std::optional<IndexMap> indices;
    std::optional<CEntryAssignment> assignment;
    do {
        assignment.emplace(destination, kept);
        indices = AssignSourceColors(source, used, *assignment);
    } while (!indices && MergeDuplicateEntries(destination, kept));
    if (!indices) return false;

    std::memcpy(destination.GetColorTable(), assignment->Table().data(), sizeof(TableBytes));
    const PixRect& from = source.Rect();
    const PixRect& to = destination.Rect();
    for (std::uint32_t y = area->top; y < area->bottom; ++y) {
        const std::uint8_t* sourceRow = source.Row(y - from.top) + (area->left - from.left);
        std::uint8_t* destinationRow = destination.Row(y - to.top) + (area->left - to.left);
        for (std::uint32_t x = 0; x < area->Width(); ++x)
            destinationRow[x] = (*indices)[sourceRow[x]];
    }
    kept = assignment->Taken();
    if (recolored) *recolored |= assignment->Recolored();
    return true;
}
