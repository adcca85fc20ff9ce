// The open dialog's option panel as data: the options it edits, which of its controls apply to
// the file under the cursor, the thumbnail switch that takes progressive loading with it, and
// the region shown as left, top, width and height. The dialog shows this state and feeds the
// user's changes back into it.
#pragma once

#include "open_options.h"

#include <cstdint>
#include <string>

// The file under the cursor, by its name: a QVT file, a container, another file, or nothing
// (no selection, a folder, a name that does not exist).
enum class SelectedFile { None, QVT, Container, Other };

SelectedFile SelectedFileOf(const std::string& path);

struct OpenDialogControls {
    bool progressive = false;
    bool overview = false;
    bool thumbnail = false;
    bool level = false; // the level label and spin
    bool region = false;
    bool regionEdits = false;
    friend bool operator==(const OpenDialogControls&, const OpenDialogControls&) = default;
};

// The region as the dialog shows it.
struct DialogRect {
    std::uint32_t left = 0;
    std::uint32_t top = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    friend bool operator==(const DialogRect&, const DialogRect&) = default;
};

// Width and height from the options' right and bottom edges (0 where an edge lies before its
// start), and back (an edge that would pass the largest value stops there).
DialogRect DialogRectOf(const OpenOptions& options);
void SetDialogRect(OpenOptions& options, const DialogRect& rect);

class OpenDialogState {
public:
    // The level spin's range before a file says how many levels it has.
    static constexpr int kLevelMaximum = 29;

    explicit OpenDialogState(const OpenOptions& options);

    // The options as edited; progressive, overview, level, region and its rectangle are set
    // straight by their controls.
    const OpenOptions& Options() const { return options_; }
    OpenOptions& Options() { return options_; }
    // A thumbnail is the coarsest level alone: progressive loading is switched off with it
    // and given back its earlier state when the thumbnail is switched off again.
    void SetThumbnail(bool on);

    // The selection changed; for a QVT file HeadRead follows when its head has been read.
    void SelectFile(SelectedFile file);
    void HeadRead(int levels, bool regionSupport);

    OpenDialogControls Controls() const;
    int LevelMaximum() const { return levelMaximum_; }

private:
    OpenOptions options_;
    bool progressiveBeforeThumbnail_;
    SelectedFile file_ = SelectedFile::None;
    bool regionSupport_ = false;
    int levelMaximum_ = kLevelMaximum;
};
