#include "thumbnail_command.h"

#include "cli_files.h"
#include "container_file.h"
#include "covering_read.h"
#include "image_transform.h"
#include "png_wrapper.h"

#include <array>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A file with few levels may need a large level even for a small picture; beyond this many
// pixels a thumbnail is not worth the memory.
constexpr std::uint64_t kPixelLimit = std::uint64_t{64} << 20;

enum class Signature { QVT, Container, Other };

// Files are recognised by their first bytes: a file manager may hand over any name.
Signature SignatureOf(const FileDescriptor& file) {
    std::array<char, 3> bytes{};
    if (::pread(file.Get(), bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
        return Signature::Other;
    const std::string start(bytes.begin(), bytes.end());
    if (start == "QVT") return Signature::QVT;
    if (start == "KLE" || start == "QVE") return Signature::Container;
    return Signature::Other;
}

// The image read no larger than a thumbnail of `size` needs, and the thumbnail's size.
std::pair<RasterImage, std::pair<std::uint32_t, std::uint32_t>>
ReadForThumbnail(const std::string& path, std::uint32_t size) {
    const FileDescriptor file(path, O_RDONLY);
    switch (SignatureOf(file)) {
    case Signature::QVT: {
        CQVTFileReadStream stream(file.Get());
        const QVTHeader header = PeekQVTHead(stream).header;
        const auto target = ThumbnailSize(header.width, header.height, size);
        return {ReadQVTCovering(stream, {{}, target.first, target.second, kPixelLimit}), target};
    }
    case Signature::Container: {
        CQVTFileReadStream stream(file.Get());
        const KLDExtHeader header = ReadContainerHeader(stream);
        const auto target = ThumbnailSize(header.width, header.height, size);
        return {ReadContainerCovering(std::make_unique<CQVTFileReadStream>(file.Get()),
                                      {{}, target.first, target.second, kPixelLimit},
                                      ContainerSource::PreviewOnly),
                target};
    }
    case Signature::Other:
        break;
    }
    RasterImage image = ReadImageFile(path);
    const auto target = ThumbnailSize(image.Width(), image.Height(), size);
    return {std::move(image), target};
}

// The picture a view would draw, at the thumbnail's size. Bitmaps and palettes are averaged as
// gray and colour, so that fine lines turn into shades instead of vanishing.
RasterImage Shrink(RasterImage image, std::uint32_t width, std::uint32_t height) {
    RasterImage shown;
    shown.display = std::move(image.display);
    if (shown.Mode() == ModeBitmap) shown = ConvertImage(shown, ModeGray);
    if (shown.Mode() == ModeIndexed) shown = ConvertImage(shown, ModeRGB);
    if (shown.Width() == width && shown.Height() == height) return shown;
    return ResizeImage(shown, width, height);
}

// Gray, RGB or ARGB, as Shrink leaves it.
void WritePng(const CDisplayImage& image, const std::string& path) {
    const ImageMode mode = image.DisplayMode();
    const int colorType = mode == ModeGray   ? PNG_COLOR_TYPE_GRAY
                          : mode == ModeARGB ? PNG_COLOR_TYPE_RGB_ALPHA
                                             : PNG_COLOR_TYPE_RGB;
    const FileDescriptor file(path, O_WRONLY | O_CREAT | O_TRUNC);
    CQVTFileStream stream(file.Get());
    try {
        png::CWriter writer(stream);
        writer.PreferSpeed();
        writer.WriteHeader({image.Width(), image.Height(), 8, colorType}, nullptr, 0, false);
        for (std::uint32_t y = 0; y < image.Height(); ++y)
            writer.WriteRow(image.TopRow() + static_cast<std::ptrdiff_t>(y) * image.Pitch());
        writer.WriteEnd();
    } catch (const png::CError& error) {
        throw ImageFileError(error.what());
    }
}

int RunThumbnail(const Arguments& args) {
    RequireCount(args, 2);
    const std::string sizeOption = args.Has("-s") ? "-s" : "--size";
    if (!args.Has(sizeOption)) throw UsageError("thumbnail needs -s SIZE");
    const auto size =
        static_cast<std::uint32_t>(ParseInteger(args.values.at(sizeOption), 1, 16384, "-s"));
    auto [image, target] = ReadForThumbnail(args.positional[0], size);
    const RasterImage thumbnail = Shrink(std::move(image), target.first, target.second);
    WritePng(*thumbnail.display, args.positional[1]);
    return 0;
}

} // namespace

std::pair<std::uint32_t, std::uint32_t> ThumbnailSize(std::uint32_t width, std::uint32_t height,
                                                      std::uint32_t size) {
    if (width <= size && height <= size) return {width, height};
    const auto scaled = [size](std::uint32_t side, std::uint32_t longer) {
        return static_cast<std::uint32_t>(
            std::max<std::uint64_t>(1, (std::uint64_t{side} * size + longer / 2) / longer));
    };
    if (width >= height) return {size, scaled(height, width)};
    return {scaled(width, height), size};
}

Command ThumbnailCommand() {
    return {"thumbnail",
            "thumbnail -s SIZE IN OUT.png",
            "write a PNG thumbnail of at most SIZE x SIZE pixels (for file managers)",
            "  Reads only the coarsest QVT level, or the container preview, that covers the\n"
            "  size; smaller images keep their own size. IN is recognised by its content.\n"
            "  -s, --size SIZE   the longest side, 1 to 16384\n",
            {"-s", "--size"},
            {},
            RunThumbnail};
}
