#include "transform_cache.h"

#include <algorithm>

TransformCache::Entry* TransformCache::Find(const IccProfile& image, SampleFormat format,
                                            const IccProfile& screen, RenderingIntent intent) {
    for (Entry& entry : entries_)
        if (entry.format == format && entry.intent == intent && entry.image->SameAs(image) &&
            entry.screen->SameAs(screen))
            return &entry;
    return nullptr;
}

std::shared_ptr<const ScreenTransform> TransformCache::Get(std::shared_ptr<const IccProfile> image,
                                                           SampleFormat format,
                                                           std::shared_ptr<const IccProfile> screen,
                                                           RenderingIntent intent) {
    if (!image) image = IccProfile::SRgb();
    if (!screen) screen = IccProfile::SRgb();
    {
        const std::lock_guard lock(mutex_);
        if (Entry* entry = Find(*image, format, *screen, intent)) {
            entry->lastUse = ++uses_;
            return entry->transform;
        }
    }
    // Linking takes milliseconds: other threads go on meanwhile; if two link the same pair, the
    // second result is not kept.
    auto transform = std::make_shared<const ScreenTransform>(*image, format, *screen, intent);
    const std::lock_guard lock(mutex_);
    if (const Entry* entry = Find(*image, format, *screen, intent)) return entry->transform;
    if (entries_.size() >= kCapacity)
        entries_.erase(
            std::min_element(entries_.begin(), entries_.end(),
                             [](const Entry& a, const Entry& b) { return a.lastUse < b.lastUse; }));
    entries_.push_back({std::move(image), std::move(screen), format, intent, transform, ++uses_});
    return transform;
}

std::size_t TransformCache::Size() const {
    const std::lock_guard lock(mutex_);
    return entries_.size();
}
