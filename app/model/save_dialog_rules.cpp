#include "save_dialog_rules.h"

#include "text_case.h"

#include <algorithm>

namespace {

bool HasPattern(const FileFilter& type, std::initializer_list<const char*> patterns) {
    return std::any_of(type.patterns.begin(), type.patterns.end(), [&](const std::string& own) {
        return std::any_of(patterns.begin(), patterns.end(),
                           [&](const char* pattern) { return UpperCase(own) == pattern; });
    });
}

} // namespace

SaveDialogControls SaveControlsFor(const FileFilter& type, const SaveOptions& options) {
    SaveDialogControls controls;
    if (HasPattern(type, {"*.QVT", "*.KLE"})) {
        controls.check = controls.quality = controls.region = true;
        controls.levels = !options.checkBox;
    } else if (HasPattern(type, {"*.PBM", "*.PGM", "*.PPM", "*.PNM"})) {
        controls.checkLabel = "Binary";
        controls.check = true;
    }
    return controls;
}
