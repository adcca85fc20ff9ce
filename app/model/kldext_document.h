// Container documents. A container is far too large to be held whole, so the document holds
// either its preview (shown by the overview, where images are written into the container) or one
// region of the full image (shown by the region view, reloaded as the view moves); which one
// follows the "Overview" open option at the time the file is opened. All work on the container
// runs as the document's jobs, on a worker, with the document busy meanwhile: nothing else
// touches the container while a job runs.
#pragma once

#include "desktop_services.h"
#include "document.h"
#include "kldext_image.h"
#include "kldext_rules.h"

#include <functional>
#include <memory>

class CKLDExtDoc : public CMyDoc {
public:
    DocumentKind Kind() const override { return DocumentKind::KLDExt; }
    void TakeOpenOptions(const OpenOptions& options) override { overview_ = options.overview; }
    RasterImage ReadFile(const std::string& path, JobContext& context) override;
    // Containers are written by their own rules (SaveContainer), never through image writers.
    bool HoldsSaveTarget(SaveTarget) const override { return false; }
    bool ConfirmOpen(DesktopServices& services) override;
    std::optional<Job> ContinuationJob() override;
    bool CanCrop() const override { return false; }
    bool ShowsLessThanFile() const override { return true; }
    // The overview lays out the preview; the region view the whole image.
    Size LayoutSize() const override;
    PropertyFacts Properties() const override;

    // Worker: makes the container `fields` describe at `path`, writes the data image into it
    // and reads the first picture. The file stays when a later step fails.
    RasterImage CreateFile(const KLDExtFields& fields, const std::string& path,
                           JobContext& context);

    bool Overview() const { return overview_; }
    bool ReadOnly() const { return container_.ReadOnly(); }
    std::uint32_t ImageWidth() const { return container_.Width(); }
    std::uint32_t ImageHeight() const { return container_.Height(); }
    // Image pixels per preview pixel, per axis, of the preview shown.
    PreviewScales Scales() const { return scales_; }
    // The region the image shows (region view) in image pixels.
    const ExportRect& Loaded() const { return loaded_; }
    // The scale it was read at (1 = full resolution).
    double LoadedScale() const { return loadedScale_; }
    // Whether that region is to be read again: tiles never written changed colour.
    bool Stale() const { return stale_; }
    Rgb BackgroundColor() const;
    // Whether `path` names the document's own file.
    bool IsOwnFile(const std::string& path) const { return container_.IsOwnFile(path); }

    // Writes `image` with its top-left corner at (x, y); nothing when the region starts outside
    // the image (see WrittenPart), which the status bar says.
    std::optional<Job> ImportJob(std::shared_ptr<RasterImage> image, std::int64_t x, std::int64_t y,
                                 DesktopServices& services);
    // Reads the region at full resolution for a copy; too large for memory is refused.
    Job CopyJob(const ExportRect& region, std::function<void(RasterImage)> copied);
    // Writes the region at full resolution to an anymap file, a strip at a time.
    Job ExportJob(const ExportRect& region, const std::string& path);
    Job LoadRegionJob(const ExportRect& region, double scale);
    Job RepairJob();
    // Replaces the file by a compacted copy (an older file structure).
    Job ReorganizeJob();
    Job SaveCopyJob(const std::string& target);
    Job SaveHeaderJob();
    void ChangeBackground(Rgb color);

private:
    // Worker: the picture the document shows after a change.
    RasterImage ReadPicture(JobContext& context);
    // UI thread: takes the picture read by a job.
    void TakePicture(RasterImage image, const ExportRect& loaded, double scale);
    // A job that changes the container and then shows it again.
    Job RefreshingJob(const char* message, std::function<void(JobContext&)> change);

    CKLDExtImage container_;
    bool overview_ = true;
    bool needsReorganizing_ = false;
    bool reorganizeConfirmed_ = false;
    PreviewScales scales_;
    ExportRect loaded_;
    double loadedScale_ = 1;
    bool stale_ = false;
};
