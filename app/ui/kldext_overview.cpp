#include "kldext_overview.h"

#include "image_drawing.h"
#include "image_drops.h"
#include "image_file.h"
#include "image_mime_data.h"
#include "pictor_app.h"
#include "qvt_error.h"

#include <QClipboard>
#include <QDragEnterEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace {

std::optional<RegionKey> KeyOf(int key) {
    switch (key) {
    case Qt::Key_Home:
        return RegionKey::Home;
    case Qt::Key_Left:
        return RegionKey::Left;
    case Qt::Key_Right:
        return RegionKey::Right;
    case Qt::Key_Up:
        return RegionKey::Up;
    case Qt::Key_Down:
        return RegionKey::Down;
    default:
        return std::nullopt;
    }
}

RegionStep StepOf(Qt::KeyboardModifiers modifiers) {
    if (modifiers & Qt::ControlModifier) return RegionStep::Extent;
    if (modifiers & Qt::ShiftModifier) return RegionStep::Hundred;
    return RegionStep::Pixel;
}

} // namespace

CKLDExtOverview::CKLDExtOverview(CKLDExtDoc& document, CPictorApp& app, QWidget* parent)
    : CMyView(document, app, parent), container_(document) {
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
}

ViewFacts CKLDExtOverview::Facts() const {
    ViewFacts facts = CMyView::Facts();
    facts.overview = true;
    facts.region = state_;
    return facts;
}

ExportRect CKLDExtOverview::OnScreen() const {
    const Point origin = Origin();
    return RegionOnScreen(region_, container_.Scales(), Zoom(), origin.x, origin.y);
}

Point CKLDExtOverview::ImagePointAt(Point device) const {
    const Point origin = Origin();
    const ExportRect image =
        RegionInImage({device.x, device.y, 0, 0}, container_.Scales(), Zoom(), origin.x, origin.y);
    return {image.left, image.top};
}

void CKLDExtOverview::Changed() {
    App().Services().ShowStatus(state_.shown ? RegionStatusText(region_) : "Ready");
    viewport()->update();
    emit stateChanged();
}

void CKLDExtOverview::ShowRegion() {
    if (!state_.exists) return;
    state_.shown = true;
    Changed();
}

void CKLDExtOverview::HideRegion() {
    state_.shown = false;
    if (state_.fixedSize) {
        // The image it stood for goes with it; the region drawn for copying is gone too.
        state_ = {};
        pending_.reset();
    }
    handle_ = CropHandle::None;
    Changed();
}

void CKLDExtOverview::CopyRegion() {
    if (!CanCopyRegion(state_) || App().IsBusy(container_)) return;
    Job job = container_.CopyJob(region_, [](RasterImage image) {
        auto shared = std::make_shared<RasterImage>(std::move(image));
        QGuiApplication::clipboard()->setMimeData(new ImageMimeData(shared));
    });
    HideRegion();
    App().RunDocumentJob(container_, std::move(job));
}

void CKLDExtOverview::ExportRegion() {
    if (!CanCopyRegion(state_) || App().IsBusy(container_)) return;
    SaveOptions unused;
    const auto path = App().Services().AskSavePath(
        "Export Region", "", {{"PNM (*.PBM;*.PGM;*.PPM)", {"*.PPM", "*.PGM", "*.PBM"}}}, 0, unused);
    if (!path) return;
    Job job = container_.ExportJob(region_, *path);
    HideRegion();
    App().RunDocumentJob(container_, std::move(job));
}

std::shared_ptr<RasterImage> CKLDExtOverview::Snapshot(const QMimeData* data) {
    try {
        if (auto offered = ReadOfferedImage(data)) {
            JobContext now([](double, bool) { return false; }, 1);
            return std::make_shared<RasterImage>(offered->make(now));
        }
        if (const auto files = LocalFilesOf(data).files; files.size() == 1)
            return std::make_shared<RasterImage>(ReadImageFile(files.front()));
        App().Services().ShowMessage(ErrorMessageForCode(ErrorWrongFormat),
                                     MessageIcon::Exclamation);
    } catch (const ImageFileError& error) {
        App().Services().ShowMessage(error.what(), MessageIcon::Exclamation);
    }
    return nullptr;
}

void CKLDExtOverview::ShowFixed(std::shared_ptr<RasterImage> image, Point at) {
    pending_ = std::move(image);
    region_ = {at.x, at.y, pending_->Width(), pending_->Height()};
    state_ = {true, true, true};
    Changed();
}

void CKLDExtOverview::Paste() {
    if (state_.shown || container_.ReadOnly()) return;
    if (auto image = Snapshot(QGuiApplication::clipboard()->mimeData()))
        ShowFixed(std::move(image), {region_.left, region_.top});
}

void CKLDExtOverview::Commit() {
    // A region drawn for copying never writes anything.
    if (!CanCommitRegion(state_) || !pending_ || App().IsBusy(container_)) return;
    const std::shared_ptr<RasterImage> image = pending_;
    const ExportRect at = region_;
    HideRegion();
    if (auto job = container_.ImportJob(image, at.left, at.top, App().Services()))
        App().RunDocumentJob(container_, std::move(*job));
}

void CKLDExtOverview::paintEvent(QPaintEvent* event) {
    CMyView::paintEvent(event);
    if (!state_.shown) return;
    QPainter painter(viewport());
    painter.scale(1 / Ratio(), 1 / Ratio());
    const ExportRect screen = OnScreen();
    const QRect rect = QRect(static_cast<int>(screen.left), static_cast<int>(screen.top),
                             static_cast<int>(screen.width), static_cast<int>(screen.height))
                           .normalized();
    PaintTracker(painter, rect, HandleSize(), std::max(1.0, Ratio()),
                 state_.fixedSize ? TrackerStyle::FixedSize : TrackerStyle::Handles);
}

void CKLDExtOverview::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || (event->modifiers() & Qt::ControlModifier) ||
        !Document().HasImage()) {
        CMyView::mousePressEvent(event);
        return;
    }
    press_ = DevicePoint(event->position());
    moved_ = false;
    regionAtPress_ = region_;
    const ExportRect s = OnScreen();
    handle_ = state_.shown ? HitCropHandle({s.left, s.top, s.left + s.width, s.top + s.height},
                                           press_, HandleSize())
                           : CropHandle::None;
    // A click beside a region of fixed size leaves it where it is.
    if (state_.shown && state_.fixedSize) return;
    if (handle_ == CropHandle::None) {
        // A new rubber band from the image point under the pointer.
        const Point at = ImagePointAt(press_);
        region_ = regionAtPress_ = {at.x, at.y, 0, 0};
        state_ = {true, true, false};
        handle_ = CropHandle::BottomRight;
        Changed();
    }
}

void CKLDExtOverview::mouseMoveEvent(QMouseEvent* event) {
    if (handle_ == CropHandle::None || !(event->buttons() & Qt::LeftButton)) {
        CMyView::mouseMoveEvent(event);
        return;
    }
    const Point point = DevicePoint(event->position());
    const ExportRect dragged =
        DragRegion(regionAtPress_, handle_, point.x - press_.x, point.y - press_.y,
                   container_.Scales(), Zoom(), state_.fixedSize);
    if (dragged == region_) return;
    region_ = dragged;
    moved_ = true;
    Changed();
}

void CKLDExtOverview::mouseReleaseEvent(QMouseEvent* event) {
    if (handle_ != CropHandle::None && event->button() == Qt::LeftButton) {
        const bool rubberBand = !state_.fixedSize && regionAtPress_.width == 0;
        handle_ = CropHandle::None;
        if (!state_.fixedSize) {
            region_ = NormalizedRegion(region_);
            // A drag that yields no rectangle, or a click that changes nothing, hides it.
            if (region_.width == 0 || region_.height == 0 || (!moved_ && !rubberBand)) {
                state_.shown = false;
                state_.exists = region_.width > 0 && region_.height > 0;
            }
            Changed();
        }
        return;
    }
    CMyView::mouseReleaseEvent(event);
}

void CKLDExtOverview::mouseDoubleClickEvent(QMouseEvent* event) {
    const Point point = DevicePoint(event->position());
    const ExportRect s = OnScreen();
    const bool inside = state_.shown && point.x >= s.left && point.x < s.left + s.width &&
                        point.y >= s.top && point.y < s.top + s.height;
    if (inside)
        Commit();
    else
        HideRegion();
}

void CKLDExtOverview::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        Commit();
        return;
    }
    if (key == Qt::Key_Escape && state_.shown) {
        HideRegion();
        return;
    }
    if (const auto move = KeyOf(key); move && state_.shown) {
        region_ = MoveRegion(region_, *move, StepOf(event->modifiers()));
        Changed();
        return;
    }
    CMyView::keyPressEvent(event);
}

void CKLDExtOverview::dragEnterEvent(QDragEnterEvent* event) {
    if (container_.ReadOnly() || App().IsBusy(container_) ||
        (!OffersImage(event->mimeData()) && LocalFilesOf(event->mimeData()).files.size() != 1))
        return;
    auto image = Snapshot(event->mimeData());
    if (!image) return;
    ShowFixed(std::move(image), ImagePointAt(DevicePoint(event->position())));
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void CKLDExtOverview::dragMoveEvent(QDragMoveEvent* event) {
    if (!pending_) return;
    const Point at = ImagePointAt(DevicePoint(event->position()));
    region_.left = at.x;
    region_.top = at.y;
    Changed();
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void CKLDExtOverview::dragLeaveEvent(QDragLeaveEvent*) { HideRegion(); }

void CKLDExtOverview::dropEvent(QDropEvent* event) {
    if (!pending_) return;
    region_.left = ImagePointAt(DevicePoint(event->position())).x;
    region_.top = ImagePointAt(DevicePoint(event->position())).y;
    event->setDropAction(Qt::CopyAction);
    event->accept();
    Commit();
}
