#include "qvt_file.h"

#include "mode_layout.h"
#include "pixmap_factory.h"
#include "qvt_my_image.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace {

// Four bytes of user data carry a deep image's maximum when the used bits alone cannot say it.
constexpr std::uint32_t kMaximumUserDataLength = 4;

class ErrorRecorder final : public CodecErrorReporter {
public:
    void ShowError(std::uint32_t code, const std::string& text) override {
        if (!failure_) failure_.emplace(text, code);
    }
    [[noreturn]] void Rethrow() const {
        if (failure_) throw *failure_;
        throw ImageFileError(kImageCreationFailed);
    }

private:
    std::optional<ImageFileError> failure_;
};

std::uint32_t StoredMaximum(const CQVTImage& qvt) {
    const int bits = qvt.ChannelDepth();
    const std::uint32_t fromBits =
        bits >= 32 ? 0xFFFFFFFFu : static_cast<std::uint32_t>((std::uint64_t{1} << bits) - 1);
    const auto data = qvt.UserData();
    if (data.size() != kMaximumUserDataLength || qvt.UserDataLength() != kMaximumUserDataLength)
        return fromBits;
    const std::uint32_t stored = std::uint32_t{data[0]} | std::uint32_t{data[1]} << 8 |
                                 std::uint32_t{data[2]} << 16 | std::uint32_t{data[3]} << 24;
    return std::bit_width(stored) == static_cast<unsigned>(bits) ? stored : fromBits;
}

RasterImage ExportDisplayHeld(CQVTImage& qvt, std::uint32_t width, std::uint32_t height) {
    const std::uint8_t mode = qvt.Header().mode;
    RasterImage image;
    image.display = CreateEmptyDisplayImage(width, height, mode);
    if (!image.display) throw ImageFileError(kImageCreationFailed);
    if (mode == ModeIndexed) {
        std::array<std::uint8_t, kColorTableSize> table{};
        qvt.GetColorTable(0, 256, table.data());
        image.display->SetColors(0, 256, table.data());
    }
    qvt.ExportPixels(image.display->Pitch(), image.display->TopRow(),
                     static_cast<std::uint32_t>(image.display->BitsPerPixel()));
    return image;
}

RasterImage ExportPixMap(CQVTImage& qvt, std::uint32_t width, std::uint32_t height) {
    const std::uint8_t mode = qvt.Header().mode;
    if (!FindModeLayout(mode)) throw ImageFileError(kImageCreationFailed);
    std::unique_ptr<CPixMap> pixels;
    try {
        pixels = CreatePixMap({0, 0, width, height}, mode);
    } catch (const IOException&) {
        throw ImageFileError(kImageCreationFailed);
    }
    qvt.ExportPixels(pixels->Stride(), pixels->GetBits(), pixels->BitsPerPixel(), nullptr, nullptr,
                     nullptr, SampleAlignment::Low);
    return MakeRasterImage(std::move(pixels), IsDeepMode(mode) ? StoredMaximum(qvt) : 0);
}

// The region scaled to a level the way the decoder scales it, rounding every edge up.
PixRect RegionAtLevel(const RegionRect& region, int level, std::uint32_t width,
                      std::uint32_t height) {
    const auto up = [level](std::uint32_t v) {
        return static_cast<std::uint32_t>((std::uint64_t{v} + (std::uint64_t{1} << level) - 1) >>
                                          level);
    };
    const std::uint32_t right = region.right == 0 ? width : std::min(up(region.right), width);
    const std::uint32_t bottom = region.bottom == 0 ? height : std::min(up(region.bottom), height);
    return {up(region.left), up(region.top), right, bottom};
}

// Cuts a decoded whole image to a region, for files whose data cannot be read by region.
RasterImage Crop(RasterImage& whole, const PixRect& rect) {
    if (rect.IsEmpty()) ThrowCodeError(EINVAL);
    ImagePixels source(whole);
    std::unique_ptr<CPixMap> part;
    try {
        part = CreatePixMap({0, 0, rect.Width(), rect.Height()}, source->GetMode());
        if (const std::uint8_t* table = source->GetColorTable())
            std::memcpy(part->AllocColorTable(), table, kColorTableSize);
    } catch (const IOException&) {
        throw ImageFileError(kImageCreationFailed);
    }
    source->CopyRect(rect, *part, part->Rect());
    return MakeRasterImage(std::move(part), whole.maxChannelValue);
}

// Opens the file and decodes the chosen level, or the region when the file can be read by
// region; returns whether it was. Throws ImageFileError.
bool DecodeQVT(CQVTMyImage& qvt, const std::string& path, const QVTReadOptions& options) {
    qvt.SetUserDataPolicy(kMaximumUserDataLength);
    qvt.SetThreadCount(options.threads);
    ErrorRecorder errors;
    if (!qvt.OpenPath(path, &errors)) errors.Rethrow();
    const int coarsest = std::max(0, qvt.Header().levels - 1);
    const int level = options.thumbnail ? coarsest : std::clamp(options.level, 0, coarsest);
    try {
        const bool regionRead = options.region && (qvt.LeadIn().version & kVersionRegion) != 0;
        if (regionRead)
            qvt.ReadRegion(*options.region, level, options.progress, options.progressData);
        else
            qvt.Read(level, options.progress, options.progressData);
        return regionRead;
    } catch (const IOException& error) {
        ThrowCodeError(error.error);
    }
}

// The decoded image, cut to the region when the file could not be read by region.
RasterImage ExportDecoded(CQVTMyImage& qvt, const QVTReadOptions& options, bool regionRead) {
    try {
        const std::uint32_t width = qvt.ExportWidth();
        const std::uint32_t height = qvt.ExportHeight();
        RasterImage image = IsDisplayHeldMode(qvt.Header().mode)
                                ? ExportDisplayHeld(qvt, width, height)
                                : ExportPixMap(qvt, width, height);
        if (!options.region || regionRead) return image;
        return Crop(image, RegionAtLevel(*options.region, qvt.CurrentLevel(), width, height));
    } catch (const IOException& error) {
        ThrowCodeError(error.error);
    }
}

} // namespace

RasterImage ReadQVTFile(const std::string& path, const QVTReadOptions& options) {
    CQVTMyImage qvt;
    const bool regionRead = DecodeQVT(qvt, path, options);
    return ExportDecoded(qvt, options, regionRead);
}

QVTFileRows::QVTFileRows(const std::string& path, const QVTReadOptions& options,
                         std::uint64_t stripBytes)
    : qvt_(std::make_unique<CQVTMyImage>()), options_(options) {
    const bool regionRead = DecodeQVT(*qvt_, path, options_);
    if (options_.region && !regionRead) {
        cut_ = ExportDecoded(*qvt_, options_, regionRead);
        return;
    }
    mode_ = qvt_->Header().mode;
    const ModeLayout* layout = FindModeLayout(mode_);
    if (!layout) throw ImageFileError(kImageCreationFailed);
    bitsPerPixel_ = layout->bitsPerPixel;
    width_ = qvt_->ExportWidth();
    height_ = qvt_->ExportHeight();
    rowBytes_ = RowBytes(layout->bitsPerPixel, width_);
    // Older bitmap files pack pixels across rows and export only whole; bitmaps are small.
    stripRows_ =
        mode_ == ModeBitmap
            ? height_
            : static_cast<std::uint32_t>(std::clamp<std::uint64_t>(
                  stripBytes / std::max<std::uint64_t>(rowBytes_, 1), 1, std::max(height_, 1u)));
}

QVTFileRows::~QVTFileRows() = default;

RasterImage QVTFileRows::TakeImage() {
    if (!cut_) return ExportDecoded(*qvt_, options_, true);
    RasterImage image = std::move(*cut_);
    cut_.reset();
    return image;
}

ImageMode QVTFileRows::Mode() const { return cut_ ? cut_->Mode() : static_cast<ImageMode>(mode_); }
std::uint32_t QVTFileRows::Width() const { return cut_ ? cut_->Width() : width_; }
std::uint32_t QVTFileRows::Height() const { return cut_ ? cut_->Height() : height_; }
std::uint32_t QVTFileRows::MaxChannelValue() const {
    if (cut_) return cut_->maxChannelValue;
    return IsDeepMode(mode_) ? StoredMaximum(*qvt_) : 0;
}
std::uint32_t QVTFileRows::StripRows() const { return cut_ ? cut_->Height() : stripRows_; }

const std::uint8_t* QVTFileRows::Rows(std::uint32_t first, std::uint32_t count,
                                      std::ptrdiff_t& pitch) {
    if (cut_) return RasterImageRows(*cut_).Rows(first, count, pitch);
    try {
        strip_.resize(rowBytes_ * count);
        qvt_->ExportPixelRows(first, count, static_cast<std::ptrdiff_t>(rowBytes_), strip_.data(),
                              bitsPerPixel_, nullptr, SampleAlignment::Low);
    } catch (const IOException& error) {
        ThrowCodeError(error.error);
    } catch (const std::bad_alloc&) {
        throw ImageFileError(kImageCreationFailed);
    }
    pitch = static_cast<std::ptrdiff_t>(rowBytes_);
    return strip_.data();
}

bool IsQVTWritableMode(std::uint32_t mode) {
    return CQVTImage::IsModeSupported(mode) && FindModeLayout(mode) != nullptr;
}

namespace {

void PrepareFromDisplay(CQVTImage& qvt, QVTHeader header, std::uint8_t flags,
                        const CDisplayImage& display) {
    header.bitsPerPixel = static_cast<std::uint8_t>(display.BitsPerPixel());
    qvt.SetHeader(header, flags);
    if (header.mode == ModeIndexed) {
        std::array<std::uint8_t, kColorTableSize> table{};
        display.GetColors(0, std::min(display.ColorCount(), 256), table.data());
        qvt.SetColorTable(0, 256, table.data());
    }
    qvt.ImportPixels(display.Pitch(), display.TopRow(),
                     static_cast<std::uint32_t>(display.BitsPerPixel()));
}

void PrepareFromPixMap(CQVTImage& qvt, QVTHeader header, std::uint8_t flags, const CPixMap& pixels,
                       std::uint32_t maxChannelValue) {
    header.bitsPerPixel = pixels.BitsPerPixel();
    std::uint32_t maximum = 0;
    std::array<std::uint8_t, kMaximumUserDataLength> userData{};
    std::span<const std::uint8_t> extra;
    if (IsDeepMode(header.mode)) {
        const std::uint32_t full = FullRangeMaximum(header.mode);
        maximum = maxChannelValue == 0 || maxChannelValue > full ? full : maxChannelValue;
        // Only 2^b - 1 follows from the used bits; any other maximum is stored beside them.
        if (!std::has_single_bit(std::uint64_t{maximum} + 1)) {
            for (std::size_t i = 0; i < userData.size(); ++i)
                userData[i] = static_cast<std::uint8_t>(maximum >> (8 * i));
            extra = userData;
        }
    }
    qvt.SetHeader(header, flags, extra);
    qvt.SetMaxChannelValue(maximum);
    qvt.ImportPixels(pixels.Stride(), pixels.GetBits(), pixels.BitsPerPixel(), nullptr, nullptr,
                     nullptr, SampleAlignment::Low);
}

} // namespace

void WriteQVTFile(RasterImage& image, const std::string& path, const QVTWriteOptions& options) {
    const ImageMode mode = image.Mode();
    if (!IsQVTWritableMode(mode) || !image.display) throw ImageFileError(kNoSuitableFormat);
    QVTHeader header;
    header.width = image.Width();
    header.height = image.Height();
    header.levels = static_cast<std::uint8_t>(std::clamp(options.levels, 0, kMaxLevels));
    header.quality = static_cast<std::uint8_t>(std::clamp(options.quality, 0, 31));
    header.mode = mode;
    header.channels = ChannelsFromMode(static_cast<std::uint8_t>(mode));
    const std::uint8_t flags = options.regionSupport ? kVersionRegion : 0;

    CQVTMyImage qvt;
    qvt.SetThreadCount(options.threads);
    try {
        if (image.pixMap)
            PrepareFromPixMap(qvt, header, flags, *image.pixMap, image.maxChannelValue);
        else
            PrepareFromDisplay(qvt, header, flags, *image.display);
    } catch (const IOException& error) {
        ThrowCodeError(error.error);
    }
    ErrorRecorder errors;
    if (!qvt.SavePath(path, options.progress, options.progressData, &errors)) errors.Rethrow();
}
