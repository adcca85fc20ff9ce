// Gray -> Bitmap error diffusion. Only three rows of the working array are alive at a time: row
// y + 3 is loaded when row y is done, before any error reaches it, so every cell receives the
// same float additions in the same order as in a full-height working array.
#include "mode_conversion.h"

#include "pixel_access.h"
#include "qvt_error.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr std::ptrdiff_t kGuard = 2; // columns either side that absorb errors spread off the edge

void LoadRow(const CPixMap& gray, std::uint32_t y, float* row, std::size_t workingWidth) {
    if (y >= gray.Height()) return;
    const std::uint8_t* source = gray.Row(y);
    const std::uint32_t width = gray.Width();
    for (std::uint32_t x = 0; x < width; ++x)
        row[x] = source[x];
    std::fill(row + width, row + workingWidth, 128.0f);
}

} // namespace

void DiffuseGrayToBitmap(const CPixMap& gray, CPixMap& bitmap) {
    const std::uint32_t width = gray.Width(), height = gray.Height();
    const std::uint64_t rowBytes = RowBytes(1, width);
    const auto strideBytes = static_cast<std::uint64_t>(std::llabs(std::int64_t{bitmap.Stride()}));
    const std::uint64_t workingWidth = std::max(strideBytes, rowBytes) * 8;
    const std::uint64_t paddedWidth = workingWidth + 2 * kGuard;
    // Columns are signed: the kernel reaches two cells left of column 0 into the guard, which an
    // unsigned index would express as a wrapped pointer offset.
    const auto columns = static_cast<std::ptrdiff_t>(workingWidth);
    const auto cells = CheckedMul(paddedWidth, 3);
    if (!cells) ThrowCodecError(ErrorOutOfMemory);
    auto buffer = TryAllocate<float>(*cells);
    if (!buffer) ThrowCodecError(ErrorOutOfMemory);
    std::fill_n(buffer.get(), *cells, 0.0f); // rows past the image only ever absorb errors
    float* rows[3];
    for (std::uint64_t r = 0; r < 3; ++r) {
        rows[r] = buffer.get() + r * paddedWidth + kGuard;
        LoadRow(gray, static_cast<std::uint32_t>(r), rows[r], workingWidth);
    }

    for (std::uint32_t y = 0; y < height; ++y) {
        float* __restrict current = rows[y % 3];
        float* __restrict next = rows[(y + 1) % 3];
        float* __restrict after = rows[(y + 2) % 3];
        std::uint8_t* destination = bitmap.Row(y);
        unsigned byte = 0;
        for (std::ptrdiff_t x = 0; x < columns; ++x) {
            const float v = current[x];
            const bool black = v < 128;
            const float e = (v - (black ? 0.0f : 255.0f)) * 8 / 42;
            // kernel 8 4 / 2 4 8 4 2 / 1 2 4 2 1, over 42
            current[x + 1] += e;
            current[x + 2] += e / 2;
            next[x - 2] += e / 4;
            next[x - 1] += e / 2;
            next[x] += e;
            next[x + 1] += e / 2;
            next[x + 2] += e / 4;
            after[x - 2] += e / 8;
            after[x - 1] += e / 4;
            after[x] += e / 2;
            after[x + 1] += e / 4;
            after[x + 2] += e / 8;
            byte = byte << 1 | (black ? 1u : 0u);
            if ((x & 7) == 7) {
                if (static_cast<std::uint64_t>(x / 8) < rowBytes)
                    destination[x / 8] = static_cast<std::uint8_t>(byte);
                byte = 0;
            }
        }
        LoadRow(gray, y + 3, current, workingWidth);
    }
}
