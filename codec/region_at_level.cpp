#include "region_at_level.h"

#include <algorithm>

namespace {

struct Span {
    std::uint32_t begin;
    std::uint32_t end;
};

Span SpanAtLevel(std::uint32_t begin, std::uint32_t end, int level, std::uint32_t size) {
    Span span{CeilAtLevel(begin, level), std::min(CeilAtLevel(end, level), size)};
    if (span.end <= span.begin) {
        span.begin = std::min(span.begin, size - 1);
        span.end = span.begin + 1;
    }
    return span;
}

} // namespace

std::uint32_t CeilAtLevel(std::uint32_t value, int level) {
    return static_cast<std::uint32_t>((std::uint64_t{value} + (std::uint64_t{1} << level) - 1) >>
                                      level);
}

RegionRect ClipRegionToImage(RegionRect rect, std::uint32_t width, std::uint32_t height) {
    if (rect.right == 0 || rect.right > width) rect.right = width;
    if (rect.bottom == 0 || rect.bottom > height) rect.bottom = height;
    return rect;
}

RegionRect RegionAtLevel(const RegionRect& rect, int level, std::uint32_t levelWidth,
                         std::uint32_t levelHeight) {
    const Span columns = SpanAtLevel(rect.left, rect.right, level, levelWidth);
    const Span rows = SpanAtLevel(rect.top, rect.bottom, level, levelHeight);
    return {columns.begin, rows.begin, columns.end, rows.end};
}
