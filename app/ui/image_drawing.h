// How a view draws its image. Below 100 % it draws an area-averaged copy of the whole image at
// the zoom, made once per zoom and image and then drawn 1:1 (scaling while drawing would drop
// one-pixel lines at strong reductions); the copy is made in strips on every processor, each
// strip wrapped without a copy, so the image is never converted whole. At 100 % and above only
// the source pixels under the exposed area are replicated.
#pragma once

#include "view_math.h"

#include <QImage>

#include <atomic>

class QPainter;
class ScreenConverter;

// The copy at `zoom` (< 1), of the size the view's size function gives; ARGB32 premultiplied for
// images with alpha, RGB32 otherwise. Each strip is converted to the screen's colours by
// `converter`, when there is one, before it is reduced. A null image when it cannot be made or
// `cancel` was set (it is read between strips).
QImage BuildReducedCopy(const QImage& source, double zoom,
                        const std::atomic<bool>* cancel = nullptr,
                        const ScreenConverter* converter = nullptr);

// A quick stand-in for the reduced copy while it is made: the source pixel nearest to each
// device pixel of `area`, as an RGB32 (or premultiplied ARGB32) image of the area's size.
QImage SampleNearest(const QImage& source, const QRect& area, Point origin, double zoom);

// Draws the part `area` (device pixels, inside the drawn image) of an image whose top-left pixel
// lies at `origin`: below 100 % from `reduced`, the copy for `zoom`, 1:1; at 100 % and above by
// replicating just the source pixels under the area, converted by `converter` when there is one
// (through its tiles, so that a repaint converts only what was not shown before).
void DrawImageArea(QPainter& painter, const QImage& source, const QImage& reduced,
                   const QRect& area, Point origin, double zoom,
                   const ScreenConverter* converter = nullptr);

// The part of `image` in `rect` without a copy (Mono images from the byte holding the rect's
// left edge: the returned image starts at x rounded down to a multiple of 8). Valid while `image`
// lives.
QImage ImagePart(const QImage& image, const QRect& rect, int* leftOut);

// The rectangle tracker of the crop and of the container's export region: a border with eight
// square handles outside it (`handle` device pixels), or, for a region of fixed size that
// cannot be resized, a solid border with a hatched inside and no handles.
enum class TrackerStyle { Handles, FixedSize };
void PaintTracker(QPainter& painter, const QRect& screen, int handle, double lineWidth,
                  TrackerStyle style);
