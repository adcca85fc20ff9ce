// Reads the input as a portable anymap; a small image that was read completely is written in
// both variants and must read back with the same pixels and maximum. Binary graymaps and
// pixmaps are also read a strip at a time, which must give the same rows as the whole read.
#include "anymap_file.h"
#include "anymap_strips.h"
#include "fuzz_support.h"
#include "pixmap_factory.h"

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

// Strips of 3 rows, each compared with the same rows of the whole image.
void CheckStrips(const std::string& path, RasterImage& image) {
    const auto reader = CAnymapStripReader::Open(path);
    if (!reader) return;
    const ImagePixels whole(image);
    Require(reader->Mode() == whole->GetMode(), "the strips' mode differs");
    while (reader->NextRow() < reader->Height()) {
        const auto strip = reader->ReadStrip(3);
        auto rows = CreatePixMap(strip->Rect(), whole->GetMode());
        whole->CopyRect(strip->Rect(), *rows, rows->Rect());
        Require(SamePixels(*strip, *rows), "a strip differs from the whole image");
    }
    Require(reader->Incomplete() == image.incomplete, "the strips end differently");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = WriteInputFile(data, size);
    RasterImage image;
    try {
        image = ReadAnymapFile(path);
    } catch (const ImageFileError&) {
        return 0;
    }
    if (!image.display || std::uint64_t{image.Width()} * image.Height() > kMaxRoundTripPixels)
        return 0;
    CheckStrips(path, image);
    if (!image.incomplete) CheckRoundTrip(image);
    return 0;
}
