#include "kldext_view.h"

#include "image_drawing.h"
#include "pictor_app.h"
#include "pixel_probe.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include <cmath>

CKLDExtView::CKLDExtView(CKLDExtDoc& document, CPictorApp& app, QWidget* parent)
    : CMyView(document, app, parent), container_(document) {
    // Each view step reads only what it shows: start at full size rather than fitting the whole.
    SetZoom(1);
}

void CKLDExtView::DocumentChanged(int hint) {
    CMyView::DocumentChanged(hint);
    // A move made while the last read ran is read now.
    ScheduleReload();
}

void CKLDExtView::resizeEvent(QResizeEvent* event) {
    CMyView::resizeEvent(event);
    if (!placed_ && !ClientSize().Empty()) {
        placed_ = true;
        const ExportRect& first = container_.Loaded();
        horizontalScrollBar()->setValue(static_cast<int>(first.left * Zoom()));
        verticalScrollBar()->setValue(static_cast<int>(first.top * Zoom()));
    }
    ScheduleReload();
}

void CKLDExtView::scrollContentsBy(int dx, int dy) {
    CMyView::scrollContentsBy(dx, dy);
    ScheduleReload();
}

void CKLDExtView::ScheduleReload() {
    if (reloadQueued_) return;
    reloadQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        reloadQueued_ = false;
        Reload();
    });
}

void CKLDExtView::Reload() {
    if (ClientSize().Empty() || App().IsBusy(container_) || !container_.HasImage()) return;
    const ExportRect wanted = VisibleRegion(Origin(), ClientSize(), Zoom(), container_.ImageWidth(),
                                            container_.ImageHeight());
    const double scale = std::min(Zoom(), 1.0);
    if (wanted == container_.Loaded() && scale == container_.LoadedScale() && !container_.Stale())
        return;
    App().RunDocumentJob(container_, container_.LoadRegionJob(wanted, scale));
}

void CKLDExtView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QRect exposed = StartPaint(painter, *event);
    const QImage source = SourceImage();
    if (source.isNull()) return;
    // The region read is drawn where it lies in the image: 1:1 when it was read at the zoom,
    // enlarged by pixel replication above 100 %, in the screen's colours.
    const Point origin = Origin();
    const ExportRect& loaded = container_.Loaded();
    const double zoom = Zoom();
    const QRect target(static_cast<int>(origin.x + std::llround(loaded.left * zoom)),
                       static_cast<int>(origin.y + std::llround(loaded.top * zoom)),
                       static_cast<int>(std::llround(loaded.width * zoom)),
                       static_cast<int>(std::llround(loaded.height * zoom)));
    painter.setClipRect(exposed);
    if (ShowsMatte()) PaintMatte(painter, target & exposed, origin);
    const double factor = zoom / container_.LoadedScale();
    if (factor >= 1 && factor == std::floor(factor)) {
        DrawImageArea(painter, source, QImage(), target & exposed, {target.x(), target.y()}, factor,
                      DrawingConverter().get());
        return;
    }
    // After a zoom change, until the region is read again: the last one stretched.
    painter.drawImage(target, source);
}

void CKLDExtView::ShowPixelUnder(Point device) {
    const auto pixel = ImagePixelAt(device, Origin(), ImageSize(), Zoom());
    const ExportRect& loaded = container_.Loaded();
    const double scale = container_.LoadedScale();
    const CDisplayImage* shown = container_.HasImage() ? container_.Image().display.get() : nullptr;
    if (!pixel || !shown || pixel->x < loaded.left || pixel->y < loaded.top) {
        App().Services().ShowStatus("");
        return;
    }
    const auto x = static_cast<std::uint32_t>((pixel->x - loaded.left) * scale);
    const auto y = static_cast<std::uint32_t>((pixel->y - loaded.top) * scale);
    if (x >= shown->Width() || y >= shown->Height()) {
        App().Services().ShowStatus("");
        return;
    }
    App().Services().ShowStatus(PixelStatusText(
        pixel->x, pixel->y, BlendOver(DisplayPixel(*shown, x, y), ColorUnder(device, Origin()))));
}
