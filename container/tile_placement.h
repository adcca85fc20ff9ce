// Where a write puts re-coded tile records so that the committed file stays intact until its
// header is rewritten: never over a record, index or preview the header still refers to.
#pragma once

#include "tile_index.h"

#include <cstdint>
#include <vector>

class CTilePlacement {
public:
    // The free space of a committed file: the gaps between the records of `index` inside the tile
    // data [dataBegin, indexOffset) (space freed by earlier writes, such as their old index and
    // preview), then everything from `fileEnd` on.
    CTilePlacement(const CIndex& index, std::uint64_t dataBegin, std::uint64_t indexOffset,
                   std::uint64_t fileEnd);

    // An offset for `length` new bytes: the first gap that holds them, else the end.
    std::uint64_t Place(std::uint64_t length);
    // Where the new index (and after it the preview) may go: past everything placed, and past
    // the committed index and preview.
    std::uint64_t End() const { return m_end; }

private:
    struct Gap {
        std::uint64_t begin;
        std::uint64_t end;
    };
    std::vector<Gap> m_gaps;
    std::uint64_t m_end;
};
