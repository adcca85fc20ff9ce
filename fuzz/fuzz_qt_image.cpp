// Reads the input through Qt's image readers the way documents do, then maps the result to a
// pixel map and rebuilds a display image from a deep map, as a view would.
#include "fuzz_support.h"
#include "qt_image_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RasterImage image;
    try {
        image = ReadQtImageFile(WriteInputFile(data, size));
    } catch (const ImageFileError&) {
        return 0;
    }
    Require(image.display != nullptr, "a read image has no display image");
    const ImagePixels pixels(image);
    Require(pixels->Width() == image.Width() && pixels->Height() == image.Height(),
            "the pixel map and the display image differ in size");
    if (image.pixMap) Require(BuildDisplayImage(*image.pixMap) != nullptr, "no display image");
    return 0;
}
