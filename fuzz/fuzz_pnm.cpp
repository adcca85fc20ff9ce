// Reads the input as a portable anymap; a small image that was read completely is written in
// both variants and must read back with the same pixels and maximum.
#include "anymap_file.h"
#include "fuzz_support.h"

namespace {

constexpr std::uint64_t kMaxRoundTripPixels = 128 * 128;

void CheckRoundTrip(RasterImage& image) {
    const std::string path = ScratchPath(".pnm");
    for (const bool binary : {true, false}) {
        WriteAnymapFile(image, path, binary);
        RasterImage again = ReadAnymapFile(path);
        Require(!again.incomplete, "a written anymap reads as incomplete");
        Require(again.maxChannelValue == image.maxChannelValue, "the maximum changed");
        Require(SamePixels(*ImagePixels(again), *ImagePixels(image)), "the pixels changed");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RasterImage image;
    try {
        image = ReadAnymapFile(WriteInputFile(data, size));
    } catch (const ImageFileError&) {
        return 0;
    }
    if (!image.incomplete && image.display &&
        std::uint64_t{image.Width()} * image.Height() <= kMaxRoundTripPixels)
        CheckRoundTrip(image);
    return 0;
}
