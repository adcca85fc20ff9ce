#include "color_table_window.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include <cstring>

namespace {

constexpr int kColumnsAtFirst = 16;

int Entries(const std::vector<std::uint8_t>& table) { return static_cast<int>(table.size() / 4); }

} // namespace

ColorTableWindow::ColorTableWindow(QWidget* parent) : QWidget(parent, Qt::Tool) {
    setWindowTitle(tr("Color Table"));
    Relayout(kColumnsAtFirst * kColorCellPitch);
}

void ColorTableWindow::SetTable(const std::uint8_t* entries, int count) {
    const std::size_t bytes = static_cast<std::size_t>(count) * 4;
    if (table_.size() == bytes && std::memcmp(table_.data(), entries, bytes) == 0) return;
    table_.assign(entries, entries + bytes);
    Relayout(width());
    update();
}

void ColorTableWindow::Relayout(int width) {
    grid_ = LayoutColorGrid(Entries(table_), width);
    // The window keeps the width the user gave it and takes the grid's height.
    const int height = std::max(kColorCellPitch, grid_.Height());
    if (this->height() != height || this->width() != width) resize(width, height);
}

void ColorTableWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Relayout(width());
}

QString ColorTableWindow::TooltipAt(QPoint point) const {
    const int index = ColorCellAt(point.x(), point.y(), grid_, Entries(table_));
    if (index < 0) return {};
    const std::uint8_t* entry = table_.data() + 4 * index;
    return QString::fromStdString(ColorCellTooltip(entry[2], entry[1], entry[0]));
}

bool ColorTableWindow::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = TooltipAt(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}

void ColorTableWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    emit visibilityChanged();
}

void ColorTableWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    emit visibilityChanged();
}

void ColorTableWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    for (int i = 0; i < Entries(table_); ++i) {
        const CellRect cell = ColorCellRect(i, grid_);
        const std::uint8_t* entry = table_.data() + 4 * i;
        painter.fillRect(cell.left, cell.top, cell.width, cell.height,
                         QColor(entry[2], entry[1], entry[0]));
    }
}
