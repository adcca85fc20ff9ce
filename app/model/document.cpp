#include "document.h"

#include "memory_budget.h"
#include "mode_layout.h"
#include "qvt_format.h"

#include <algorithm>

void CMyDoc::Adopt(RasterImage image, const std::string& path, std::uint64_t fileSize) {
    ReplaceImage(std::move(image), false);
    path_ = path;
    fileSize_ = fileSize;
    modified_ = false;
}

std::string CMyDoc::Title() const {
    if (path_.empty()) return "Untitled";
    const auto slash = path_.find_last_of('/');
    return slash == std::string::npos ? path_ : path_.substr(slash + 1);
}

void CMyDoc::Rename(const std::string& path, std::uint64_t fileSize) {
    path_ = path;
    fileSize_ = fileSize;
}

// The channels of the modes a document can hold are those the codec stores.
int CMyDoc::ChannelCount() const { return ChannelsFromMode(static_cast<std::uint8_t>(Mode())); }

char CMyDoc::ChannelLetter() const {
    const ModeLayout* layout = FindModeLayout(Mode());
    if (channel_ < 0 || !layout || channel_ >= layout->channels) return ' ';
    return layout->letters[channel_];
}

bool CMyDoc::SelectChannel(int channel) {
    if (channel < 0) {
        channel_ = -1;
        channelImage_.reset();
        return true;
    }
    return BuildChannel(channel);
}

bool CMyDoc::BuildChannel(int channel) {
    if (!HasImage() || ChannelCount() < 2 || channel >= ChannelCount()) return false;
    try {
        EnsureMemoryFor(std::uint64_t{Width()} * Height());
        auto channelImage = CreateChannelImage(Width(), Height());
        if (!channelImage) return false;
        ImagePixels pixels(*image_);
        if (!BuildChannelImage(*pixels, channel, *channelImage)) return false;
        channelImage_ = std::move(channelImage);
        channel_ = channel;
        return true;
    } catch (const ImageFileError&) {
        return false;
    } catch (const IOException&) {
        return false;
    }
}

void CMyDoc::Crop(const ImageRect& rect) {
    if (!CanCrop()) return;
    const PixRect pixels{
        static_cast<std::uint32_t>(rect.left), static_cast<std::uint32_t>(rect.top),
        static_cast<std::uint32_t>(rect.right), static_cast<std::uint32_t>(rect.bottom)};
    EnsureMemoryFor(DocumentImageBytes(static_cast<std::uint32_t>(rect.Width()),
                                       static_cast<std::uint32_t>(rect.Height()), Mode()));
    TakeCommandResult(CropRasterImage(*image_, pixels), HintCropped);
}

void CMyDoc::TakeCommandResult(RasterImage image, int hint) {
    SelectChannel(-1);
    ReplaceImage(std::move(image));
    modified_ = true;
    UpdateAllViews(hint);
}

void CMyDoc::ReplaceImage(RasterImage image, bool fromCommand) {
    // A command keeps the colours' meaning while the samples stay in the profile's colour model
    // (a crop, a change of size or depth); in another model the profile no longer applies.
    if (fromCommand && !image.profile && image_->profile &&
        ProfileFitsMode(image_->profile->Space(), image.Mode()))
        image.profile = image_->profile;
    image_ = std::make_shared<RasterImage>(std::move(image));
    // A channel image of the old image would be drawn over the new one.
    if (channel_ >= 0 && !BuildChannel(channel_)) SelectChannel(-1);
}

void CMyDoc::AddObserver(DocumentObserver* observer) { observers_.push_back(observer); }

void CMyDoc::RemoveObserver(DocumentObserver* observer) { std::erase(observers_, observer); }

void CMyDoc::UpdateAllViews(int hint) {
    // A copy: an observer may go away while it is told.
    const std::vector<DocumentObserver*> observers = observers_;
    for (DocumentObserver* observer : observers)
        observer->DocumentChanged(hint);
}

PropertyFacts CMyDoc::Properties() const {
    PropertyFacts facts;
    facts.path = path_;
    facts.fileSize = fileSize_;
    facts.region = {0, 0, Width(), Height()};
    return facts;
}
