#include "commands.h"

#include "cli_files.h"
#include "container_commands.h"
#include "container_file.h"
#include "container_info.h"
#include "image_compare.h"
#include "image_transform.h"
#include "qvt_my_image.h"
#include "thumbnail_command.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

namespace {

int RunEncode(const Arguments& args) {
    RequireCount(args, 2);
    RequireQVT(args.positional[1], "OUT");
    ImageWriteOptions output;
    if (args.Has("--quality"))
        output.qvt.quality =
            static_cast<int>(ParseInteger(args.values.at("--quality"), 0, 31, "--quality"));
    if (args.Has("--levels"))
        output.qvt.levels =
            static_cast<int>(ParseInteger(args.values.at("--levels"), 1, 30, "--levels"));
    output.qvt.regionSupport = args.Has("--roi");
    if (EncodeAnymapStrips(args.positional[0], args.positional[1], output.qvt)) return 0;
    RasterImage image =
        Load(args.positional[0], InputOptions(args, args.positional[0], {args.positional[0]}));
    Save(image, args.positional[1], output);
    return 0;
}

int RunDecode(const Arguments& args) {
    RequireCount(args, 2);
    RequireQVT(args.positional[0], "IN");
    ImageReadOptions input;
    if (args.Has("--level") && args.Has("--thumbnail"))
        throw UsageError("--level and --thumbnail exclude each other");
    if (args.Has("--level"))
        input.qvt.level =
            static_cast<int>(ParseInteger(args.values.at("--level"), 0, 29, "--level"));
    input.qvt.thumbnail = args.Has("--thumbnail");
    if (args.Has("--region")) input.qvt.region = ParseRegion(args.values.at("--region"));
    const ImageWriteOptions output = OutputOptions(args, args.positional[1]);
    Decode(args.positional[0], args.positional[1], input, output);
    return 0;
}

int RunConvert(const Arguments& args) {
    RequireCount(args, 2);
    std::optional<ImageMode> mode;
    if (args.Has("--mode")) mode = ParseModeName(args.values.at("--mode"));
    std::optional<std::pair<std::uint32_t, std::uint32_t>> size;
    if (args.Has("--size")) size = ParseSize(args.values.at("--size"), "--size");
    const ImageWriteOptions output = OutputOptions(args, args.positional[1]);
    RasterImage image =
        Load(args.positional[0], InputOptions(args, args.positional[0], {args.positional[0]}));
    if (mode && *mode != image.Mode()) {
        if (!CanConvertImage(image, *mode))
            throw ImageFileError(std::string("An image in mode ") + ImageModeName(image.Mode()) +
                                 " cannot be converted to " + ImageModeName(*mode) + ".");
        image = ConvertImage(image, *mode);
    }
    if (size && (size->first != image.Width() || size->second != image.Height()))
        image = ResizeImage(image, size->first, size->second);
    Save(image, args.positional[1], output);
    return 0;
}

int RunPsnr(const Arguments& args) {
    RequireCount(args, 2);
    RasterImage first =
        Load(args.positional[0], InputOptions(args, args.positional[0], args.positional));
    RasterImage second =
        Load(args.positional[1], InputOptions(args, args.positional[1], args.positional));
    const PSNRComparison result = ComparePSNR(first, second);
    std::cout << result.text << '\n';
    return result.compatible ? 0 : 1;
}

void PrintQVTInfo(const std::string& path) {
    struct Reporter final : CodecErrorReporter {
        void ShowError(std::uint32_t code, const std::string& text) override {
            throw ImageFileError(text, code);
        }
    } reporter;
    CQVTMyImage qvt;
    qvt.OpenPath(path, &reporter);
    const QVTHeader& header = qvt.Header();
    const std::uint8_t version = qvt.LeadIn().version;
    const char* modeName = ImageModeName(header.mode);
    std::printf("Format: QVT\nVersion: %d (flags 0x%02X)\n", VersionNumber(version), version);
    std::printf("Size: %u x %u\n", header.width, header.height);
    std::printf("Mode: %s (%u)\n", modeName ? modeName : "unknown", header.mode);
    std::printf("Bits per pixel: %u\nChannels: %u\nUsed bits per channel: %u\n",
                header.bitsPerPixel, header.channels, header.usedBitsPerChannel);
    std::printf("Quality: %u\nWriter stamp: 0x%04X\n", header.quality, header.writerStamp);
    std::printf("Region of interest support: %s\n", version & kVersionRegion ? "yes" : "no");
    std::printf("Levels: %u\nLevel lengths:", header.levels);
    for (const std::uint32_t length : qvt.LevelLengths())
        std::printf(" %u", length);
    std::printf("\nChannel depth: %d\nUser data: %u bytes\n", qvt.ChannelDepth(),
                qvt.UserDataLength());
}

int RunInfo(const Arguments& args) {
    RequireCount(args, 1);
    const std::string& path = args.positional[0];
    if (IsContainerPath(path)) {
        PrintContainerInfo(path);
        return 0;
    }
    if (KindOfPath(path) == ImageFileKind::QVT) {
        PrintQVTInfo(path);
        return 0;
    }
    RasterImage image = Load(path, InputOptions(args, path, {path}));
    std::printf("Size: %u x %u\nMode: %s (%u)\n", image.Width(), image.Height(),
                ImageModeName(image.Mode()), image.Mode());
    if (image.maxChannelValue != 0)
        std::printf("Maximum channel value: %u\n", image.maxChannelValue);
    return 0;
}

} // namespace

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = [] {
        std::vector<Command> all = {
            {"info",
             "info FILE",
             "show the header of a QVT or container file, or the size and mode of an image",
             "  For QVT files: header, version, region-of-interest support, levels, level\n"
             "  lengths and channel depth.\n"
             "  For .kle containers: header, tile grid, ordering, index, stored tiles, preview\n"
             "  and dead bytes (space no live part of the file uses).\n"
             "  --raw WxH:MODE, --maxval V   describe a .raw input\n",
             {"--raw", "--maxval"},
             {},
             RunInfo},
            {"encode",
             "encode IN OUT.qvt [--quality 0..31] [--levels 1..30] [--roi]",
             "write an image as QVT",
             "  --quality Q    0 is lossless, 31 the coarsest (default 0)\n"
             "  --levels L     resolution levels (default: chosen from the size)\n"
             "  --roi          tile the levels so that regions can be read alone\n"
             "  --raw WxH:MODE, --maxval V   describe a .raw input\n",
             {"--quality", "--levels", "--raw", "--maxval"},
             {"--roi"},
             RunEncode},
            {"decode",
             "decode IN.qvt OUT [--level L | --thumbnail] [--region X,Y,W,H]",
             "decode a QVT file, a level of it or a region",
             "  --level L          stop at level L (0 is full size)\n"
             "  --thumbnail        decode only the coarsest level\n"
             "  --region X,Y,W,H   a rectangle in full-size pixels, cut to the image\n"
             "  --plain            write anymaps as plain text (P1 ... P3)\n",
             {"--level", "--region"},
             {"--thumbnail", "--plain"},
             RunDecode},
            {"convert",
             "convert IN OUT [--mode NAME] [--size WxH]",
             "change the mode, the size or the file format",
             "  --mode NAME    Bitmap, Gray, Indexed, RGB, CMYK, Lab, Gray16, RGB48, Lab48,\n"
             "                 CMYK64, ARGB, Gray32, RGB12 or RGB16 (any case)\n"
             "  --size WxH     resample to this size\n"
             "  --plain        write anymaps as plain text (P1 ... P3)\n"
             "  --raw WxH:MODE, --maxval V   describe a .raw input\n",
             {"--mode", "--size", "--raw", "--maxval"},
             {"--plain"},
             RunConvert},
            {"psnr",
             "psnr A B",
             "compare two images by their peak signal-to-noise ratio",
             "  Prints the PSNR and the value of each channel; exit status 1 when the images\n"
             "  cannot be compared.\n"
             "  --raw WxH:MODE, --maxval V   describe .raw inputs\n",
             {"--raw", "--maxval"},
             {},
             RunPsnr},
        };
        all.push_back(ThumbnailCommand());
        for (Command& command : ContainerCommands())
            all.push_back(std::move(command));
        return all;
    }();
    return commands;
}
