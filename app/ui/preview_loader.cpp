#include "preview_loader.h"

#include "file_preview.h"
#include "open_dialog_state.h"
#include "qt_raster_image.h"

#include <new>

PreviewLoader::PreviewLoader(QSize frame, Ready ready)
    : frame_(frame), ready_(std::move(ready)), thread_([this] { Run(); }) {}

PreviewLoader::~PreviewLoader() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void PreviewLoader::Request(const QString& path) {
    {
        std::lock_guard lock(mutex_);
        pending_ = path;
    }
    wake_.notify_one();
}

void PreviewLoader::Run() {
    for (;;) {
        QString path;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return quit_ || pending_; });
            if (quit_) return;
            path = std::move(*pending_);
            pending_.reset();
        }
        ready_(Load(path));
    }
}

PreviewLoader::Result PreviewLoader::Load(const QString& path) const {
    Result result;
    result.path = path;
    try {
        if (SelectedFileOf(path.toStdString()) == SelectedFile::Container) {
            RasterImage preview = LoadKLDExtThumbnail(path.toStdString());
            result.picture = WrapDisplayImage(*preview.display)
                                 .scaled(frame_, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            return result;
        }
        QVTPreview preview = LoadQVTPreview(path.toStdString());
        result.headRead = true;
        result.levels = preview.levels;
        result.regionSupport = preview.regionSupport;
        if (preview.image && preview.image->display)
            result.picture = WrapDisplayImage(*preview.image->display)
                                 .scaled(frame_, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    } catch (const ImageFileError&) {
        // Not readable as QVT: no preview, and the options keep their usual ranges.
    } catch (const std::bad_alloc&) {
        // No memory for a picture: no preview either.
    }
    return result;
}
