// How long work reports progress and takes the stop request: the percentage shown, and the Esc
// key turned into a stop only where the work allows one.
#pragma once

#include <atomic>

// The status bar's messages while files are read and written.
inline constexpr const char* kReadingStoppable = "Reading image data... Press Esc to stop.";
inline constexpr const char* kReading = "Reading image data...";
inline constexpr const char* kWritingStoppable = "Writing image data... Press Esc to stop.";
inline constexpr const char* kWriting = "Writing image data...";

// The integer part of fraction × 100 + 0.5, limited to 0 ... 100 (0.996 shows 100).
int ProgressPercent(double fraction);

// The stop request between the UI thread, which records Esc presses, and the worker's progress
// callback. Each call of the callback takes at most one pending press: it stops the work when
// stopping is allowed there, and is used up without effect where it is not (a container write
// runs to its end whatever keys are pressed meanwhile).
class StopRequest {
public:
    void PressEscape() { pending_.store(true); }
    // The progress callback's answer: true to stop.
    bool Take(bool escapeAllowed) { return pending_.exchange(false) && escapeAllowed; }

private:
    std::atomic<bool> pending_{false};
};
