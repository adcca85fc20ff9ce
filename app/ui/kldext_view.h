// CKLDExtView, the region view of a container: scroll bars over the whole image at the zoom, and
// the part in view read from the container (reduced by the zoom below 100 %, at full resolution
// above, where it is enlarged) whenever the view moves, so that it touches only the tiles it shows.
#pragma once

#include "image_view.h"
#include "kldext_document.h"

class CKLDExtView : public CMyView {
    Q_OBJECT

public:
    CKLDExtView(CKLDExtDoc& document, CPictorApp& app, QWidget* parent = nullptr);

    void DocumentChanged(int hint) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    // The pixel of the whole image, its colour read from the region in view.
    void ShowPixelUnder(Point device) override;

private:
    // Reads the part in view once the events waiting now have been handled.
    void ScheduleReload();
    void Reload();

    CKLDExtDoc& container_;
    bool placed_ = false; // scrolled to its first place
    bool reloadQueued_ = false;
};
