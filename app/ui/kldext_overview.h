// CKLDExtOverview, the view of a container's preview with its export region: a rectangle kept in
// full-resolution image pixels, drawn by the image view's tracker through the preview's scales.
// A region drawn with the mouse is copied out of the container at full resolution; a region
// made by Paste or by dragging an image in has the image's fixed size and stands for that image,
// read when it was pasted or dragged in, which Enter, a double click or the drop writes into the
// container there.
#pragma once

#include "image_view.h"
#include "kldext_document.h"

#include <memory>

class QMimeData;

class CKLDExtOverview : public CMyView {
    Q_OBJECT

public:
    CKLDExtOverview(CKLDExtDoc& document, CPictorApp& app, QWidget* parent = nullptr);

    ViewFacts Facts() const override;
    const ExportRect& Region() const { return region_; }
    const ExportRegionState& RegionState() const { return state_; }

    void ShowRegion();
    void HideRegion();
    // Copies the region, read from the container, to the clipboard.
    void CopyRegion();
    // Asks for an anymap file and writes the region, read from the container, to it.
    void ExportRegion();
    // Shows a region of the clipboard image's size at the region's place.
    void Paste();
    // Writes the image a fixed-size region stands for; nothing for any other region.
    void Commit();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    ExportRect OnScreen() const;
    // The image pixel under a client point (outside the image too).
    Point ImagePointAt(Point device) const;
    // Reads the image the data offer now; null (with the message shown) when there is none.
    std::shared_ptr<RasterImage> Snapshot(const QMimeData* data);
    void ShowFixed(std::shared_ptr<RasterImage> image, Point at);
    void Changed();

    CKLDExtDoc& container_;
    ExportRect region_;
    ExportRegionState state_;
    std::shared_ptr<RasterImage> pending_; // what a fixed-size region stands for

    CropHandle handle_ = CropHandle::None;
    ExportRect regionAtPress_;
    Point press_;
    bool moved_ = false;
};
