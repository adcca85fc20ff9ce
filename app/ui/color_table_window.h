// The modeless "Color Table" window of an Indexed document: one cell per table entry, laid out
// to the window's width, with the entry's RGB and HSL values as a cell's tooltip.
#pragma once

#include "color_table_layout.h"

#include <QWidget>

#include <cstdint>
#include <vector>

class ColorTableWindow : public QWidget {
    Q_OBJECT

public:
    explicit ColorTableWindow(QWidget* parent = nullptr);

    // Entries of 4 bytes: blue, green, red, reserved. Repaints when they differ from the shown.
    void SetTable(const std::uint8_t* entries, int count);
    const ColorGrid& Grid() const { return grid_; }
    // The tooltip of the cell at a point of the window, empty between cells.
    QString TooltipAt(QPoint point) const;

signals:
    // Shown or hidden (by the command or by the user closing it).
    void visibilityChanged();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Relayout(int width);

    std::vector<std::uint8_t> table_;
    ColorGrid grid_;
};
