// Color tables of Indexed maps: nearest-color search, sorting before a table is written, and the
// helpers that map pixels into a table.
#pragma once

#include "pix_map.h"

#include <cstdint>

struct NearestColor {
    std::uint8_t index;
    std::uint32_t distance; // squared distance over red, green, blue
};

// Integer hue (0 ... 359), saturation and lightness (0 ... 255) of a color, the keys by which
// SortColorTable orders a table.
struct Hsl {
    int hue;
    int saturation;
    int lightness;
};
Hsl HslOf(int red, int green, int blue);

// Searches the 256 entries from `start`, wrapping around; the first entry with the smallest
// distance wins and a distance of 0 ends the search. Without a table: index 255, 2^31 - 1.
NearestColor FindNearestColor(const CPixMap& indexed, int red, int green, int blue,
                              std::uint8_t start);
NearestColor FindNearestInTable(const std::uint8_t* table, int red, int green, int blue,
                                std::uint8_t start);

// Reorders the table by hue, lightness and saturation and remaps every index of the buffer.
void SortColorTable(CPixMap& indexed);
