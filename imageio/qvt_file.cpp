#include "qvt_file.h"

#include "mode_layout.h"
#include "parallel_guard.h"
#include "pixmap_factory.h"
#include "qvt_my_image.h"
#include "qvt_user_data.h"
#include "region_at_level.h"
#include "strip_buffer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <exception>
#include <omp.h>
#include <vector>

namespace {

// Channel 0 is blue; its samples are the third byte of a pixel whose red comes first.
constexpr ChannelMap kRedFirst{{2, 1, 0, 3, 4, 5, 6, 7}};

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
    const auto stored = ReadStoredMaximum(qvt.UserData(), qvt.UserDataLength());
    return stored && std::bit_width(*stored) == static_cast<unsigned>(bits) ? *stored : fromBits;
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

// The region at the decoded level, as a region read of the same file would export it.
PixRect DecodedRegion(const CQVTImage& qvt, const RegionRect& region, std::uint32_t width,
                      std::uint32_t height) {
    const RegionRect inside = ClipRegionToImage(region, qvt.Header().width, qvt.Header().height);
    if (inside.IsEmpty()) ThrowCodeError(EINVAL);
    const RegionRect scaled = RegionAtLevel(inside, qvt.CurrentLevel(), width, height);
    return {scaled.left, scaled.top, scaled.right, scaled.bottom};
}

// Decodes the chosen level of an opened file, or the region when the file can be read by region;
// returns whether it was. A whole image wanted for rows is read for rows where it can be: on
// one thread, or on several when its rows will be made in runs, a thread each. Throws
// ImageFileError.
enum class RowsWanted { None, InOrder, InRuns };
bool DecodeOpened(CQVTImage& qvt, const QVTReadOptions& options,
                  RowsWanted rows = RowsWanted::None) {
    qvt.SetThreadCount(options.threads);
    const QVTHeader& header = qvt.Header();
    if (options.region &&
        (options.region->left >= header.width || options.region->top >= header.height))
        throw ImageFileError("The region lies outside the " + std::to_string(header.width) + " x " +
                             std::to_string(header.height) + " image.");
    const int coarsest = std::max(0, header.levels - 1);
    const int level = options.thumbnail ? coarsest : std::clamp(options.level, 0, coarsest);
    try {
        const bool regionRead = options.region && (qvt.LeadIn().version & kVersionRegion) != 0;
        if (regionRead)
            qvt.ReadRegion(*options.region, level, options.progress, options.progressData);
        else if (rows == RowsWanted::None ||
                 (rows == RowsWanted::InOrder && qvt.ThreadCount() > 1) || options.region ||
                 level != 0 || !qvt.ReadForRows(options.progress, options.progressData))
            qvt.Read(level, options.progress, options.progressData);
        return regionRead;
    } catch (const IOException& error) {
        ThrowCodeError(error.error);
    }
}

// What `call` gives; the codec's errors as ImageFileError, a failed allocation as the image
// that could not be made.
template <typename Call>
auto RowsCall(Call call) {
    try {
        return call();
    } catch (const IOException& error) {
        ThrowCodeError(error.error);
    } catch (const std::bad_alloc&) {
        throw ImageFileError(kImageCreationFailed);
    }
}

// Opens the file and decodes it as DecodeOpened does. Throws ImageFileError.
bool DecodeQVT(CQVTMyImage& qvt, const std::string& path, const QVTReadOptions& options) {
    OpenQVTFile(qvt, path);
    return DecodeOpened(qvt, options);
}

// The decoded image, cut to the region when the file could not be read by region.
RasterImage ExportDecoded(CQVTImage& qvt, const QVTReadOptions& options, bool regionRead) {
    try {
        const std::uint32_t width = qvt.ExportWidth();
        const std::uint32_t height = qvt.ExportHeight();
        RasterImage image = IsDisplayHeldMode(qvt.Header().mode)
                                ? ExportDisplayHeld(qvt, width, height)
                                : ExportPixMap(qvt, width, height);
        if (options.region && !regionRead)
            image = CropRasterImage(image, DecodedRegion(qvt, *options.region, width, height));
        image.profile =
            ReadStoredProfile(qvt.UserData(), qvt.UserDataLength(), image.profileDropped);
        return image;
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

void OpenQVTStream(CQVTImage& qvt, CQVTStream& stream) {
    qvt.SetUserDataPolicy(kKeptUserDataLength);
    try {
        qvt.Open(stream);
    } catch (const IOException& error) {
        ThrowCodeError(error.error);
    }
}

RasterImage ReadOpenedQVT(CQVTImage& qvt, const QVTReadOptions& options) {
    const bool regionRead = DecodeOpened(qvt, options);
    return ExportDecoded(qvt, options, regionRead);
}

void OpenQVTFile(CQVTMyImage& qvt, const std::string& path) {
    qvt.SetUserDataPolicy(kKeptUserDataLength);
    ErrorRecorder errors;
    if (!qvt.OpenPath(path, &errors)) errors.Rethrow();
}

RasterImage ExportQVTLevel(CQVTImage& qvt) { return ExportDecoded(qvt, {}, true); }

QVTFileRows::QVTFileRows(const std::string& path, const QVTReadOptions& options,
                         std::uint64_t stripBytes, bool redFirstRuns)
    : qvt_(std::make_unique<CQVTMyImage>()), options_(options) {
    OpenQVTFile(*qvt_, path);
    const std::uint8_t mode = qvt_->Header().mode;
    const bool runs = redFirstRuns && (mode == ModeGray || mode == ModeRGB);
    const bool regionRead =
        DecodeOpened(*qvt_, options_, runs ? RowsWanted::InRuns : RowsWanted::InOrder);
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
    std::uint8_t* strip = strip_.Hold(static_cast<std::size_t>(rowBytes_ * count));
    pitch = static_cast<std::ptrdiff_t>(rowBytes_);
    ExportRows(first, count, strip, pitch, nullptr);
    return strip;
}

bool QVTFileRows::RowsRedFirst(std::uint32_t first, std::uint32_t count, std::uint8_t* to,
                               std::ptrdiff_t pitch) {
    if (cut_ || (mode_ != ModeGray && mode_ != ModeRGB)) return false;
    ExportRows(first, count, to, pitch, mode_ == ModeRGB ? &kRedFirst : nullptr);
    return true;
}

// The rows are exported from the decoded planes, which nothing changes any more, unless the
// last level is decoded as the rows are asked for.
bool QVTFileRows::RowsRedFirstOnAnyThread() const {
    return !cut_ && (mode_ == ModeGray || mode_ == ModeRGB) && !qvt_->ReadsForRows();
}

std::vector<std::uint32_t> QVTFileRows::RowRuns(int runs) {
    if (cut_ || (mode_ != ModeGray && mode_ != ModeRGB)) return {};
    return RowsCall([&] { return qvt_->SplitRowsIntoRuns(runs); });
}

void QVTFileRows::SetRowThreads(int threads) {
    qvt_->SetThreadCount(threads > 0 ? threads : options_.threads);
}

void QVTFileRows::ExportRows(std::uint32_t first, std::uint32_t count, std::uint8_t* to,
                             std::ptrdiff_t pitch, const ChannelMap* channelMap) {
    RowsCall([&] {
        qvt_->ExportPixelRows(first, count, pitch, to, bitsPerPixel_, channelMap,
                              SampleAlignment::Low);
    });
}

bool IsQVTWritableMode(std::uint32_t mode) {
    return CQVTImage::IsModeSupported(mode) && FindModeLayout(mode) != nullptr;
}

namespace {

void PrepareFromDisplay(CQVTImage& qvt, QVTHeader header, std::uint8_t flags,
                        const CDisplayImage& display, const IccProfile* profile) {
    header.bitsPerPixel = static_cast<std::uint8_t>(display.BitsPerPixel());
    qvt.SetHeader(header, flags, QVTUserData(std::nullopt, profile));
    if (header.mode == ModeIndexed) {
        std::array<std::uint8_t, kColorTableSize> table{};
        display.GetColors(0, std::min(display.ColorCount(), 256), table.data());
        qvt.SetColorTable(0, 256, table.data());
    }
    qvt.ImportPixels(display.Pitch(), display.TopRow(),
                     static_cast<std::uint32_t>(display.BitsPerPixel()));
}

// Sets the header of an image whose samples come from pixel-map rows: deep samples with the
// maximum channel value deciding the used bits.
void SetPixMapHeader(CQVTImage& qvt, QVTHeader header, std::uint8_t flags,
                     std::uint32_t bitsPerPixel, std::uint32_t maxChannelValue,
                     const IccProfile* profile) {
    header.bitsPerPixel = static_cast<std::uint8_t>(bitsPerPixel);
    std::uint32_t maximum = 0;
    std::optional<std::uint32_t> storedMaximum;
    if (IsDeepMode(header.mode)) {
        const std::uint32_t full = FullRangeMaximum(header.mode);
        maximum = maxChannelValue == 0 || maxChannelValue > full ? full : maxChannelValue;
        // Only 2^b - 1 follows from the used bits; any other maximum is stored beside them.
        if (!std::has_single_bit(std::uint64_t{maximum} + 1)) storedMaximum = maximum;
    }
    qvt.SetHeader(header, flags, QVTUserData(storedMaximum, profile));
    qvt.SetMaxChannelValue(maximum);
}

void PrepareFromPixMap(CQVTImage& qvt, const QVTHeader& header, std::uint8_t flags,
                       const CPixMap& pixels, std::uint32_t maxChannelValue,
                       const IccProfile* profile) {
    SetPixMapHeader(qvt, header, flags, pixels.BitsPerPixel(), maxChannelValue, profile);
    qvt.ImportPixels(pixels.Stride(), pixels.GetBits(), pixels.BitsPerPixel(), nullptr, nullptr,
                     nullptr, SampleAlignment::Low);
}

QVTHeader HeaderFor(ImageMode mode, std::uint32_t width, std::uint32_t height,
                    const QVTWriteOptions& options) {
    QVTHeader header;
    header.width = width;
    header.height = height;
    header.levels = static_cast<std::uint8_t>(std::clamp(options.levels, 0, kMaxLevels));
    header.quality = static_cast<std::uint8_t>(std::clamp(options.quality, 0, 31));
    header.mode = mode;
    header.channels = ChannelsFromMode(static_cast<std::uint8_t>(mode));
    return header;
}

std::uint8_t VersionFlags(const QVTWriteOptions& options) {
    return options.regionSupport ? kVersionRegion : 0;
}

void SaveQVT(CQVTMyImage& qvt, const std::string& path, const QVTWriteOptions& options) {
    ErrorRecorder errors;
    if (!qvt.SavePath(path, options.progress, options.progressData, &errors)) errors.Rethrow();
}

// Makes the codec image ready to write the image. Throws ImageFileError.
void PrepareQVT(CQVTImage& qvt, RasterImage& image, const QVTWriteOptions& options) {
    const ImageMode mode = image.Mode();
    if (!IsQVTWritableMode(mode) || !image.display) throw ImageFileError(kNoSuitableFormat);
    const QVTHeader header = HeaderFor(mode, image.Width(), image.Height(), options);
    const std::uint8_t flags = VersionFlags(options);

    qvt.SetThreadCount(options.threads);
    try {
        if (image.pixMap)
            PrepareFromPixMap(qvt, header, flags, *image.pixMap, image.maxChannelValue,
                              image.profile.get());
        else
            PrepareFromDisplay(qvt, header, flags, *image.display, image.profile.get());
    } catch (const IOException& error) {
        ThrowCodeError(error.error);
    }
}

// Imports the strips of `rows`, top to bottom. A source that makes its rows on any thread is
// read on all `threads`, each reading and importing whole strips of its own, so that reading
// the file no longer holds up the other threads; the last strip, whose import completes the
// planes, comes after the others. The first strip that fails, in image order, is the one
// reported.
void ImportStrips(ImageRowSource& rows, CQVTImage& qvt, const ModeLayout& layout, int threads) {
    const std::uint32_t height = rows.Height();
    const std::uint32_t strip = std::max<std::uint32_t>(1, rows.StripRows());
    const std::uint32_t strips = height / strip + (height % strip != 0);
    const bool everyThread = threads > 1 && strips > 2 && rows.RowsRedFirstOnAnyThread() &&
                             (rows.Mode() == ModeGray || rows.Mode() == ModeRGB);
    const ChannelMap* redFirst = rows.Mode() == ModeRGB ? &kRedFirst : nullptr;
    const auto rowBytes = static_cast<std::ptrdiff_t>(RowBytes(layout.bitsPerPixel, rows.Width()));
    std::vector<StripBuffer> buffers(static_cast<std::size_t>(everyThread ? threads : 1));
    const auto importStrip = [&](std::uint32_t first, StripBuffer& buffer) {
        const std::uint32_t count = std::min(strip, height - first);
        if (everyThread) {
            std::uint8_t* to = buffer.Hold(static_cast<std::size_t>(rowBytes) * count);
            rows.RowsRedFirst(first, count, to, rowBytes);
            qvt.ImportPixelRows(first, count, rowBytes, to, layout.bitsPerPixel, redFirst,
                                SampleAlignment::Low);
            return;
        }
        std::ptrdiff_t pitch = 0;
        const std::uint8_t* bits = rows.Rows(first, count, pitch);
        qvt.ImportPixelRows(first, count, pitch, bits, layout.bitsPerPixel, nullptr,
                            SampleAlignment::Low);
    };
    std::uint32_t s = 0;
    if (everyThread) {
        FirstFailure failure;
        qvt.SetThreadCount(1);
#pragma omp parallel for schedule(dynamic, 1) num_threads(threads)
        for (std::int64_t t = 0; t < std::int64_t{strips} - 1; ++t) {
            try {
                importStrip(static_cast<std::uint32_t>(t) * strip,
                            buffers[static_cast<std::size_t>(omp_get_thread_num())]);
            } catch (...) {
                failure.Keep(t, std::current_exception());
            }
        }
        qvt.SetThreadCount(threads);
        failure.Rethrow();
        s = strips - 1;
    }
    for (; s < strips; ++s)
        importStrip(s * strip, buffers[0]);
}

} // namespace

void WriteQVTFile(RasterImage& image, const std::string& path, const QVTWriteOptions& options) {
    CQVTMyImage qvt;
    PrepareQVT(qvt, image, options);
    SaveQVT(qvt, path, options);
}

void WriteQVTFile(ImageRowSource& rows, const std::string& path, const QVTWriteOptions& options) {
    const ImageMode mode = rows.Mode();
    const ModeLayout* layout = FindModeLayout(mode);
    if (!IsQVTWritableMode(mode) || mode == ModeIndexed || !layout)
        throw ImageFileError(kNoSuitableFormat);
    CQVTMyImage qvt;
    qvt.SetThreadCount(options.threads);
    try {
        SetPixMapHeader(qvt, HeaderFor(mode, rows.Width(), rows.Height(), options),
                        VersionFlags(options), layout->bitsPerPixel, rows.MaxChannelValue(),
                        nullptr);
        ImportStrips(rows, qvt, *layout,
                     options.threads > 0 ? options.threads : omp_get_max_threads());
    } catch (const IOException& error) {
        ThrowCodeError(error.error);
    }
    SaveQVT(qvt, path, options);
}

void WriteQVTStream(RasterImage& image, CQVTStream& stream, const QVTWriteOptions& options) {
    CQVTImage qvt;
    PrepareQVT(qvt, image, options);
    try {
        qvt.Write(stream, nullptr, options.progress, options.progressData);
    } catch (const IOException& error) {
        ThrowCodeError(error.error);
    }
}
