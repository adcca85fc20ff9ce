// The save dialog's option panel as data: what its controls say and which apply to the file type
// chosen. One check box serves two formats: "Compute Levels" for the codec's files (QVT and
// containers) and "Binary" for the anymaps.
#pragma once

#include "desktop_services.h"

#include <string>

inline constexpr int kQualityMaximum = 31;
inline constexpr int kLevelsMinimum = 1;
inline constexpr int kLevelsMaximum = 30;

struct SaveDialogControls {
    std::string checkLabel = "Compute Levels";
    bool check = false;
    bool quality = false;
    bool levels = false; // only while the codec is not asked to choose the count
    bool region = false;
    friend bool operator==(const SaveDialogControls&, const SaveDialogControls&) = default;
};

SaveDialogControls SaveControlsFor(const FileFilter& type, const SaveOptions& options);
