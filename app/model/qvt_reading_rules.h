// The rules by which a QVT document opens its file and reads its levels: the level to reach, the
// region to read, the size the views lay out, and the hint each decoded level sends them. Pure
// functions, so that every rule is a table test.
#pragma once

#include "open_options.h"
#include "region_rect.h"
#include "view_math.h"

#include <cstdint>

// What the file's head says.
struct QVTFileFacts {
    int levels = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool regionSupport = false;
};

// What a document decides when its file opens, from the options it was opened with. The target
// only decreases afterwards (level commands, or Esc, which sets it to the level shown).
struct QVTReadPlan {
    int target = 0;           // the level to reach; 0 = full size
    bool progressive = false; // the coarsest level first, then every level as it is decoded
    bool regionReading = false;
    RegionRect region; // in full-size pixels, inside the image; read while regionReading
    friend bool operator==(const QVTReadPlan&, const QVTReadPlan&) = default;
};

// The coarsest level: levels - 1, and 0 for a file stored without levels.
int CoarsestLevel(int levels);

// The region option's rectangle made to fit the image: a left edge at or beyond the width or
// the right edge becomes 0, a top edge likewise with the height and the bottom edge; right and
// bottom are limited to the width and height. (A right or bottom of 0 then reads to the edge.)
RegionRect ClampOpenRegion(RegionRect rect, std::uint32_t width, std::uint32_t height);

// The target is the coarsest level for a thumbnail, else the level option limited to 0 ... the
// coarsest level. A file without levels is read whole at once, so it loads without progressive
// reading. Regions are read when the option is on and the file supports them.
QVTReadPlan PlanQVTRead(const OpenOptions& options, const QVTFileFacts& file);

// The size of what the plan reads at `level`: its region at that level, or the whole level.
Size ReadSizeAtLevel(const QVTFileFacts& file, const QVTReadPlan& plan, int level);

// The size the views lay out: the display image's once the image was edited; the level shown
// while reading stops above full size (a thumbnail or level open); otherwise the full size, so
// that coarser levels shown on the way fill it, drawn stretched.
Size QVTLayoutSize(const QVTFileFacts& file, const QVTReadPlan& plan, int shownLevel, bool modified,
                   Size display);

// The views' hint after the level `shown` arrived: 4 (repaint at once) on the way, 1 for the
// target, 3 for the target when it is a reduced level reached progressively (its size is new).
int LevelHint(int shown, int target, bool progressive);
