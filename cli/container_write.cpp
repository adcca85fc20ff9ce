#include "container_write.h"

#include "anymap_strips.h"
#include "cli_files.h"
#include "file_failure.h"
#include "pixmap_factory.h"
#include "qvt_error.h"
#include "qvt_format.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr const char* kIncompatibleMode = "The input image has an incompatible image mode. "
                                          "Change image mode or choose another input image.";

// The rows of an image in order, a strip at a time.
class StripSource {
public:
    virtual ~StripSource() = default;
    virtual std::uint32_t Width() const = 0;
    virtual std::uint32_t Height() const = 0;
    virtual std::uint32_t MaxChannelValue() const = 0;
    // The next `rows` rows, as a map in the image's coordinates.
    virtual std::unique_ptr<CPixMap> Next(std::uint32_t rows) = 0;
    virtual bool Incomplete() const = 0;
};

class AnymapStrips final : public StripSource {
public:
    explicit AnymapStrips(std::unique_ptr<CAnymapStripReader> reader)
        : reader_(std::move(reader)) {}
    std::uint32_t Width() const override { return reader_->Width(); }
    std::uint32_t Height() const override { return reader_->Height(); }
    std::uint32_t MaxChannelValue() const override { return reader_->MaxChannelValue(); }
    std::unique_ptr<CPixMap> Next(std::uint32_t rows) override { return reader_->ReadStrip(rows); }
    bool Incomplete() const override { return reader_->Incomplete(); }

private:
    std::unique_ptr<CAnymapStripReader> reader_;
};

// An image read whole, handed out as maps over its own rows.
class WholeImageStrips final : public StripSource {
public:
    explicit WholeImageStrips(RasterImage image) : image_(std::move(image)), pixels_(image_) {}
    std::uint32_t Width() const override { return pixels_->Width(); }
    std::uint32_t Height() const override { return pixels_->Height(); }
    std::uint32_t MaxChannelValue() const override { return image_.maxChannelValue; }
    bool Incomplete() const override { return image_.incomplete; }

    std::unique_ptr<CPixMap> Next(std::uint32_t rows) override {
        const CPixMap& whole = *pixels_;
        auto strip = AttachPixMap({0, next_, whole.Width(), next_ + rows}, whole.GetMode(),
                                  const_cast<std::uint8_t*>(whole.Row(next_)), whole.Stride());
        if (!strip) throw ImageFileError(kImageCreationFailed);
        if (whole.GetColorTable())
            std::memcpy(strip->AllocColorTable(), whole.GetColorTable(), kColorTableSize);
        next_ += rows;
        return strip;
    }

private:
    RasterImage image_;
    ImagePixels pixels_;
    std::uint32_t next_ = 0;
};

std::unique_ptr<StripSource> OpenSource(const std::string& path, const ImageReadOptions& options) {
    if (KindOfPath(path) == ImageFileKind::Anymap)
        if (auto reader = ConcerningFile(path, [&] { return CAnymapStripReader::Open(path); }))
            return std::make_unique<AnymapStrips>(std::move(reader));
    return std::make_unique<WholeImageStrips>(Load(path, options));
}

// The strip in the container's mode, deep samples stretched to their full range first; the
// strip itself when it needs neither.
std::unique_ptr<CPixMap> InContainerMode(std::unique_ptr<CPixMap> strip, std::uint32_t maximum,
                                         ImageMode mode) {
    try {
        const ImageMode from = strip->GetMode();
        if (IsDeepMode(from) && maximum != 0 && maximum < FullRangeMaximum(from))
            strip = StretchedToFullRange(*strip, maximum);
        if (from == mode) return strip;
        if (!strip->CanConvertTo(mode)) throw ImageFileError(kIncompatibleMode);
        auto converted = CreatePixMap(strip->Rect(), mode);
        if (!converted) throw ImageFileError(kImageCreationFailed);
        strip->ConvertTo(*converted);
        return converted;
    } catch (const IOException&) {
        throw ImageFileError(kImageCreationFailed);
    }
}

// Reports a part of the work: a fraction of one strip as a fraction of all of them.
struct StripProgress {
    TerminalProgress& bar;
    double done;
    double share;

    static bool Report(double fraction, bool escapeAllowed, void* data) {
        auto& self = *static_cast<StripProgress*>(data);
        return self.bar.Callback()(self.done + self.share * fraction, escapeAllowed,
                                   self.bar.Data());
    }
};

} // namespace

void WriteIntoContainer(CKLDExt& container, const std::string& path,
                        const ImageReadOptions& options, std::uint32_t x, std::uint32_t y,
                        const ContainerWriteSettings& settings, TerminalProgress& progress) {
    const std::unique_ptr<StripSource> source = OpenSource(path, options);
    const std::uint32_t tileHeight = container.TileHeight();
    // The last tile row absorbs the rest of the height.
    const std::uint32_t lastRowTop = (container.TileRows() - 1) * tileHeight;
    const std::uint64_t tileRowBytes =
        (std::uint64_t{source->Width()} * container.Header().bitsPerPixel + 7) / 8 * tileHeight;
    const auto rowsPerStrip = static_cast<std::uint32_t>(
        std::clamp<std::uint64_t>(settings.stripBytes / tileRowBytes, 1, container.TileRows()));
    const std::uint32_t end = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(std::uint64_t{y} + source->Height(), container.Height()));
    const std::uint32_t width = std::min(source->Width(), container.Width() - x);
    const auto mode = static_cast<ImageMode>(container.Mode());
    for (std::uint32_t top = y; top < end;) {
        // Strips end on tile rows, so every tile is coded once.
        const std::uint64_t boundary =
            (std::uint64_t{top / tileHeight} + rowsPerStrip) * tileHeight;
        const auto bottom = static_cast<std::uint32_t>(
            boundary > lastRowTop ? end : std::min<std::uint64_t>(boundary, end));
        // Failures up to the write concern the image; those of the write, the container.
        const std::unique_ptr<CPixMap> strip = ConcerningFile(path, [&] {
            return InContainerMode(source->Next(bottom - top), source->MaxChannelValue(), mode);
        });
        // The same rows, placed where they go in the container.
        const auto placed =
            AttachPixMap({x, top, x + width, bottom}, mode, strip->GetBits(), strip->Stride());
        if (!placed) throw ImageFileError(kImageCreationFailed);
        if (strip->GetColorTable())
            std::memcpy(placed->AllocColorTable(), strip->GetColorTable(), kColorTableSize);
        StripProgress part{progress, static_cast<double>(top - y) / (end - y),
                           static_cast<double>(bottom - top) / (end - y)};
        container.WriteRegion(*placed, settings.quality, 0, 0, settings.codecKind,
                              progress.Callback() ? &StripProgress::Report : nullptr, &part);
        top = bottom;
    }
    if (source->Incomplete()) WarnAbout(path, kIncompleteImage);
}
