// Plain transcriptions of the lifting steps, sample by sample in their natural interleaved order,
// against which the split-row kernels and the streaming level transform are checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The one-dimensional forward step over `count` samples `stride` apart. A row step is stride 1;
// the vertical steps are the same step down a column.
void ReferenceForwardStep(std::int32_t* x, std::size_t count, std::size_t stride);

// The four bands of one level made from a width × height plane: every row stepped, then every
// column, then split by row and column parity. Index = orientation (LL, HL, LH, HH).
struct ReferenceBands {
    std::vector<std::int32_t> band[4];
};
ReferenceBands ReferenceForwardLevel(std::vector<std::int32_t> plane, std::size_t width,
                                     std::size_t height);
