#include "image_drops.h"

#include "image_mime_data.h"
#include "pictor_app.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QStatusBar>
#include <QUrl>
#include <QWidget>

ImageDrops::ImageDrops(QWidget* window, CPictorApp& app)
    : QObject(window), window_(window), app_(app) {
    window_->setAcceptDrops(true);
    window_->installEventFilter(this);
}

DroppedUrls LocalFilesOf(const QMimeData* data) {
    DroppedUrls dropped;
    if (!data || !data->hasUrls()) return dropped;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && !QFileInfo(url.toLocalFile()).isDir())
            dropped.files.push_back(url.toLocalFile().toStdString());
        else
            ++dropped.skipped;
    return dropped;
}

bool ImageDrops::Offers(const QDropEvent& event) {
    // Links alone are taken too, so that the drop can say why nothing opens.
    return event.mimeData()->hasUrls() || OffersImage(event.mimeData());
}

bool ImageDrops::OverItsSource(const QDropEvent& event) const {
    const auto* source = qobject_cast<const QWidget*>(event.source());
    const QWidget* under = window_->childAt(event.position().toPoint());
    return source && under && (under == source || source->isAncestorOf(under));
}

void ImageDrops::ShowSkipped(int count) const {
    const QString text =
        QObject::tr("%n dropped item(s) skipped: only local files are opened.", nullptr, count);
    // Over the status line for a while: reading the files that did open goes on beneath it.
    if (auto* status = window_->findChild<QStatusBar*>())
        status->showMessage(text, 8000);
    else
        app_.Services().ShowStatus(text.toStdString());
}

bool ImageDrops::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_) return false;
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        // An entering drag is taken whatever lies under it, or the window would hear no more of
        // it; where it moves, it is refused over the view it came from (letting go there would
        // only copy the image onto itself).
        auto* drag = static_cast<QDropEvent*>(event);
        const bool here = event->type() == QEvent::DragEnter || !OverItsSource(*drag);
        if (Offers(*drag) && here) {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (!Offers(*drop) || OverItsSource(*drop)) return true;
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        window_->activateWindow();
        // The program's own block first (nothing lost); then files, which keep their name and
        // format; then whatever image data comes with them.
        const QMimeData* data = drop->mimeData();
        std::optional<OfferedImage> offered = ReadPixMapBlock(data);
        if (!offered) {
            const DroppedUrls urls = LocalFilesOf(data);
            if (urls.skipped > 0) ShowSkipped(urls.skipped);
            if (!urls.files.empty()) {
                app_.OpenDropped(urls.files);
                return true;
            }
            offered = ReadStandardImage(data);
        }
        if (offered) app_.OpenUntitled(offered->kind, std::move(offered->make));
        return true;
    }
    default:
        return false;
    }
}
