// Colour management of what the views draw: whether it is on (remembered between runs), the
// screen's profile, the transforms in use, and per document a converter that turns the pixels a
// view is about to draw into the screen's colours. Only copies made for drawing are converted;
// the document's pixels never change.
#pragma once

#include "document.h"
#include "transform_cache.h"

#include <QImage>
#include <QObject>

#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <utility>
#include <vector>

// Converts what a view draws of one document. Safe to use from the thread that makes a reduced
// copy while the UI thread paints.
class ScreenConverter {
public:
    // `pixels` converts the drawn samples (the display image's, or for CMYK and L*a*b* with a
    // profile the pixel map's, which `image` keeps alive); `words` converts 0xAARRGGBB colours
    // (colour tables, stand-in samples) from the image's RGB profile, or sRGB.
    ScreenConverter(std::shared_ptr<const ScreenTransform> pixels,
                    std::shared_ptr<const ScreenTransform> words,
                    std::shared_ptr<const RasterImage> image);

    // The part `rect` (image pixels) of the drawn image, wrapped as `part`, in the screen's
    // colours: RGB32, or ARGB32 for images with alpha; Mono and Indexed8 parts keep their
    // format with a converted colour table.
    QImage Convert(const QImage& part, const QRect& rect) const;
    // A stand-in sample (RGB32 or premultiplied ARGB32) converted as RGB, in place.
    void ConvertSample(QImage& sample) const;

    // Converted pixels are kept between paints in square tiles, so that a repaint or a scroll
    // converts only what comes into view.
    static constexpr int kTileSide = 128;
    // The converted tiles of the drawn image (wrapped as `source`) that `rect` (image pixels)
    // touches, each with its rectangle; missing ones are made on every processor.
    std::vector<std::pair<QRect, QImage>> Tiles(const QImage& source, const QRect& rect) const;

private:
    QImage FromPixMap(const QRect& rect) const;

    std::shared_ptr<const ScreenTransform> pixels_;
    std::shared_ptr<const ScreenTransform> words_;
    std::shared_ptr<const RasterImage> image_;
    std::array<QRgb, 256> grays_{};

    struct KeptTile {
        QImage image;
        std::uint64_t lastUse;
    };
    mutable std::mutex tilesMutex_;
    mutable std::map<std::pair<int, int>, KeptTile> tiles_; // by column and row
    mutable std::uint64_t uses_ = 0;
};

class ScreenColors : public QObject {
    Q_OBJECT

public:
    explicit ScreenColors(QObject* parent = nullptr);

    bool Managed() const { return managed_; }
    // Turns management on or off for every view and remembers the choice.
    void SetManaged(bool managed);

    // The screen's profile; null for sRGB.
    const std::shared_ptr<const IccProfile>& ScreenProfile() const { return screen_; }
    // Takes the screen's profile (empty: none, the screen is taken as sRGB). False, with sRGB
    // in force, when the bytes cannot be used.
    bool SetScreenProfile(std::span<const std::uint8_t> bytes);

    // The converter for drawing the document now; null when it is drawn as stored (management
    // off, no image, or the same profile on both sides). Throws ProfileError when the profiles
    // cannot be linked.
    std::shared_ptr<const ScreenConverter> ConverterFor(const CMyDoc& document);

    TransformCache& Transforms() { return transforms_; }

signals:
    // Management was turned on or off or the screen's profile changed: redraw.
    void changed();

private:
    bool managed_ = true;
    std::shared_ptr<const IccProfile> screen_;
    TransformCache transforms_;
};

// The status-bar text for a document's profile: its description, and whether the view shows it.
QString ProfileStatusText(const IccProfile& profile, bool managed);
