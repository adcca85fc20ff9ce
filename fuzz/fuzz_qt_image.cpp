// Reads the input through Qt's image readers the way documents do, then maps the result to a
// pixel map and rebuilds a display image from a deep map, as a view would. An embedded profile
// that survived the read is linked to the screen and converts the first row, as a colour-managed
// view draws it: damaged profiles must be refused on the way in, never crash the transform.
#include "fuzz_support.h"
#include "qt_image_file.h"
#include "screen_transform.h"

#include <vector>

namespace {

void DrawFirstRowManaged(RasterImage& image) {
    const IccProfile& profile = *image.profile;
    const ImageMode mode = image.display->DisplayMode();
    if (profile.Space() != ProfileSpace::RGB || (mode != ModeRGB && mode != ModeARGB)) return;
    const SampleFormat format = mode == ModeRGB ? SampleFormat::Bgr8 : SampleFormat::Bgra8;
    try {
        const ScreenTransform transform(profile, format, *IccProfile::SRgb(),
                                        RenderingIntent::Perceptual);
        std::vector<std::uint32_t> row(image.Width());
        transform.Convert(image.display->TopRow(), row.data(), row.size());
    } catch (const ProfileError&) {
        // A profile the engine reads but cannot link the way the view asks is shown unmanaged.
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RasterImage image;
    try {
        image = ReadQtImageFile(WriteInputFile(data, size));
    } catch (const ImageFileError&) {
        return 0;
    }
    Require(image.display != nullptr, "a read image has no display image");
    Require(!(image.profile && image.profileDropped), "a profile both kept and dropped");
    const ImagePixels pixels(image);
    Require(pixels->Width() == image.Width() && pixels->Height() == image.Height(),
            "the pixel map and the display image differ in size");
    if (image.pixMap) Require(BuildDisplayImage(*image.pixMap) != nullptr, "no display image");
    if (image.profile) DrawFirstRowManaged(image);
    return 0;
}
