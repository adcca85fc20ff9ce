// Images on the clipboard and in drag-and-drop, both ways. Outgoing, an image is offered as
// standard image data (any program can paste it; Qt encodes PNG, BMP, ... when a program asks)
// and, for images held in a pixel map, as the program's own pixel-map block; nothing is encoded
// or copied before someone asks. Incoming, the block is preferred, then image data.
#pragma once

#include "pictor_app.h"
#include "raster_image.h"

#include <QMimeData>

#include <memory>
#include <optional>

class ImageMimeData final : public QMimeData {
    Q_OBJECT

public:
    // `image` must not change while the data exist: documents replace their image as a whole.
    explicit ImageMimeData(std::shared_ptr<RasterImage> image);

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    std::shared_ptr<RasterImage> image_;
};

// An image offered to the program: the kind of document it becomes and the work, for a worker
// thread, that makes its image from the data read now.
struct OfferedImage {
    DocumentKind kind;
    std::function<RasterImage(JobContext&)> make;
};

// Whether the data offer an image to import (without reading it).
bool OffersImage(const QMimeData* data);
// Reads the pixel-map block the data offer; nothing when they offer no usable one.
std::optional<OfferedImage> ReadPixMapBlock(const QMimeData* data);
// Reads the standard image data the data offer; nothing when they offer none.
std::optional<OfferedImage> ReadStandardImage(const QMimeData* data);
// The block when there is a usable one, else the standard image data.
std::optional<OfferedImage> ReadOfferedImage(const QMimeData* data);
