// The image handler that lets Qt programs read QVT files and containers and write QVT files.
// Scaled and clipped reads decode only the level and region they need.
#pragma once

#include <QImageIOHandler>
#include <QRect>
#include <QSize>

class PictorImageHandler final : public QImageIOHandler {
public:
    // Reads when the data at the device's position carry a QVT or container signature.
    bool canRead() const override;
    bool read(QImage* image) override;
    // Writes QVT: losslessly unless a Quality from 0 to 99 asks for less.
    bool write(const QImage& image) override;
    QVariant option(ImageOption option) const override;
    void setOption(ImageOption option, const QVariant& value) override;
    bool supportsOption(ImageOption option) const override;

private:
    QSize m_scaledSize;
    QRect m_clipRect;
    QRect m_scaledClipRect;
    int m_quality = -1;
};

// The codec's quality (0 lossless ... 31) for Qt's (0 ... 100, or -1 for the default): 100 and
// the default are lossless, lower values coarser in even steps.
int CodecQuality(int qtQuality);
