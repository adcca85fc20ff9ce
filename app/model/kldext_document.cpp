#include "kldext_document.h"

#include "anymap_strips.h"
#include "image_file.h"
#include "memory_budget.h"
#include "mode_layout.h"
#include "pixmap_factory.h"
#include "qvt_format.h"

#include <algorithm>

namespace {

constexpr const char* kReorganizeQuestion =
    "The file structure is not valid. Do you want to reorganize the file structure?";
constexpr const char* kIncompatibleDataImage =
    "The input image has an incompatible image mode. Change image mode or choose another input "
    "image.";
constexpr const char* kWritingContainer = "Writing image data...";
constexpr const char* kReadingContainer = "Reading image data...";
constexpr const char* kRepairing = "Repairing image data...";

// The region view's first region: from a quarter of the image, as large as a screen.
constexpr std::int64_t kFirstRegionSide = 1024;

// The pixels of `image` laid at (x, y) of the container.
std::unique_ptr<CPixMap> PlacedAt(RasterImage& image, std::uint32_t x, std::uint32_t y) {
    ImagePixels pixels(image);
    auto placed = AttachPixMap({x, y, x + pixels->Width(), y + pixels->Height()}, pixels->GetMode(),
                               pixels->GetBits(), pixels->Stride());
    if (!placed) throw ImageFileError(kImageCreationFailed);
    if (pixels->GetColorTable())
        std::copy_n(pixels->GetColorTable(), kColorTableSize, placed->AllocColorTable());
    return placed;
}

void CheckDataMode(const CPixMap& data, std::uint8_t mode) {
    if (data.GetMode() != mode && !data.CanConvertTo(static_cast<ImageMode>(mode)))
        throw ImageFileError(kIncompatibleDataImage);
}

// Writes a data image at the top-left corner. Binary graymaps and pixmaps are read a strip of
// whole tile rows at a time, so that an image larger than memory can fill a container; other
// files are read whole.
void WriteDataImage(CKLDExtImage& container, const std::string& path, JobContext& context) {
    if (KindOfPath(path) == ImageFileKind::Anymap)
        if (const auto reader = CAnymapStripReader::Open(path)) {
            const std::uint32_t tileHeight = container.TileHeight();
            const std::uint64_t rowBytes =
                RowBytes(FindModeLayout(reader->Mode())->bitsPerPixel, reader->Width());
            const auto rows = static_cast<std::uint32_t>(
                std::max<std::uint64_t>(1, kContainerStripBytes / rowBytes / tileHeight) *
                tileHeight);
            const std::uint32_t end = std::min(reader->Height(), container.Height());
            while (reader->NextRow() < end) {
                context.Report(static_cast<double>(reader->NextRow()) / end);
                std::unique_ptr<CPixMap> strip = reader->ReadStrip(rows);
                const std::uint32_t maximum = reader->MaxChannelValue();
                if (IsDeepMode(strip->GetMode()) && maximum < FullRangeMaximum(strip->GetMode()))
                    strip = StretchedToFullRange(*strip, maximum);
                CheckDataMode(*strip, container.Mode());
                container.WritePixMap(*strip, nullptr, nullptr);
            }
            return;
        }
    RasterImage data = ReadImageFile(path);
    const auto placed = PlacedAt(data, 0, 0);
    CheckDataMode(*placed, container.Mode());
    container.WritePixMap(*placed, context.Callback(), context.Data());
}

} // namespace

Size CKLDExtDoc::LayoutSize() const {
    if (overview_ || !container_.IsOpen()) return CMyDoc::LayoutSize();
    return {container_.Width(), container_.Height()};
}

PropertyFacts CKLDExtDoc::Properties() const {
    PropertyFacts facts = CMyDoc::Properties();
    if (!container_.IsOpen()) return facts;
    facts.fileOpen = true;
    // The region of interest is the whole container; the picture held is its preview.
    facts.region = {0, 0, container_.Width(), container_.Height()};
    if (overview_) facts.overview = Size{Width(), Height()};
    return facts;
}

RasterImage CKLDExtDoc::ReadFile(const std::string& path, JobContext& context) {
    needsReorganizing_ = !container_.OpenFile(path);
    return ReadPicture(context);
}

RasterImage CKLDExtDoc::CreateFile(const KLDExtFields& fields, const std::string& path,
                                   JobContext& context) {
    container_.CreateFile(path, HeaderFromFields(fields), fields.previewWidth,
                          fields.previewHeight);
    if (!fields.dataPath.empty()) WriteDataImage(container_, fields.dataPath, context);
    return ReadPicture(context);
}

RasterImage CKLDExtDoc::ReadPicture(JobContext& context) {
    if (overview_) {
        RasterImage preview = container_.PreviewImage();
        scales_ = PreviewScalesOf(container_.Width(), container_.Height(), preview.Width(),
                                  preview.Height());
        return preview;
    }
    if (loaded_.width == 0)
        loaded_ = {container_.Width() / 4, container_.Height() / 4, kFirstRegionSide,
                   kFirstRegionSide};
    return container_.LoadRegion(loaded_, 1, context.Callback(), context.Data());
}

bool CKLDExtDoc::ConfirmOpen(DesktopServices& services) {
    if (!needsReorganizing_) return true;
    reorganizeConfirmed_ = services.Ask(kReorganizeQuestion, false) == Answer::Yes;
    return reorganizeConfirmed_;
}

std::optional<Job> CKLDExtDoc::ContinuationJob() {
    if (!reorganizeConfirmed_) return std::nullopt;
    reorganizeConfirmed_ = false;
    return ReorganizeJob();
}

Rgb CKLDExtDoc::BackgroundColor() const {
    const auto& bgr = container_.Header().background;
    return {bgr[2], bgr[1], bgr[0]};
}

void CKLDExtDoc::TakePicture(RasterImage image, const ExportRect& loaded, double scale) {
    loaded_ = loaded;
    loadedScale_ = scale;
    stale_ = false;
    if (overview_)
        scales_ =
            PreviewScalesOf(container_.Width(), container_.Height(), image.Width(), image.Height());
    // A header change waiting to be saved (the background) stays pending.
    const bool modified = Modified();
    Adopt(std::move(image), Path(), FileSize());
    SetModified(modified);
    UpdateAllViews(HintSize);
}

Job CKLDExtDoc::RefreshingJob(const char* message, std::function<void(JobContext&)> change) {
    auto picture = std::make_shared<RasterImage>();
    Job job;
    job.message = message;
    job.work = [this, picture, loaded = loaded_, scale = loadedScale_,
                change = std::move(change)](JobContext& context) {
        change(context);
        *picture = overview_ ? container_.PreviewImage()
                             : container_.LoadRegion(loaded, scale, nullptr, nullptr);
    };
    job.done = [this, picture, loaded = loaded_, scale = loadedScale_](const JobResult& result) {
        if (result.status == JobStatus::Done) TakePicture(std::move(*picture), loaded, scale);
    };
    return job;
}

std::optional<Job> CKLDExtDoc::ImportJob(std::shared_ptr<RasterImage> image, std::int64_t x,
                                         std::int64_t y, DesktopServices& services) {
    const ExportRect region{x, y, image->Width(), image->Height()};
    if (!WrittenPart(region, container_.Width(), container_.Height())) {
        services.ShowStatus("Nothing was written: the region starts outside the image.");
        return std::nullopt;
    }
    return RefreshingJob(kWritingContainer, [this, image, x, y](JobContext& context) {
        const auto placed =
            PlacedAt(*image, static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y));
        container_.WritePixMap(*placed, context.Callback(), context.Data());
    });
}

Job CKLDExtDoc::CopyJob(const ExportRect& region, std::function<void(RasterImage)> copied) {
    auto copy = std::make_shared<RasterImage>();
    Job job;
    job.message = kReadingContainer;
    job.work = [this, region, copy](JobContext& context) {
        const auto part = CopiedPart(region, container_.Width(), container_.Height());
        if (!part) throw ImageFileError("The export region lies outside the image.");
        const std::uint64_t bytes =
            DocumentImageBytes(static_cast<std::uint32_t>(part->width),
                               static_cast<std::uint32_t>(part->height), container_.Mode());
        // The clipboard needs the image once more when another program takes it.
        if (!AllocationFits(2 * bytes, MemAvailable()))
            throw ImageFileError("The export region is too large to copy with the memory "
                                 "available. Choose a smaller region.");
        *copy = container_.LoadRegion(*part, 1, context.Callback(), context.Data());
    };
    job.done = [copy, copied = std::move(copied)](const JobResult& result) {
        if (result.status == JobStatus::Done) copied(std::move(*copy));
    };
    return job;
}

Job CKLDExtDoc::ExportJob(const ExportRect& region, const std::string& path) {
    Job job;
    job.message = kReadingContainer;
    job.work = [this, region, path](JobContext& context) {
        container_.ExportRegion(region, path, context.Callback(), context.Data());
    };
    return job;
}

Job CKLDExtDoc::LoadRegionJob(const ExportRect& region, double scale) {
    auto picture = std::make_shared<RasterImage>();
    const auto part = CopiedPart(region, container_.Width(), container_.Height())
                          .value_or(ExportRect{0, 0, 1, 1});
    Job job;
    job.message = kReadingContainer;
    job.work = [this, picture, part, scale](JobContext& context) {
        // A read with many tiles to decode shows the preview's picture of the region meanwhile.
        if (auto standIn = container_.StandIn(part, scale))
            context.Deliver(
                [this, part, scale, shown = std::make_shared<RasterImage>(std::move(*standIn))] {
                    TakePicture(std::move(*shown), part, scale);
                });
        *picture = container_.LoadRegion(part, scale, context.Callback(), context.Data());
    };
    job.done = [this, picture, part, scale](const JobResult& result) {
        if (result.status == JobStatus::Done) TakePicture(std::move(*picture), part, scale);
    };
    return job;
}

Job CKLDExtDoc::RepairJob() {
    return RefreshingJob(kRepairing, [this](JobContext& context) {
        container_.Repair(context.Callback(), context.Data());
    });
}

Job CKLDExtDoc::ReorganizeJob() {
    return RefreshingJob(kWritingContainer, [this](JobContext& context) {
        container_.ReorganizeInPlace(context.Callback(), context.Data());
    });
}

Job CKLDExtDoc::SaveCopyJob(const std::string& target) {
    Job job;
    job.message = kWritingContainer;
    job.work = [this, target](JobContext& context) {
        container_.ReorganizeTo(target, context.Callback(), context.Data());
    };
    return job;
}

Job CKLDExtDoc::SaveHeaderJob() {
    Job job;
    job.message = kWritingContainer;
    job.work = [this](JobContext&) { container_.SaveHeader(); };
    job.done = [this](const JobResult& result) {
        if (result.status != JobStatus::Done) return;
        SetModified(false);
        UpdateAllViews(HintSaved);
    };
    return job;
}

void CKLDExtDoc::ChangeBackground(Rgb color) {
    container_.SetBackground({color.blue, color.green, color.red});
    // The preview keeps its colours until it is rebuilt; a region is simply read again.
    stale_ = !overview_;
    SetModified(true);
    UpdateAllViews(HintContent);
}
