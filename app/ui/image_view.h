// CMyView, the scrolling view of an image document: zoom, painting (pixel replication at 100 %
// and above, an area-averaged copy below), panning, the pixel read-out and the crop tracker.
// Every number here is in device pixels, so that 100 % is one image pixel per device pixel on
// any screen; event positions are converted once, where they come in. Views of later document
// kinds derive from it.
#pragma once

#include "commands.h"
#include "crop_geometry.h"
#include "document.h"
#include "reduced_copy_builder.h"
#include "view_math.h"

#include <QAbstractScrollArea>
#include <QImage>

class CPictorApp;
class ScreenColors;
class ScreenConverter;

class CMyView : public QAbstractScrollArea, public DocumentObserver {
    Q_OBJECT

public:
    CMyView(CMyDoc& document, CPictorApp& app, QWidget* parent = nullptr);
    ~CMyView() override;

    CMyDoc& Document() const { return document_; }
    double Zoom() const { return zoom_; }
    // The fitting zoom for a client of this logical size, for the title of a view that is not
    // shown yet (a tab opened behind another); the view refits to its real client when it is
    // first painted.
    void FitInto(QSize client);
    // Rounds down to a zoom step and keeps the client's centre on the same image point.
    void SetZoom(double zoom);
    void ZoomIn();
    void ZoomOut();

    bool Cropping() const { return cropping_; }
    const ImageRect& CropRect() const { return crop_; }
    // Starts a crop over the whole image, or cancels the one under way.
    void ToggleCrop();
    // Applies the crop under way (Enter); an empty rectangle stays and the status says why.
    void ApplyCrop();
    void CancelCrop();

    bool GrayMatte() const { return grayMatte_; }
    void SetGrayMatte(bool on);

    // Draws in the screen's colours as `colors` says from now on (as stored without it).
    void SetScreenColors(ScreenColors* colors);

    // Moves the crop tracker to `crop` (image pixels, inside the image), while cropping.
    void SetCropRect(const ImageRect& crop);

    // The picture shown: the channel image when a channel is selected, else the display image.
    QImage SourceImage() const;

    virtual ViewFacts Facts() const;
    QString Title() const;

    void DocumentChanged(int hint) override;

signals:
    // Zoom, crop, title or anything else the command table or the frame reads changed.
    void stateChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

    void UpdateScrollRanges();
    // Scales the painter to device pixels and fills the exposed area with the background; the
    // exposed area in device pixels.
    QRect StartPaint(QPainter& painter, const QPaintEvent& event) const;
    double Ratio() const { return devicePixelRatioF(); }
    // The size laid out: the document's layout size, which a coarser level shown on the way to
    // it fills, drawn stretched.
    Size ImageSize() const;
    Size ClientSize() const;
    Point ScrollPosition() const;
    Point Origin() const;
    Point DevicePoint(const QPointF& logical) const;
    // Shows the image pixel under a client point, and its colour, in the status bar.
    virtual void ShowPixelUnder(Point device);
    void RefreshPixelReadOut();
    // The side of a tracker handle in device pixels.
    int HandleSize() const;
    CPictorApp& App() const { return app_; }
    // Whether transparent pixels are drawn over the gray matte rather than the background.
    bool ShowsMatte() const;
    // The matte's squares over `area`, laid from the image's top-left pixel at `origin`.
    void PaintMatte(QPainter& painter, const QRect& area, Point origin);
    // What a transparent pixel at a client point is blended over.
    Rgb ColorUnder(Point device, Point origin) const;
    // The conversion of SourceImage() into the screen's colours; null when it is drawn as
    // stored (a single channel is shown as the gray of its samples, never converted).
    std::shared_ptr<const ScreenConverter> DrawingConverter();

private:
    void Fit(Size client);
    void PaintImage(QPainter& painter, const QRect& area, Point origin);
    void PaintCrop(QPainter& painter, Point origin);
    void EndCrop();
    void StartDrag();
    // Forgets the reduced copy and the converter: the image or the way it is drawn changed.
    void DropDrawnCopies();
    // The converter for the display image, made on first use after a change; null when it is
    // drawn as stored.
    const std::shared_ptr<const ScreenConverter>& Converter();

    CMyDoc& document_;
    CPictorApp& app_;
    double zoom_ = 1;
    bool fitted_ = false;
    bool grayMatte_ = false;
    WheelSteps wheel_;

    bool panning_ = false;
    Point panAnchor_;

    // A left press without Ctrl becomes a drag of the image once the pointer has moved the
    // platform's drag distance (logical pixels).
    bool dragArmed_ = false;
    QPoint dragPress_;

    bool cropping_ = false;
    ImageRect crop_;
    CropHandle dragHandle_ = CropHandle::None;
    ImageRect dragStart_;
    Point cropPress_;

    ScreenColors* colors_ = nullptr;
    std::shared_ptr<const ScreenConverter> converter_;
    bool converterMade_ = false;

    // The area-averaged copy for zooms below 100 %, with what it was made from; the builder
    // is last, so its thread ends before anything it reports to.
    QImage reduced_;
    double reducedZoom_ = 0;
    const void* reducedSource_ = nullptr;
    ReducedCopyBuilder builder_;
};
