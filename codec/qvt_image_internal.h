// Pieces shared by the reading and the writing half of the codec image object.
#pragma once

#include "wavelet_band.h"

#include <cmath>

// Before a read or write of n levels the progress stands at 0.25^n; each level multiplies it by
// 4, so the last one reports 1.
inline double ProgressAtLevel(int levelsToGo) { return std::pow(0.25, levelsToGo); }
