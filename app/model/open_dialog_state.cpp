#include "open_dialog_state.h"

#include "safe_save.h"
#include "text_case.h"

#include <algorithm>
#include <limits>
#include <sys/stat.h>

SelectedFile SelectedFileOf(const std::string& path) {
    struct stat status {};
    if (path.empty() || ::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return SelectedFile::None;
    const std::string extension = LowerCase(FileExtension(path));
    if (extension == "qvt") return SelectedFile::QVT;
    if (extension == "kle") return SelectedFile::Container;
    return SelectedFile::Other;
}

DialogRect DialogRectOf(const OpenOptions& options) {
    const auto length = [](std::uint32_t start, std::uint32_t end) {
        return end > start ? end - start : 0;
    };
    return {options.regionLeft, options.regionTop, length(options.regionLeft, options.regionRight),
            length(options.regionTop, options.regionBottom)};
}

void SetDialogRect(OpenOptions& options, const DialogRect& rect) {
    const auto end = [](std::uint32_t start, std::uint32_t length) {
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(
            std::uint64_t{start} + length, std::numeric_limits<std::uint32_t>::max()));
    };
    options.regionLeft = rect.left;
    options.regionTop = rect.top;
    options.regionRight = end(rect.left, rect.width);
    options.regionBottom = end(rect.top, rect.height);
}

OpenDialogState::OpenDialogState(const OpenOptions& options)
    : options_(options), progressiveBeforeThumbnail_(options.progressive) {
    if (options_.thumbnail) options_.progressive = false;
}

void OpenDialogState::SetThumbnail(bool on) {
    if (on == options_.thumbnail) return;
    options_.thumbnail = on;
    if (on) {
        progressiveBeforeThumbnail_ = options_.progressive;
        options_.progressive = false;
    } else {
        options_.progressive = progressiveBeforeThumbnail_;
    }
}

void OpenDialogState::SelectFile(SelectedFile file) {
    file_ = file;
    regionSupport_ = false;
    levelMaximum_ = kLevelMaximum;
}

void OpenDialogState::HeadRead(int levels, bool regionSupport) {
    regionSupport_ = regionSupport;
    levelMaximum_ = std::max(0, levels - 1);
}

OpenDialogControls OpenDialogState::Controls() const {
    OpenDialogControls controls;
    switch (file_) {
    case SelectedFile::None:
    case SelectedFile::QVT:
        controls.progressive = controls.thumbnail = controls.level = controls.region = true;
        // Before a file is chosen the rectangle can be set for the files to come.
        controls.regionEdits = file_ == SelectedFile::None || regionSupport_;
        break;
    case SelectedFile::Container:
        controls.overview = true;
        break;
    case SelectedFile::Other:
        break;
    }
    if (options_.thumbnail) controls.progressive = controls.level = false;
    return controls;
}
