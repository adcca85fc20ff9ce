// The colour-table window's grid: one square cell of 15 pixels per table entry, 20 pixels apart
// both ways, as many to a row as the window is wide (at least one however narrow it is).
#pragma once

#include <cstdint>
#include <string>

inline constexpr int kColorCellPitch = 20;
inline constexpr int kColorCellSide = 15;
// Where a cell starts in its 20-pixel slot, so the gaps lie around it evenly.
inline constexpr int kColorCellInset = 2;

struct ColorGrid {
    int columns = 1;
    int rows = 0;
    // The client size the window takes to show the grid.
    int Width() const { return columns * kColorCellPitch; }
    int Height() const { return rows * kColorCellPitch; }
};

ColorGrid LayoutColorGrid(int entries, int clientWidth);

struct CellRect {
    int left, top, width, height;
};
CellRect ColorCellRect(int index, const ColorGrid& grid);
// The entry whose cell holds the point, or -1.
int ColorCellAt(int x, int y, const ColorGrid& grid, int entries);

// "RGB:%d,%d,%d; HSL:%d,%d,%d", with the hue, saturation and lightness the table is sorted by.
std::string ColorCellTooltip(std::uint8_t red, std::uint8_t green, std::uint8_t blue);
