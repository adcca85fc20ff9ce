#include "screen_colors.h"

#include "image_drawing.h"
#include "parallel_rows.h"

#include <QSettings>

#include <optional>

namespace {

constexpr const char* kManagedKey = "View/ColourManagedDisplay";
constexpr auto kIntent = RenderingIntent::Perceptual;
// Parts of at least this many pixels are converted on every processor: a whole 1920 × 1080
// screen at 100 % stays well within a frame.
constexpr qsizetype kParallelPixels = 256 * 1024;
// Tiles kept at most (32 MB of RGB32) unless one paint needs more.
constexpr std::size_t kKeptTiles = 512;

// Parts this large are converted on every processor.
int ThreadsFor(qsizetype pixels) { return pixels < kParallelPixels ? 1 : ProcessorCount(); }

const std::uint8_t* WordBytes(const QRgb* words) {
    return reinterpret_cast<const std::uint8_t*>(words);
}

// The format of the pixel map's samples when the document's profile describes them and the view
// draws them from the map (CMYK and L*a*b* at full range); nothing otherwise.
std::optional<SampleFormat> PixMapFormat(const RasterImage& image) {
    if (!image.pixMap || !image.profile) return std::nullopt;
    const ImageMode mode = image.pixMap->GetMode();
    if (image.maxChannelValue != 0 && image.maxChannelValue != FullRangeMaximum(mode))
        return std::nullopt;
    switch (mode) {
    case ModeCMYK:
        return SampleFormat::Cmyk8;
    case ModeCMYK64:
        return SampleFormat::Cmyk16;
    case ModeLab:
        return SampleFormat::Lab8;
    case ModeLab48:
        return SampleFormat::Lab16;
    default:
        return std::nullopt;
    }
}

} // namespace

ScreenConverter::ScreenConverter(std::shared_ptr<const ScreenTransform> pixels,
                                 std::shared_ptr<const ScreenTransform> words,
                                 std::shared_ptr<const RasterImage> image)
    : pixels_(std::move(pixels)), words_(std::move(words)), image_(std::move(image)) {
    std::array<std::uint8_t, 256> ramp{};
    for (int value = 0; value < 256; ++value) {
        ramp[static_cast<std::size_t>(value)] = static_cast<std::uint8_t>(value);
        grays_[static_cast<std::size_t>(value)] = qRgb(value, value, value);
    }
    if (pixels_->Format() == SampleFormat::Gray8)
        pixels_->Convert(ramp.data(), grays_.data(), grays_.size());
    else
        words_->Convert(WordBytes(grays_.data()), grays_.data(), grays_.size());
}

QImage ScreenConverter::Convert(const QImage& part, const QRect& rect) const {
    if (SpaceOfFormat(pixels_->Format()) == ProfileSpace::CMYK ||
        SpaceOfFormat(pixels_->Format()) == ProfileSpace::Lab)
        return FromPixMap(rect);
    if (part.format() == QImage::Format_Mono || part.format() == QImage::Format_Indexed8) {
        QList<QRgb> table = part.colorTable();
        words_->Convert(WordBytes(table.data()), table.data(),
                        static_cast<std::size_t>(table.size()));
        QImage converted = part;
        converted.setColorTable(table);
        return converted;
    }
    const bool alpha = part.format() == QImage::Format_ARGB32;
    QImage converted(part.size(), alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (converted.isNull()) return {};
    const auto width = static_cast<std::size_t>(part.width());
    ForEachRowInParallel(part.height(), ThreadsFor(part.width() * qsizetype{part.height()}),
                         [&](int y) {
                             auto* to = reinterpret_cast<QRgb*>(converted.scanLine(y));
                             const std::uint8_t* from = part.constScanLine(y);
                             if (part.format() == QImage::Format_Grayscale8) {
                                 for (std::size_t x = 0; x < width; ++x)
                                     to[x] = grays_[from[x]];
                             } else {
                                 pixels_->Convert(from, to, width);
                             }
                         });
    return converted;
}

QImage ScreenConverter::FromPixMap(const QRect& rect) const {
    const CPixMap& map = *image_->pixMap;
    QImage converted(rect.size(), QImage::Format_RGB32);
    if (converted.isNull()) return {};
    const std::size_t bytesPerPixel = map.BitsPerPixel() / 8u;
    ForEachRowInParallel(
        rect.height(), ThreadsFor(rect.width() * qsizetype{rect.height()}), [&](int y) {
            const std::uint8_t* from = map.Row(static_cast<std::uint32_t>(rect.top() + y)) +
                                       static_cast<std::size_t>(rect.left()) * bytesPerPixel;
            pixels_->Convert(from, reinterpret_cast<QRgb*>(converted.scanLine(y)),
                             static_cast<std::size_t>(rect.width()));
        });
    return converted;
}

std::vector<std::pair<QRect, QImage>> ScreenConverter::Tiles(const QImage& source,
                                                             const QRect& rect) const {
    std::vector<std::pair<QRect, QImage>> tiles;
    std::vector<std::size_t> missing;
    const auto key = [](const QRect& tile) {
        return std::pair{tile.left() / kTileSide, tile.top() / kTileSide};
    };
    {
        const std::lock_guard lock(tilesMutex_);
        for (int row = rect.top() / kTileSide; row * kTileSide <= rect.bottom(); ++row)
            for (int column = rect.left() / kTileSide; column * kTileSide <= rect.right();
                 ++column) {
                const QRect tile =
                    QRect(column * kTileSide, row * kTileSide, kTileSide, kTileSide) &
                    source.rect();
                const auto kept = tiles_.find(key(tile));
                if (kept != tiles_.end()) kept->second.lastUse = ++uses_;
                if (kept == tiles_.end()) missing.push_back(tiles.size());
                tiles.emplace_back(tile, kept != tiles_.end() ? kept->second.image : QImage());
            }
    }
    // Tiles start on multiples of 128, so the parts of 1-bit images start on whole bytes.
    ForEachRowInParallel(static_cast<int>(missing.size()),
                         ThreadsFor(static_cast<qsizetype>(missing.size()) * kTileSide * kTileSide),
                         [&](int i) {
                             auto& [tile, image] = tiles[missing[static_cast<std::size_t>(i)]];
                             image = Convert(ImagePart(source, tile, nullptr), tile);
                         });
    const std::lock_guard lock(tilesMutex_);
    for (const std::size_t index : missing)
        tiles_[key(tiles[index].first)] = {tiles[index].second, ++uses_};
    while (tiles_.size() > std::max(kKeptTiles, 2 * tiles.size()))
        tiles_.erase(
            std::min_element(tiles_.begin(), tiles_.end(), [](const auto& a, const auto& b) {
                return a.second.lastUse < b.second.lastUse;
            }));
    return tiles;
}

void ScreenConverter::ConvertSample(QImage& sample) const {
    for (int y = 0; y < sample.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(sample.scanLine(y));
        words_->Convert(WordBytes(row), row, static_cast<std::size_t>(sample.width()));
    }
}

ScreenColors::ScreenColors(QObject* parent)
    : QObject(parent), managed_(QSettings().value(kManagedKey, true).toBool()) {}

void ScreenColors::SetManaged(bool managed) {
    if (managed == managed_) return;
    managed_ = managed;
    QSettings().setValue(kManagedKey, managed);
    emit changed();
}

bool ScreenColors::SetScreenProfile(std::span<const std::uint8_t> bytes) {
    std::shared_ptr<const IccProfile> screen;
    bool usable = true;
    if (!bytes.empty()) try {
            screen = IccProfile::FromBytes(bytes, ProfileUse::Screen);
        } catch (const ProfileError&) {
            usable = false;
        }
    const bool same = screen && screen_ ? screen->SameAs(*screen_) : screen == screen_;
    screen_ = std::move(screen);
    if (!same) emit changed();
    return usable;
}

std::shared_ptr<const ScreenConverter> ScreenColors::ConverterFor(const CMyDoc& document) {
    if (!managed_ || !document.HasImage()) return nullptr;
    std::shared_ptr<const RasterImage> image = document.SharedImage();
    std::shared_ptr<const IccProfile> profile = image->profile;
    const ImageMode displayMode = image->display->DisplayMode();
    std::optional<SampleFormat> format = PixMapFormat(*image);
    if (!format) {
        // The display image is drawn: a profile of its colour model applies, else it is sRGB.
        if (profile && !ProfileFitsMode(profile->Space(), document.Mode())) profile.reset();
        if (profile && profile->Space() != ProfileSpace::RGB &&
            profile->Space() != ProfileSpace::Gray)
            profile.reset();
        format = displayMode == ModeARGB                             ? SampleFormat::Bgra8
                 : profile && profile->Space() == ProfileSpace::Gray ? SampleFormat::Gray8
                                                                     : SampleFormat::Bgr8;
    }
    const IccProfile& source = profile ? *profile : *IccProfile::SRgb();
    const IccProfile& target = screen_ ? *screen_ : *IccProfile::SRgb();
    if (source.SameAs(target)) return nullptr;
    const auto rgbProfile =
        profile && profile->Space() == ProfileSpace::RGB ? profile : IccProfile::SRgb();
    return std::make_shared<const ScreenConverter>(
        transforms_.Get(profile, *format, screen_, kIntent),
        transforms_.Get(rgbProfile, SampleFormat::Bgra8, screen_, kIntent), std::move(image));
}

QString ProfileStatusText(const IccProfile& profile, bool managed) {
    const QString name = profile.Description().empty()
                             ? QObject::tr("unnamed")
                             : QString::fromStdString(profile.Description());
    return managed ? QObject::tr("Profile: %1").arg(name)
                   : QObject::tr("Profile: %1 (not applied)").arg(name);
}
