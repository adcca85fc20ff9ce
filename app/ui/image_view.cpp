#include "image_view.h"

#include "child_title.h"
#include "image_drawing.h"
#include "image_mime_data.h"
#include "pictor_app.h"
#include "pixel_probe.h"
#include "qt_raster_image.h"
#include "screen_colors.h"

#include <QApplication>
#include <QCursor>
#include <QDrag>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <cmath>

namespace {

constexpr int kHandleSize = 6;  // logical pixels, like the matte squares
constexpr int kMatteSquare = 8; // logical pixels

QColor ToColor(Rgb color) { return QColor(color.red, color.green, color.blue); }

QRect ToQRect(const ImageRect& rect) {
    return QRect(static_cast<int>(rect.left), static_cast<int>(rect.top),
                 static_cast<int>(rect.Width()), static_cast<int>(rect.Height()));
}

} // namespace

CMyView::CMyView(CMyDoc& document, CPictorApp& app, QWidget* parent)
    : QAbstractScrollArea(parent), document_(document), app_(app) {
    document_.AddObserver(this);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setWindowTitle(Title());
}

CMyView::~CMyView() {
    builder_.Cancel();
    document_.RemoveObserver(this);
}

Size CMyView::ImageSize() const { return document_.LayoutSize(); }

Size CMyView::ClientSize() const {
    const QSize logical = viewport()->size();
    return {std::llround(logical.width() * Ratio()), std::llround(logical.height() * Ratio())};
}

Point CMyView::ScrollPosition() const {
    return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

Point CMyView::Origin() const {
    return ImageOrigin(ZoomedSize(ImageSize(), zoom_), ClientSize(), ScrollPosition());
}

Point CMyView::DevicePoint(const QPointF& logical) const {
    return {static_cast<std::int64_t>(std::floor(logical.x() * Ratio())),
            static_cast<std::int64_t>(std::floor(logical.y() * Ratio()))};
}

int CMyView::HandleSize() const {
    return std::max(1, static_cast<int>(std::lround(kHandleSize * Ratio())));
}

QImage CMyView::SourceImage() const {
    auto* image = const_cast<CDisplayImage*>(document_.ChannelImage());
    if (!image) image = document_.Image().display.get();
    return image ? WrapDisplayImage(*image) : QImage();
}

void CMyView::UpdateScrollRanges() {
    const Size drawn = ZoomedSize(ImageSize(), zoom_);
    const Size client = ClientSize();
    const int step = static_cast<int>(20 * Ratio());
    horizontalScrollBar()->setRange(0, static_cast<int>(ScrollMaximum(drawn.width, client.width)));
    verticalScrollBar()->setRange(0, static_cast<int>(ScrollMaximum(drawn.height, client.height)));
    horizontalScrollBar()->setPageStep(static_cast<int>(std::max<std::int64_t>(1, client.width)));
    verticalScrollBar()->setPageStep(static_cast<int>(std::max<std::int64_t>(1, client.height)));
    horizontalScrollBar()->setSingleStep(step);
    verticalScrollBar()->setSingleStep(step);
}

void CMyView::SetZoom(double zoom) {
    fitted_ = true;
    const double next = RoundToZoomStep(zoom);
    const double previous = zoom_;
    const Size drawn = ZoomedSize(ImageSize(), next);
    const Size client = ClientSize();
    const Point scroll = ScrollPosition();
    zoom_ = next;
    UpdateScrollRanges();
    horizontalScrollBar()->setValue(
        static_cast<int>(ScrollAfterZoom(scroll.x, client.width, previous, next, drawn.width)));
    verticalScrollBar()->setValue(
        static_cast<int>(ScrollAfterZoom(scroll.y, client.height, previous, next, drawn.height)));
    viewport()->update();
    setWindowTitle(Title());
    emit stateChanged();
}

void CMyView::ZoomIn() { SetZoom(::ZoomIn(zoom_)); }

void CMyView::ZoomOut() { SetZoom(::ZoomOut(zoom_)); }

void CMyView::SetGrayMatte(bool on) {
    grayMatte_ = on;
    viewport()->update();
    RefreshPixelReadOut();
    emit stateChanged();
}

void CMyView::SetScreenColors(ScreenColors* colors) {
    colors_ = colors;
    connect(colors, &ScreenColors::changed, this, [this] { DropDrawnCopies(); });
    DropDrawnCopies();
}

void CMyView::DropDrawnCopies() {
    builder_.Cancel();
    reduced_ = QImage();
    reducedZoom_ = 0;
    reducedSource_ = nullptr;
    converter_.reset();
    converterMade_ = false;
    viewport()->update();
}

const std::shared_ptr<const ScreenConverter>& CMyView::Converter() {
    if (!converterMade_ && colors_) {
        converterMade_ = true;
        try {
            converter_ = colors_->ConverterFor(document_);
        } catch (const ProfileError&) {
            app_.Services().ShowStatus("The image's colour profile cannot be used with the "
                                       "screen's: its colours are shown as stored.");
        }
    }
    return converter_;
}

std::shared_ptr<const ScreenConverter> CMyView::DrawingConverter() {
    return document_.ChannelImage() ? nullptr : Converter();
}

ViewFacts CMyView::Facts() const {
    ViewFacts facts;
    facts.zoom = zoom_;
    facts.hasImage = document_.HasImage();
    facts.cropping = cropping_;
    facts.grayMatte = grayMatte_;
    return facts;
}

QString CMyView::Title() const {
    ChildTitleFacts facts;
    facts.documentTitle = document_.Title();
    facts.windowCount = document_.ObserverCount();
    facts.modified = document_.Modified();
    facts.mode = document_.Mode();
    facts.zoom = zoom_;
    facts.channelLetter = document_.ChannelLetter();
    facts.level = document_.ReducedLevel();
    return QString::fromStdString(ChildTitle(facts));
}

void CMyView::DocumentChanged(int hint) {
    // The image may have been replaced at the same address: nothing made from it stays.
    if (hint & 1) DropDrawnCopies();
    if (hint & 2) UpdateScrollRanges();
    if (hint == HintCropped) EndCrop();
    setWindowTitle(Title());
    RefreshPixelReadOut();
    emit stateChanged();
}

void CMyView::RefreshPixelReadOut() {
    // The pointer has not moved, but what lies under it may have changed.
    if (viewport()->underMouse())
        ShowPixelUnder(DevicePoint(viewport()->mapFromGlobal(QCursor::pos())));
}

void CMyView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollRanges();
}

void CMyView::FitInto(QSize client) {
    Fit({std::llround(client.width() * Ratio()), std::llround(client.height() * Ratio())});
}

void CMyView::Fit(Size client) {
    if (fitted_ || !document_.HasImage()) return;
    if (const auto fit = FitZoom(ImageSize(), client); fit && *fit != zoom_) {
        zoom_ = *fit;
        setWindowTitle(Title());
        emit stateChanged();
    }
}

void CMyView::scrollContentsBy(int, int) { viewport()->update(); }

QRect CMyView::StartPaint(QPainter& painter, const QPaintEvent& event) const {
    const double ratio = Ratio();
    painter.scale(1 / ratio, 1 / ratio);
    const QRect exposed =
        QRectF(QPointF(event.rect().topLeft()) * ratio, QSizeF(event.rect().size()) * ratio)
            .toAlignedRect();
    // Every paint starts from the background: an ARGB image blended again over its previous
    // blend would darken with each repaint.
    painter.fillRect(exposed, ToColor(app_.Background()));
    return exposed;
}

void CMyView::paintEvent(QPaintEvent* event) {
    // The fitting zoom needs the client the user sees, which the first paint has: the sizes a
    // window passes through while it is laid out or put behind another tab (0 × 0 among them)
    // are not taken for it.
    if (!fitted_ && !ClientSize().Empty()) {
        Fit(ClientSize());
        fitted_ = true;
        UpdateScrollRanges();
    }
    QPainter painter(viewport());
    const QRect exposed = StartPaint(painter, *event);
    if (!document_.HasImage()) return;
    const Point origin = Origin();
    const Size drawn = ZoomedSize(ImageSize(), zoom_);
    const QRect area = QRect(static_cast<int>(origin.x), static_cast<int>(origin.y),
                             static_cast<int>(drawn.width), static_cast<int>(drawn.height)) &
                       exposed;
    if (!area.isEmpty()) {
        painter.save();
        painter.setClipRect(area);
        if (ShowsMatte()) PaintMatte(painter, area, origin);
        PaintImage(painter, area, origin);
        painter.restore();
    }
    if (cropping_) PaintCrop(painter, origin);
}

bool CMyView::ShowsMatte() const { return grayMatte_ && document_.Mode() == ModeARGB; }

Rgb CMyView::ColorUnder(Point device, Point origin) const {
    return ShowsMatte() ? MatteAt(device.x - origin.x, device.y - origin.y,
                                  std::max<std::int64_t>(1, std::lround(kMatteSquare * Ratio())))
                        : app_.Background();
}

void CMyView::PaintMatte(QPainter& painter, const QRect& area, Point origin) {
    const int square = std::max(1, static_cast<int>(std::lround(kMatteSquare * Ratio())));
    painter.fillRect(area, Qt::white);
    const int firstColumn = static_cast<int>((area.left() - origin.x) / square);
    const int firstRow = static_cast<int>((area.top() - origin.y) / square);
    for (int row = firstRow; origin.y + std::int64_t{row} * square <= area.bottom(); ++row)
        for (int column = firstColumn + ((firstColumn + row) & 1);
             origin.x + std::int64_t{column} * square <= area.right(); column += 2)
            painter.fillRect(static_cast<int>(origin.x + std::int64_t{column} * square),
                             static_cast<int>(origin.y + std::int64_t{row} * square), square,
                             square, QColor(200, 200, 200));
}

void CMyView::PaintImage(QPainter& painter, const QRect& area, Point origin) {
    const QImage source = SourceImage();
    if (source.isNull()) return;
    const Size layout = ImageSize();
    if (source.width() != layout.width || source.height() != layout.height) {
        // A coarser level on the way to the one laid out: stretched over the whole image,
        // smoothly where it is enlarged (a level finer than the screen is soon replaced).
        const Size drawn = ZoomedSize(layout, zoom_);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, source.width() < drawn.width);
        painter.drawImage(QRectF(static_cast<double>(origin.x), static_cast<double>(origin.y),
                                 static_cast<double>(drawn.width),
                                 static_cast<double>(drawn.height)),
                          source);
        return;
    }
    const std::shared_ptr<const ScreenConverter> converter = DrawingConverter();
    if (zoom_ >= 1 || (reducedZoom_ == zoom_ && reducedSource_ == source.constBits())) {
        DrawImageArea(painter, source, reduced_, area, origin, zoom_, converter.get());
        return;
    }
    if (!builder_.Making(source.constBits(), zoom_)) {
        std::shared_ptr<const void> keepAlive = document_.SharedChannelImage();
        if (!keepAlive) keepAlive = document_.SharedImage();
        builder_.Start(
            source, std::move(keepAlive), zoom_,
            [this, zoom = zoom_, bits = source.constBits()](QImage copy) {
                QMetaObject::invokeMethod(
                    this,
                    [this, zoom, bits, copy = std::move(copy)] {
                        reduced_ = copy;
                        reducedZoom_ = zoom;
                        reducedSource_ = bits;
                        viewport()->update();
                    },
                    Qt::QueuedConnection);
            },
            converter);
    }
    QImage sample = SampleNearest(source, area, origin, zoom_);
    if (converter) converter->ConvertSample(sample);
    painter.drawImage(area.topLeft(), sample);
}

void CMyView::PaintCrop(QPainter& painter, Point origin) {
    const QRect image(static_cast<int>(origin.x), static_cast<int>(origin.y),
                      static_cast<int>(ZoomedLength(document_.Width(), zoom_)),
                      static_cast<int>(ZoomedLength(document_.Height(), zoom_)));
    const QRect screen = ToQRect(CropOnScreen(crop_, origin, ImageSize(), zoom_)).normalized();
    QRegion veil(image);
    veil -= QRegion(screen);
    for (const QRect& part : veil)
        painter.fillRect(part, QColor(255, 255, 255, 100));
    PaintTracker(painter, screen, HandleSize(), std::max(1.0, Ratio()), TrackerStyle::Handles);
}

void CMyView::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    // Rotation toward the user zooms in.
    const int steps = wheel_.Add(event->angleDelta().y());
    double zoom = zoom_;
    for (int i = 0; i < std::abs(steps); ++i)
        zoom = steps < 0 ? ::ZoomIn(zoom) : ::ZoomOut(zoom);
    if (zoom != zoom_) SetZoom(zoom);
    event->accept();
}

void CMyView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !document_.HasImage()) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const Point point = DevicePoint(event->position());
    if (cropping_) {
        const ImageRect screen = CropOnScreen(crop_, Origin(), ImageSize(), zoom_);
        dragHandle_ = HitCropHandle(screen, point, HandleSize());
        dragStart_ = crop_;
        cropPress_ = point;
        return;
    }
    if (event->modifiers() & Qt::ControlModifier) {
        panning_ = true;
        panAnchor_ = point;
        viewport()->setCursor(Qt::SizeAllCursor);
        return;
    }
    dragArmed_ = true;
    dragPress_ = event->position().toPoint();
}

void CMyView::mouseMoveEvent(QMouseEvent* event) {
    const Point point = DevicePoint(event->position());
    if (cropping_ && dragHandle_ != CropHandle::None && (event->buttons() & Qt::LeftButton)) {
        crop_ = DragCrop(dragStart_, dragHandle_, point.x - cropPress_.x, point.y - cropPress_.y,
                         ImageSize(), zoom_);
        viewport()->update();
        emit stateChanged();
        return;
    }
    if (panning_ && (event->buttons() & Qt::LeftButton)) {
        horizontalScrollBar()->setValue(static_cast<int>(PanScroll(
            ScrollPosition().x, panAnchor_.x, point.x, horizontalScrollBar()->maximum())));
        verticalScrollBar()->setValue(static_cast<int>(
            PanScroll(ScrollPosition().y, panAnchor_.y, point.y, verticalScrollBar()->maximum())));
        panAnchor_ = point;
        return;
    }
    if (dragArmed_ && (event->buttons() & Qt::LeftButton) &&
        (event->position().toPoint() - dragPress_).manhattanLength() >=
            QApplication::startDragDistance()) {
        dragArmed_ = false;
        StartDrag();
        return;
    }
    if (event->buttons() == Qt::NoButton) ShowPixelUnder(point);
}

void CMyView::StartDrag() {
    auto* drag = new QDrag(this);
    drag->setMimeData(new ImageMimeData(document_.SharedImage()));
    drag->exec(Qt::CopyAction);
}

void CMyView::mouseReleaseEvent(QMouseEvent* event) {
    if (panning_) viewport()->unsetCursor();
    panning_ = false;
    dragArmed_ = false;
    dragHandle_ = CropHandle::None;
    QAbstractScrollArea::mouseReleaseEvent(event);
}

void CMyView::ShowPixelUnder(Point device) {
    const Point origin = Origin();
    const auto pixel = ImagePixelAt(device, origin, ImageSize(), zoom_);
    if (!pixel || !document_.HasImage()) {
        app_.Services().ShowStatus("");
        return;
    }
    // The pixel of the picture shown, which may be a coarser level stretched over the layout.
    const Size layout = ImageSize();
    const auto x = static_cast<std::uint32_t>(pixel->x * document_.Width() / layout.width);
    const auto y = static_cast<std::uint32_t>(pixel->y * document_.Height() / layout.height);
    Rgb color;
    if (const CDisplayImage* channel = document_.ChannelImage()) {
        const Rgba gray = DisplayPixel(*channel, x, y);
        color = {gray.red, gray.green, gray.blue};
    } else {
        const Rgba shown = DisplayPixel(*document_.Image().display, x, y);
        color = BlendOver(shown, ColorUnder(device, origin));
    }
    app_.Services().ShowStatus(PixelStatusText(pixel->x, pixel->y, color));
}

void CMyView::keyPressEvent(QKeyEvent* event) {
    if (cropping_ && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        ApplyCrop();
        return;
    }
    if (cropping_ && event->key() == Qt::Key_Escape) {
        CancelCrop();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void CMyView::ToggleCrop() {
    if (cropping_) {
        CancelCrop();
        return;
    }
    if (!document_.HasImage()) return;
    cropping_ = true;
    crop_ = {0, 0, ImageSize().width, ImageSize().height};
    app_.Services().ShowStatus("Press Enter to crop the image.");
    viewport()->update();
    emit stateChanged();
}

void CMyView::SetCropRect(const ImageRect& crop) {
    if (!cropping_) return;
    crop_ = crop;
    viewport()->update();
    emit stateChanged();
}

void CMyView::ApplyCrop() {
    if (!cropping_) return;
    switch (CheckCrop(crop_, ImageSize())) {
    case CropCheck::Empty:
        app_.Services().ShowStatus(
            "The crop rectangle is empty: drag its edges apart to choose what to keep.");
        return;
    case CropCheck::WholeImage:
        EndCrop();
        return;
    case CropCheck::Apply:
        break;
    }
    const ImageRect rect = crop_;
    EndCrop();
    try {
        WaitCursor wait(app_.Services());
        document_.Crop(rect);
    } catch (const ImageFileError& error) {
        app_.Services().ShowMessage(error.what(), MessageIcon::Exclamation);
    }
}

void CMyView::CancelCrop() { EndCrop(); }

void CMyView::EndCrop() {
    if (!cropping_) return;
    cropping_ = false;
    dragHandle_ = CropHandle::None;
    app_.Services().ShowStatus("Ready");
    viewport()->update();
    emit stateChanged();
}
