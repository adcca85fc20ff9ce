// A progress bar on the terminal for the codec's progress callback; silent when standard error
// is not a terminal, so scripts and logs get no control characters.
#pragma once

#include "progress.h"

#include <string>

class TerminalProgress {
public:
    explicit TerminalProgress(std::string label);
    ~TerminalProgress();
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    // For the codec's progress parameters: Callback() with this object as the data.
    ProgressCallback Callback() const { return enabled_ ? &Report : nullptr; }
    void* Data() { return this; }

private:
    static bool Report(double fraction, bool escapeAllowed, void* data);
    void Draw(double fraction);

    std::string label_;
    bool enabled_;
    int shown_ = -1; // the percentage on screen
};
