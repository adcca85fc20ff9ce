#include "image_plugin.h"

#include "image_handler.h"
#include "image_sources.h"

QImageIOPlugin::Capabilities PictorImagePlugin::capabilities(QIODevice* device,
                                                             const QByteArray& format) const {
    if (format == "qvt") return CanRead | CanWrite;
    if (format == "kle") return CanRead;
    // Other named formats are not ours; an unnamed one is recognised by its signature.
    if (!format.isEmpty() || !device || !device->isOpen()) return {};
    return ImageFormatOf(device).isEmpty() ? Capabilities{} : Capabilities{CanRead};
}

QImageIOHandler* PictorImagePlugin::create(QIODevice* device, const QByteArray& format) const {
    auto* handler = new PictorImageHandler;
    handler->setDevice(device);
    handler->setFormat(format.isEmpty() ? ImageFormatOf(device) : format);
    return handler;
}
