// Helpers shared by the fuzz targets: the input as a file for readers that open a path,
// regions chosen from an image's size, test pixels in any mode, and invariant checks that stop
// the run so that libFuzzer keeps the input.
#pragma once

#include "pix_map.h"
#include "pix_rect.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A path in /tmp of this process ending in `suffix`; the same for the same suffix.
std::string ScratchPath(const std::string& suffix);

// Writes the input to a file of this process (the same path every time) and returns the path.
std::string WriteInputFile(const std::uint8_t* data, std::size_t size);

// Aborts with `what` on standard error when an invariant does not hold.
void Require(bool holds, const char* what);

// Up to three rectangles inside width × height, at most `side` pixels a side: the top-left
// corner, the centre and the bottom-right corner. Regions of a hostile header stay small, so a
// target spends its time in the parser and not in filling huge maps.
std::vector<PixRect> ProbeRegions(std::uint32_t width, std::uint32_t height, std::uint32_t side);

// A map of `mode` over `rect` holding a pattern of values the mode can hold; null for a mode
// without pixel maps.
std::unique_ptr<CPixMap> PatternPixMap(const PixRect& rect, std::uint32_t mode, int seed);

// True when both maps have the same mode and size and hold the same pixels.
bool SamePixels(const CPixMap& a, const CPixMap& b);
