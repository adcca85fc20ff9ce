#include "qvt_reading_rules.h"

#include "region_at_level.h"

#include <algorithm>

int CoarsestLevel(int levels) { return std::max(0, levels - 1); }

RegionRect ClampOpenRegion(RegionRect rect, std::uint32_t width, std::uint32_t height) {
    if (rect.left >= width || rect.left >= rect.right) rect.left = 0;
    if (rect.top >= height || rect.top >= rect.bottom) rect.top = 0;
    rect.right = std::min(rect.right, width);
    rect.bottom = std::min(rect.bottom, height);
    return rect;
}

QVTReadPlan PlanQVTRead(const OpenOptions& options, const QVTFileFacts& file) {
    QVTReadPlan plan;
    const int coarsest = CoarsestLevel(file.levels);
    plan.target = options.thumbnail ? coarsest : std::clamp(options.level, 0, coarsest);
    plan.progressive = options.progressive && file.levels > 0;
    plan.regionReading = options.regionOfInterest && file.regionSupport && file.levels > 0;
    if (plan.regionReading)
        plan.region = ClipRegionToImage(ClampOpenRegion({options.regionLeft, options.regionTop,
                                                         options.regionRight, options.regionBottom},
                                                        file.width, file.height),
                                        file.width, file.height);
    return plan;
}

Size ReadSizeAtLevel(const QVTFileFacts& file, const QVTReadPlan& plan, int level) {
    const std::uint32_t width = CeilAtLevel(file.width, level);
    const std::uint32_t height = CeilAtLevel(file.height, level);
    if (!plan.regionReading) return {width, height};
    const RegionRect region = RegionAtLevel(plan.region, level, width, height);
    return {region.Width(), region.Height()};
}

Size QVTLayoutSize(const QVTFileFacts& file, const QVTReadPlan& plan, int shownLevel, bool modified,
                   Size display) {
    if (modified) return display;
    return ReadSizeAtLevel(file, plan, plan.target > 0 ? shownLevel : 0);
}

int LevelHint(int shown, int target, bool progressive) {
    if (shown != target) return 4;
    return progressive && target >= 1 ? 3 : 1;
}
