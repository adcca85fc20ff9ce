// Makes a view's reduced copy on a worker thread, so that zooming out of a huge image never
// freezes the window: meanwhile the view draws a quick nearest-pixel stand-in. One copy is made
// at a time; a newer request cancels the older one.
#pragma once

#include <QImage>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class ScreenConverter;

class ReducedCopyBuilder {
public:
    // Called on the worker thread with the finished copy.
    using Done = std::function<void(QImage copy)>;

    ReducedCopyBuilder() = default;
    // Cancels the copy under way and waits for its thread.
    ~ReducedCopyBuilder();
    ReducedCopyBuilder(const ReducedCopyBuilder&) = delete;
    ReducedCopyBuilder& operator=(const ReducedCopyBuilder&) = delete;

    // Starts the copy of `source` at `zoom`, in the screen's colours when `converter` is given;
    // `keepAlive` holds the memory `source` wraps.
    void Start(QImage source, std::shared_ptr<const void> keepAlive, double zoom, Done done,
               std::shared_ptr<const ScreenConverter> converter = nullptr);
    void Cancel();
    // Whether the copy under way (or the last one) is for this source and zoom.
    bool Making(const void* source, double zoom) const {
        return source == source_ && zoom == zoom_;
    }

private:
    std::thread thread_;
    std::atomic<bool> cancel_{false};
    const void* source_ = nullptr;
    double zoom_ = 0;
};
