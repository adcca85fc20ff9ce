// The arithmetic of the image view, free of widgets so that every rule is a table test: zoom
// steps, the zoom box, wheel steps, the fitting zoom, where the image lies on screen, scrolling
// and the mapping between screen and image pixels. Screen values are device pixels: at 100 % one
// image pixel covers one device pixel whatever the screen's scale factor.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

inline constexpr std::array<double, 10> kZoomSteps = {0.125, 0.25, 0.5, 0.75, 1, 2, 4, 8, 16, 32};
inline constexpr double kMinZoom = kZoomSteps.front();
inline constexpr double kMaxZoom = kZoomSteps.back();

// The largest step not above `zoom`; the smallest step for anything below it, zero, negative or
// not finite, so a view never holds a zoom that divides by zero.
double RoundToZoomStep(double zoom);
// The next step up or down; the zoom itself at the end of the range.
double ZoomIn(double zoom);
double ZoomOut(double zoom);

// The zoom a text typed into the zoom box asks for ("300", "12.5 %"), rounded down to a step;
// nothing for text that does not start with a finite number above 0.
std::optional<double> ParseZoomText(std::string_view text);
// The zoom box's text for a zoom: "12.5 %", "100 %".
std::string ZoomText(double zoom);

// Wheel rotation turned into whole zoom steps: every 120 units is one step and the rest is
// carried to the next event, so that fine wheels and touchpads sending small deltas move one step
// per notch, not one per event. A change of direction drops the carried rest.
class WheelSteps {
public:
    // Whole steps with the sign of the rotation (positive away from the user).
    int Add(int angleDelta);

private:
    int carried_ = 0;
};

struct Size {
    std::int64_t width = 0;
    std::int64_t height = 0;
    bool Empty() const { return width <= 0 || height <= 0; }
    friend bool operator==(const Size&, const Size&) = default;
};

struct Point {
    std::int64_t x = 0;
    std::int64_t y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// The zoom at which the whole image fits the client, as a step (at most 32 times); nothing while
// the client or the image is empty, so the caller waits for a real size.
std::optional<double> FitZoom(Size image, Size client);

// The zoom once the image laid out changed its size (a finer level arrived): a view that showed
// the old size at its fitting zoom fits the new size; any other zoom stays.
double ZoomForNewLayout(double zoom, Size before, Size after, Size client);

// One image side on screen at a zoom: never below one pixel. The drawn image and the scroll
// extent both use it, so the last column can always be scrolled into view.
std::int64_t ZoomedLength(std::uint32_t length, double zoom);
Size ZoomedSize(Size image, double zoom);

// The largest scroll position on one axis (0 when the content fits).
std::int64_t ScrollMaximum(std::int64_t content, std::int64_t client);

// Where the image's top-left pixel lies in the client: centred on an axis where it fits, else
// shifted by the scroll position.
Point ImageOrigin(Size drawn, Size client, Point scroll);

// The scroll position on one axis after a zoom change that keeps the client's centre on the same
// image point, limited to the new range.
std::int64_t ScrollAfterZoom(std::int64_t scroll, std::int64_t client, double oldZoom,
                             double newZoom, std::int64_t newContent);

// The scroll position after a pan step from `anchor` to `pointer`, limited to the range.
std::int64_t PanScroll(std::int64_t scroll, std::int64_t anchor, std::int64_t pointer,
                       std::int64_t maximum);

// The image pixel under a client point, when the point lies on the image.
std::optional<Point> ImagePixelAt(Point client, Point origin, Size image, double zoom);

// An image edge (0 ... length) on screen, relative to the image origin; the far edge lands
// exactly on the drawn length.
std::int64_t ScreenEdge(std::int64_t edge, std::uint32_t length, double zoom);
// The image edge nearest to a screen offset from the image origin, limited to 0 ... length; the
// drawn length maps exactly to the far edge.
std::int64_t ImageEdge(std::int64_t offset, std::uint32_t length, double zoom);
