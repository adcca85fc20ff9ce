#include "progress_bar.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kBarWidth = 40;

} // namespace

TerminalProgress::TerminalProgress(std::string label)
    : label_(std::move(label)), enabled_(::isatty(STDERR_FILENO) == 1) {}

TerminalProgress::~TerminalProgress() {
    if (enabled_ && shown_ >= 0) std::fputs("\r\033[K", stderr);
}

bool TerminalProgress::Report(double fraction, bool, void* data) {
    static_cast<TerminalProgress*>(data)->Draw(fraction);
    return false; // Ctrl+C ends the program; nothing to cancel from here
}

void TerminalProgress::Draw(double fraction) {
    const int percent = static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 100);
    if (percent == shown_) return;
    shown_ = percent;
    const int filled = percent * kBarWidth / 100;
    std::fprintf(stderr, "\r%s [%.*s%*s] %3d%%", label_.c_str(), filled,
                 "########################################", kBarWidth - filled, "", percent);
    std::fflush(stderr);
}
