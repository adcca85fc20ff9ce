#include "color_table_layout.h"

#include "color_table.h"

#include <algorithm>
#include <cstdio>

ColorGrid LayoutColorGrid(int entries, int clientWidth) {
    ColorGrid grid;
    grid.columns = std::max(1, clientWidth / kColorCellPitch);
    grid.rows = (std::max(0, entries) + grid.columns - 1) / grid.columns;
    return grid;
}

CellRect ColorCellRect(int index, const ColorGrid& grid) {
    return {index % grid.columns * kColorCellPitch + kColorCellInset,
            index / grid.columns * kColorCellPitch + kColorCellInset, kColorCellSide,
            kColorCellSide};
}

int ColorCellAt(int x, int y, const ColorGrid& grid, int entries) {
    if (x < 0 || y < 0) return -1;
    const int column = x / kColorCellPitch;
    const int row = y / kColorCellPitch;
    const auto inCell = [](int offset) {
        return offset % kColorCellPitch >= kColorCellInset &&
               offset % kColorCellPitch < kColorCellInset + kColorCellSide;
    };
    if (column >= grid.columns || !inCell(x) || !inCell(y)) return -1;
    const int index = row * grid.columns + column;
    return index < entries ? index : -1;
}

std::string ColorCellTooltip(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    const Hsl hsl = HslOf(red, green, blue);
    char text[64];
    std::snprintf(text, sizeof text, "RGB:%d,%d,%d; HSL:%d,%d,%d", red, green, blue, hsl.hue,
                  hsl.saturation, hsl.lightness);
    return text;
}
