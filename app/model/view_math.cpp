#include "view_math.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

double RoundToZoomStep(double zoom) {
    if (!std::isfinite(zoom)) return zoom > 0 ? kMaxZoom : kMinZoom;
    double step = kMinZoom;
    for (const double candidate : kZoomSteps)
        if (candidate <= zoom) step = candidate;
    return step;
}

double ZoomIn(double zoom) {
    const double current = RoundToZoomStep(zoom);
    for (const double step : kZoomSteps)
        if (step > current) return step;
    return current;
}

double ZoomOut(double zoom) {
    const double current = RoundToZoomStep(zoom);
    double below = current;
    for (const double step : kZoomSteps)
        if (step < current) below = step;
    return below;
}

std::optional<double> ParseZoomText(std::string_view text) {
    const std::string copy(text);
    const char* begin = copy.c_str();
    char* end = nullptr;
    const double percent = std::strtod(begin, &end);
    if (end == begin || !std::isfinite(percent) || percent <= 0) return std::nullopt;
    return RoundToZoomStep(percent / 100);
}

std::string ZoomText(double zoom) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4g %%", zoom * 100);
    return text;
}

int WheelSteps::Add(int angleDelta) {
    if ((angleDelta > 0 && carried_ < 0) || (angleDelta < 0 && carried_ > 0)) carried_ = 0;
    carried_ += angleDelta;
    const int steps = carried_ / 120;
    carried_ -= steps * 120;
    return steps;
}

std::optional<double> FitZoom(Size image, Size client) {
    if (image.Empty() || client.Empty()) return std::nullopt;
    const double zoom = std::min(static_cast<double>(client.width) / image.width,
                                 static_cast<double>(client.height) / image.height);
    return RoundToZoomStep(zoom);
}

double ZoomForNewLayout(double zoom, Size before, Size after, Size client) {
    if (FitZoom(before, client) != zoom) return zoom;
    return FitZoom(after, client).value_or(zoom);
}

std::int64_t ZoomedLength(std::uint32_t length, double zoom) {
    return std::max<std::int64_t>(1, static_cast<std::int64_t>(length * zoom + 0.5));
}

Size ZoomedSize(Size image, double zoom) {
    return {ZoomedLength(static_cast<std::uint32_t>(image.width), zoom),
            ZoomedLength(static_cast<std::uint32_t>(image.height), zoom)};
}

std::int64_t ScrollMaximum(std::int64_t content, std::int64_t client) {
    return std::max<std::int64_t>(0, content - client);
}

Point ImageOrigin(Size drawn, Size client, Point scroll) {
    const auto axis = [](std::int64_t content, std::int64_t size, std::int64_t position) {
        return content < size ? (size - content) / 2 : -position;
    };
    return {axis(drawn.width, client.width, scroll.x), axis(drawn.height, client.height, scroll.y)};
}

std::int64_t ScrollAfterZoom(std::int64_t scroll, std::int64_t client, double oldZoom,
                             double newZoom, std::int64_t newContent) {
    if (newContent <= client || !(oldZoom > 0)) return 0;
    const double centre =
        (static_cast<double>(scroll) + static_cast<double>(client) / 2) * newZoom / oldZoom;
    const auto position = static_cast<std::int64_t>(centre) - client / 2;
    return std::clamp<std::int64_t>(position, 0, ScrollMaximum(newContent, client));
}

std::int64_t PanScroll(std::int64_t scroll, std::int64_t anchor, std::int64_t pointer,
                       std::int64_t maximum) {
    return std::clamp<std::int64_t>(scroll + anchor - pointer, 0, maximum);
}

std::optional<Point> ImagePixelAt(Point client, Point origin, Size image, double zoom) {
    if (image.Empty() || !(zoom > 0)) return std::nullopt;
    const Size drawn = ZoomedSize(image, zoom);
    const std::int64_t dx = client.x - origin.x;
    const std::int64_t dy = client.y - origin.y;
    if (dx < 0 || dy < 0 || dx >= drawn.width || dy >= drawn.height) return std::nullopt;
    const auto pixel = [zoom](std::int64_t offset, std::int64_t length) {
        return std::min(length - 1, static_cast<std::int64_t>(offset / zoom));
    };
    return Point{pixel(dx, image.width), pixel(dy, image.height)};
}

std::int64_t ScreenEdge(std::int64_t edge, std::uint32_t length, double zoom) {
    if (edge >= length) return ZoomedLength(length, zoom);
    if (edge <= 0) return 0;
    return std::min(ZoomedLength(length, zoom), static_cast<std::int64_t>(edge * zoom + 0.5));
}

std::int64_t ImageEdge(std::int64_t offset, std::uint32_t length, double zoom) {
    if (offset >= ZoomedLength(length, zoom)) return length;
    if (offset <= 0 || !(zoom > 0)) return 0;
    return std::min<std::int64_t>(length, static_cast<std::int64_t>(offset / zoom + 0.5));
}
