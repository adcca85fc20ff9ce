// The crop tracker's geometry: the crop rectangle is kept in image pixels and drawn from them,
// so it follows the image through every zoom and scroll; dragging works on image pixels too and
// is limited to the image.
#pragma once

#include "view_math.h"

#include <string>

struct ImageRect {
    std::int64_t left = 0;
    std::int64_t top = 0;
    std::int64_t right = 0;
    std::int64_t bottom = 0;
    std::int64_t Width() const { return right - left; }
    std::int64_t Height() const { return bottom - top; }
    friend bool operator==(const ImageRect&, const ImageRect&) = default;
};

// What a press on the tracker grabs: one of the eight handles, the inside (move), or nothing.
enum class CropHandle {
    None,
    Move,
    TopLeft,
    Top,
    TopRight,
    Right,
    BottomRight,
    Bottom,
    BottomLeft,
    Left
};

// The crop rectangle on screen (client pixels), from its image pixels.
ImageRect CropOnScreen(const ImageRect& crop, Point origin, Size image, double zoom);

// The handle under a client point; handles are squares of `handleSize` pixels outside the
// rectangle's corners and edge middles.
CropHandle HitCropHandle(const ImageRect& screen, Point point, std::int64_t handleSize);

// The crop after dragging `handle` by a pointer movement of (dx, dy) client pixels from where
// the drag began with `start`. Edges stay inside the image and may cross each other (the
// rectangle is then empty or inverted until fixed); a move keeps the size and stays inside.
ImageRect DragCrop(const ImageRect& start, CropHandle handle, std::int64_t dx, std::int64_t dy,
                   Size image, double zoom);

// Whether a crop changes the image: an empty or inverted rectangle cannot be applied, and the
// whole image leaves the image as it is.
enum class CropCheck { Apply, WholeImage, Empty };
CropCheck CheckCrop(const ImageRect& crop, Size image);
