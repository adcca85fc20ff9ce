// The screen transforms in use, one per (image profile, sample format, screen profile, intent),
// made once and shared by every view and worker that draws with them.
#pragma once

#include "screen_transform.h"

#include <memory>
#include <mutex>
#include <vector>

class TransformCache {
public:
    // Transforms kept at most: the profiles of the images open at once are few, and a profile
    // that comes back after being dropped is linked again in a few milliseconds.
    static constexpr std::size_t kCapacity = 16;

    // The transform from `image` (sRGB when null) to `screen` (sRGB when null), made on first
    // use. Throws ProfileError when the profiles cannot be linked (a failure is not remembered).
    std::shared_ptr<const ScreenTransform> Get(std::shared_ptr<const IccProfile> image,
                                               SampleFormat format,
                                               std::shared_ptr<const IccProfile> screen,
                                               RenderingIntent intent);
    std::size_t Size() const;

private:
    struct Entry;
    // The entry for the key, or null; the mutex is held.
    Entry* Find(const IccProfile& image, SampleFormat format, const IccProfile& screen,
                RenderingIntent intent);

    struct Entry {
        std::shared_ptr<const IccProfile> image;
        std::shared_ptr<const IccProfile> screen;
        SampleFormat format;
        RenderingIntent intent;
        std::shared_ptr<const ScreenTransform> transform;
        std::uint64_t lastUse;
    };

    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    std::uint64_t uses_ = 0;
};
