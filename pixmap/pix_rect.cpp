#include "pix_rect.h"

#include <algorithm>

std::optional<PixRect> Intersect(const PixRect& a, const PixRect& b) {
    if (a.IsEmpty() || b.IsEmpty()) return std::nullopt;
    const PixRect c{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                    std::min(a.bottom, b.bottom)};
    if (c.IsEmpty()) return std::nullopt;
    return c;
}
