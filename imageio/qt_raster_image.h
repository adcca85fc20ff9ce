// Images between the program's form (a display image, and a pixel map for deeper modes) and
// Qt's QImage, both ways.
#pragma once

#include "raster_image.h"

#include <QImage>

// The mode a QImage comes as: 1 bit -> Bitmap (black pixels as set bits), 8-bit gray ramp ->
// Gray, other palettes -> Indexed, 16-bit gray -> Gray16, 16-bit-per-channel colour without
// alpha -> RGB48, colour with alpha -> ARGB, other colour -> RGB. Throws ImageFileError.
RasterImage RasterImageFromQImage(const QImage& image);

// The QImage format an image of `mode` comes as from QImageFromRaster: Bitmap -> Mono, Gray ->
// Grayscale8, Indexed -> Indexed8, ARGB -> ARGB32, Gray16 and Gray32 -> Grayscale16, RGB48,
// Lab48 and CMYK64 -> RGBX64, the other modes with pixel maps (CMYK, Lab, RGB, RGB12, RGB16) ->
// BGR888; Format_Invalid for a mode without pixel maps.
QImage::Format QImageFormatOfMode(std::uint32_t mode);

// The image as a QImage of the format QImageFormatOfMode names. Display-held modes and those
// shown in RGB hand their display image over without a copy; deep samples are stretched to the
// full 16-bit range. Throws ImageFileError.
QImage QImageFromRaster(RasterImage image);

// The deep samples of the image's pixel map, stretched to their full range, as a Grayscale16 QImage
// (Gray16, Gray32) or an RGBX64 one (the other deep modes). Throws ImageFileError.
QImage QImageFromDeepMap(const RasterImage& image);

// A QImage over the display image's memory (no copy), for Bitmap, Gray, Indexed, RGB and ARGB
// display images; a null image for others. The cleanup function, when given, runs when the last
// copy of the QImage goes.
QImage WrapDisplayImage(CDisplayImage& display, QImageCleanupFunction cleanup = nullptr,
                        void* cleanupInfo = nullptr);
