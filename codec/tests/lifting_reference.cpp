#include "lifting_reference.h"

#include "wrap_arith.h"

namespace {

// Accesses sample i of a strided line.
struct Line {
    std::int32_t* x;
    std::size_t stride;
    std::int32_t& operator[](std::size_t i) const { return x[i * stride]; }
};

} // namespace

void ReferenceForwardStep(std::int32_t* samples, std::size_t w, std::size_t stride) {
    if (w <= 4) return;
    const Line x{samples, stride};
    x[1] = WrapSub(x[1], WrapAdd3(x[0], x[2], 1) >> 1);
    x[0] = WrapAdd(x[0], WrapAdd(x[1], 1) >> 1);
    for (std::size_t j = 3; j < w - 1; j += 2) {
        x[j] = WrapSub(x[j], WrapAdd3(x[j - 1], x[j + 1], 1) >> 1);
        x[j - 1] = WrapAdd(x[j - 1], WrapAdd3(x[j - 2], x[j], 2) >> 2);
    }
    if (w % 2 == 1) {
        x[w - 1] = WrapAdd(x[w - 1], WrapAdd(x[w - 2], 1) >> 1);
    } else {
        x[w - 1] = WrapSub(x[w - 1], x[w - 2]);
        x[w - 2] = WrapAdd(x[w - 2], WrapAdd3(x[w - 3], x[w - 1], 2) >> 2);
    }
}

ReferenceBands ReferenceForwardLevel(std::vector<std::int32_t> plane, std::size_t width,
                                     std::size_t height) {
    for (std::size_t y = 0; y < height; ++y)
        ReferenceForwardStep(plane.data() + y * width, width, 1);
    for (std::size_t x = 0; x < width; ++x)
        ReferenceForwardStep(plane.data() + x, height, width);
    ReferenceBands bands;
    for (std::size_t y = 0; y < height; ++y)
        for (std::size_t x = 0; x < width; ++x)
            bands.band[(y % 2) * 2 + x % 2].push_back(plane[y * width + x]);
    return bands;
}
