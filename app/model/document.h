// The image document: the base of every raster document the program opens or creates. It holds
// the image as a display image (what views draw) plus, for modes a display image cannot hold, a
// pixel map with the full data; the optional channel image that shows one channel; the file's
// name, size and modified state; and the save options. Derived kinds say how their files are read.
#pragma once

#include "crop_geometry.h"
#include "job_runner.h"
#include "open_options.h"
#include "property_rows.h"
#include "raster_image.h"
#include "save_dispatch.h"
#include "view_math.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// The document kinds, in the order their templates are registered.
enum class DocumentKind { Bitmap, QVT, Anymap, KLDExt };

// What changed, passed to the views: bit 0 repaint, bit 1 the size may have changed (re-lay the
// view out), bit 2 a crop replaced the image.
enum DocumentHint : int {
    HintSaved = 0,
    HintContent = 1,
    HintSize = 3,
    HintCropped = 7,
};

class DocumentObserver {
public:
    virtual ~DocumentObserver() = default;
    virtual void DocumentChanged(int hint) = 0;
};

class CMyDoc {
public:
    virtual ~CMyDoc() = default;
    CMyDoc(const CMyDoc&) = delete;
    CMyDoc& operator=(const CMyDoc&) = delete;

    virtual DocumentKind Kind() const = 0;
    // Reads the file on a worker thread (no state of the document is touched): the image as
    // this kind holds it. Throws ImageFileError.
    virtual RasterImage ReadFile(const std::string& path, JobContext& context) = 0;
    // Whether Esc may stop reading this kind of file.
    virtual bool ReadStopsOnEscape() const { return false; }
    // Whether a file written through `target` is a file of this kind, so that the document can
    // go on with the new name (otherwise it is opened anew as the kind the file is).
    virtual bool HoldsSaveTarget(SaveTarget target) const = 0;

    // Takes the program-wide open options the file is opened with (UI thread, before
    // ReadFile); a later change of them never reaches an open document.
    virtual void TakeOpenOptions(const OpenOptions&) {}
    // Read and about to be shown (UI thread): false drops it, as the user declined.
    virtual bool ConfirmOpen(DesktopServices&) { return true; }
    // Work that goes on once the document is shown (reading finer levels), if any.
    virtual std::optional<Job> ContinuationJob() { return std::nullopt; }

    // Takes the image read for `path` (UI thread).
    void Adopt(RasterImage image, const std::string& path, std::uint64_t fileSize);

    // The size the views lay out; a reduced level read on the way is drawn stretched to it.
    virtual Size LayoutSize() const { return {Width(), Height()}; }
    // The level of its file the document is read to, for titles and commands; 0 = full size.
    virtual int ReducedLevel() const { return 0; }
    // Whether the document holds less than its file (a reduced level or a region of it), so that
    // saving over the file would lose the rest.
    virtual bool ShowsLessThanFile() const { return false; }

    // What the properties pane shows: the file, and the whole image as the region shown. Kinds
    // that know more about their file add it.
    virtual PropertyFacts Properties() const;

    bool HasImage() const { return image_->display != nullptr; }
    const RasterImage& Image() const { return *image_; }
    RasterImage& Image() { return *image_; }
    // The image shared with work that reads it off the UI thread: it stays alive for that work
    // even after the document has replaced it.
    std::shared_ptr<RasterImage> SharedImage() const { return image_; }
    // The pixel map's mode when there is one, else the display mode; 255 without an image.
    std::uint32_t Mode() const { return HasImage() ? image_->Mode() : ModeNotGiven; }
    std::uint32_t Width() const { return image_->Width(); }
    std::uint32_t Height() const { return image_->Height(); }
    // The ICC profile the image's samples are meant in; null when the file carried none.
    const std::shared_ptr<const IccProfile>& ColorProfile() const { return image_->profile; }

    const std::string& Path() const { return path_; }
    // The file name shown in titles ("Untitled" before the document has one).
    std::string Title() const;
    bool Modified() const { return modified_; }
    void SetModified(bool modified) { modified_ = modified; }
    std::uint64_t FileSize() const { return fileSize_; }
    // After a save that names the document after the new file.
    virtual void Rename(const std::string& path, std::uint64_t fileSize);

    SaveOptions& Options() { return saveOptions_; }

    // Channels: -1 shows all; otherwise the channel image holds the selected channel in gray.
    int ChannelCount() const;
    int SelectedChannel() const { return channel_; }
    char ChannelLetter() const;
    const CDisplayImage* ChannelImage() const { return channelImage_.get(); }
    std::shared_ptr<CDisplayImage> SharedChannelImage() const { return channelImage_; }
    // Selects a channel (or -1 for all); false, with the selection unchanged, when the channel
    // does not exist or its image cannot be made.
    bool SelectChannel(int channel);

    // The document's own rule for cropping (a kind showing a reduced version of its file has
    // nothing to crop); the view adds its own.
    virtual bool CanCrop() const { return HasImage(); }
    // Replaces the image by the rectangle (image pixels, inside the image, not empty). Throws
    // ImageFileError("Image creation failed.") with the document unchanged.
    void Crop(const ImageRect& rect);
    // Takes the image an image command made: all channels are shown again, the document is
    // modified and the views get `hint`.
    void TakeCommandResult(RasterImage image, int hint);

    void AddObserver(DocumentObserver* observer);
    void RemoveObserver(DocumentObserver* observer);
    int ObserverCount() const { return static_cast<int>(observers_.size()); }
    void UpdateAllViews(int hint);

protected:
    CMyDoc() = default;

private:
    // Every new image goes through here: a selected channel is shown from the new image, or the
    // selection ends when the new image has no such channel. A command's result (`fromCommand`)
    // keeps the old image's profile while its samples stay in the profile's colour model.
    void ReplaceImage(RasterImage image, bool fromCommand = true);
    bool BuildChannel(int channel);

    std::shared_ptr<RasterImage> image_ = std::make_shared<RasterImage>();
    std::shared_ptr<CDisplayImage> channelImage_;
    int channel_ = -1;
    std::string path_;
    std::uint64_t fileSize_ = 0;
    bool modified_ = false;
    SaveOptions saveOptions_;
    std::vector<DocumentObserver*> observers_;
};
