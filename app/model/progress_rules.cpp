#include "progress_rules.h"

#include <algorithm>
#include <cmath>

int ProgressPercent(double fraction) {
    if (!std::isfinite(fraction)) return 0;
    return static_cast<int>(std::clamp(fraction * 100 + 0.5, 0.0, 100.0));
}
