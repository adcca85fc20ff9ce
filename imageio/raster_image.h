// An image as a document holds it: the display image that views draw and, for modes that a
// display image cannot hold exactly, a pixel map with the full data, plus the maximum channel
// value that deep samples are measured against.
#pragma once

#include "display_image.h"
#include "icc_profile.h"
#include "pix_map.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

// A failure of an image-file operation, carrying the text the user is shown.
class ImageFileError : public std::runtime_error {
public:
    explicit ImageFileError(const std::string& message, std::uint32_t code = 0)
        : std::runtime_error(message), code_(code) {}
    // The codec or errno code behind the message, 0 for the file formats' own messages.
    std::uint32_t Code() const { return code_; }

private:
    std::uint32_t code_;
};

inline constexpr const char* kCannotReadHeader = "Cannot read image header.";
inline constexpr const char* kImageCreationFailed = "Image creation failed.";
inline constexpr const char* kNoSuitableFormat =
    "Cannot save image.\nThere is no suitable image format.";
// The warning every caller gives for an image read with `incomplete` set.
inline constexpr const char* kIncompleteImage =
    "The file ends before its image data; the missing samples are 0.";
inline constexpr const char* kDroppedProfile =
    "The image's colour profile is damaged and was ignored.";

// Throws ImageFileError with the text of an errno value or codec code.
[[noreturn]] void ThrowCodeError(std::uint32_t code);

struct RasterImage {
    std::unique_ptr<CDisplayImage> display;
    // Present for the modes a display image cannot hold (Gray16, RGB48, CMYK, Lab, ...). Samples of
    // 16- and 32-bit channels hold their value itself, 0 ... maxChannelValue.
    std::unique_ptr<CPixMap> pixMap;
    // Largest sample value of a deep image (the anymap maxval); 0 when none is known.
    std::uint32_t maxChannelValue = 0;
    // Set when the file ended before its raster did; the missing samples are 0. Callers warn
    // with kIncompleteImage. (Data that is wrong rather than missing throws instead.)
    bool incomplete = false;
    // The ICC profile the samples are meant in, as the file carried it; null when it carried
    // none (the samples are then taken as sRGB). Shared: copies of the image keep the same one.
    std::shared_ptr<const IccProfile> profile;
    // Set when the file carried a profile that cannot be used: it was left out. Callers say so
    // with kDroppedProfile.
    bool profileDropped = false;

    // The pixel map's mode when there is one, else the display mode.
    ImageMode Mode() const;
    std::uint32_t Width() const { return display ? display->Width() : 0; }
    std::uint32_t Height() const { return display ? display->Height() : 0; }
};

// Whether a profile of the space describes samples of the mode: RGB profiles the colour modes
// (and bitmaps), gray profiles the gray modes (and bitmaps), CMYK and L*a*b* profiles their own.
bool ProfileFitsMode(ProfileSpace space, std::uint32_t mode);

// True for the modes a display image holds exactly: Bitmap, Gray, Indexed, RGB and ARGB.
bool IsDisplayHeldMode(std::uint32_t mode);
// True for the modes whose channels have 16 or 32 bits (Gray16, RGB48, Lab48, CMYK64, Gray32).
bool IsDeepMode(std::uint32_t mode);
// The value a full-range sample of the mode reaches: 65535, 0x3FFFFFFF for Gray32, else 255.
std::uint32_t FullRangeMaximum(std::uint32_t mode);

// The image in its own mode as a pixel map: the image's own map, or one laid over its display
// image. Valid while the image lives. Throws ImageFileError when no map mode describes it.
class ImagePixels {
public:
    explicit ImagePixels(RasterImage& image);
    CPixMap& operator*() const { return *map_; }
    CPixMap* operator->() const { return map_; }

private:
    std::unique_ptr<CPixMap> attached_;
    CPixMap* map_;
};

// A copy of a deep map with every sample stretched from 0 ... maximum to the mode's full range,
// so that conversions meant for full-range samples see it at its real brightness. Throws
// IOException(ErrorOutOfMemory).
std::unique_ptr<CPixMap> StretchedToFullRange(const CPixMap& source, std::uint32_t maximum);

// Builds the document form of a pixel map: modes a display image holds become the display image
// alone; others keep the map and get a display image that shows it. A deep map whose maximum is
// below its full range is shown stretched to the full range. Throws ImageFileError
// ("Image creation failed.") when memory runs out.
RasterImage MakeRasterImage(std::unique_ptr<CPixMap> pixels, std::uint32_t maxChannelValue);

// A new image of the rectangle of `whole` (its own coordinates), in the same mode and with the
// same maximum channel value. Throws ImageFileError ("Image creation failed." when
// memory runs out).
RasterImage CropRasterImage(RasterImage& whole, const PixRect& rect);
