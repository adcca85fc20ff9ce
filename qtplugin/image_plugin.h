// The entry Qt's image readers and writers find in the plugin folder: QVT files by their ".qvt"
// format or their content, containers (".kle") for reading.
#pragma once

#include <QImageIOPlugin>

class PictorImagePlugin final : public QImageIOPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "pictor_image.json")

public:
    Capabilities capabilities(QIODevice* device, const QByteArray& format) const override;
    QImageIOHandler* create(QIODevice* device, const QByteArray& format) const override;
};
