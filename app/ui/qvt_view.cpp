#include "qvt_view.h"

#include <QScrollBar>

CQVTView::CQVTView(CMyDoc& document, CPictorApp& app, QWidget* parent)
    : CMyView(document, app, parent), laidOut_(ImageSize()) {}

void CQVTView::DocumentChanged(int hint) {
    // 4: a level arrived on the way (repaint now); 0: saved (repaint).
    const bool levelOnTheWay = (hint & 4) != 0;
    CMyView::DocumentChanged(hint == 0 || levelOnTheWay ? hint | 1 : hint);
    const Size before = laidOut_;
    laidOut_ = ImageSize();
    if (laidOut_ != before) LayOutAgain(before);
    if (levelOnTheWay) viewport()->repaint();
}

void CQVTView::LayOutAgain(Size before) {
    const Size client = ClientSize();
    const double zoom = ZoomForNewLayout(Zoom(), before, laidOut_, client);
    if (zoom != Zoom() || before.Empty()) {
        SetZoom(zoom);
        return;
    }
    // The same image point stays in the middle of the client, the image now being larger.
    const Point scroll = ScrollPosition();
    const Size drawn = ZoomedSize(laidOut_, zoom);
    UpdateScrollRanges();
    horizontalScrollBar()->setValue(static_cast<int>(
        ScrollAfterZoom(scroll.x, client.width, 1,
                        static_cast<double>(laidOut_.width) / before.width, drawn.width)));
    verticalScrollBar()->setValue(static_cast<int>(
        ScrollAfterZoom(scroll.y, client.height, 1,
                        static_cast<double>(laidOut_.height) / before.height, drawn.height)));
    viewport()->update();
}
