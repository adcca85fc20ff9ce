#include "container_commands.h"

#include "cli_files.h"
#include "container_file.h"
#include "container_write.h"
#include "file_failure.h"
#include "pixmap_factory.h"
#include "qvt_error.h"
#include "tile_codec.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace {

constexpr std::uint32_t kDefaultTileSide = 200;
// Up to this length the preview is as large as the image.
constexpr std::uint32_t kPreviewSide = 800;

void RequireContainer(const std::string& path, const char* role) {
    if (!IsContainerPath(path)) throw UsageError(std::string(role) + " must be a .kle file");
}

std::uint8_t ParseQuality(const Arguments& args, std::uint8_t absent) {
    if (!args.Has("--quality")) return absent;
    return static_cast<std::uint8_t>(ParseInteger(args.values.at("--quality"), 0, 31, "--quality"));
}

// A preview whose longer side is 800 to 1200 pixels for images longer than 800, the image's own
// size otherwise, and whose shorter side keeps the image's proportion (at least 1).
std::pair<std::uint32_t, std::uint32_t> DefaultPreviewSize(std::uint32_t width,
                                                           std::uint32_t height) {
    const std::uint32_t longer = std::max(width, height);
    double previewLonger = longer;
    if (longer > kPreviewSide) {
        const double whole = std::floor(longer / double{kPreviewSide});
        const double divisor = longer / 1200.0 > whole ? longer / double{kPreviewSide} : whole;
        previewLonger = std::floor(longer / divisor);
    }
    const auto previewShorter = static_cast<std::uint32_t>(
        std::max(1.0, std::floor(std::min(width, height) / (longer / previewLonger))));
    const auto previewSide = static_cast<std::uint32_t>(previewLonger);
    return width >= height ? std::pair{previewSide, previewShorter}
                           : std::pair{previewShorter, previewSide};
}

std::array<std::uint8_t, 3> ParseBackground(const std::string& text) {
    std::uint32_t rgb = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), rgb, 16);
    if (text.size() != 6 || error != std::errc() || end != text.data() + text.size())
        throw UsageError("--background needs RRGGBB in hexadecimal");
    return {static_cast<std::uint8_t>(rgb), static_cast<std::uint8_t>(rgb >> 8),
            static_cast<std::uint8_t>(rgb >> 16)};
}

KLDExtHeader HeaderFromArguments(const Arguments& args) {
    if (!args.Has("--size") || !args.Has("--mode"))
        throw UsageError("--size and --mode are needed");
    KLDExtHeader header;
    std::tie(header.width, header.height) = ParseSize(args.values.at("--size"), "--size");
    header.mode = ParseModeName(args.values.at("--mode"));
    header.bitsPerPixel = FindModeLayout(header.mode)->bitsPerPixel;
    const std::uint8_t bytesPerPixel = static_cast<std::uint8_t>((header.bitsPerPixel + 7) / 8);
    header.channels = bytesPerPixel;
    header.bitsPerChannel = static_cast<std::uint8_t>(header.bitsPerPixel / bytesPerPixel);
    // A small image is one tile.
    std::uint32_t tileWidth = std::min(kDefaultTileSide, header.width);
    std::uint32_t tileHeight = std::min(kDefaultTileSide, header.height);
    if (args.Has("--tile"))
        std::tie(tileWidth, tileHeight) = ParseSize(args.values.at("--tile"), "--tile");
    if (tileWidth > header.width || tileHeight > header.height || tileWidth > 0xFFFF ||
        tileHeight > 0xFFFF)
        throw UsageError("--tile must fit the image and be at most 65535x65535");
    header.tileWidth = static_cast<std::uint16_t>(tileWidth);
    header.tileHeight = static_cast<std::uint16_t>(tileHeight);
    header.indexCompression = args.Has("--plain-index") ? IndexPlain : IndexZlib;
    if (args.Has("--ordering")) {
        const std::string& ordering = args.values.at("--ordering");
        if (ordering != "rows" && ordering != "hilbert")
            throw UsageError("--ordering needs rows or hilbert");
        header.ordering = ordering == "hilbert" ? OrderingHilbert : OrderingRowWise;
    }
    header.background = {0xFF, 0xFF, 0xFF};
    if (args.Has("--background"))
        header.background = ParseBackground(args.values.at("--background"));
    header.defaultQuality = ParseQuality(args, 0);
    return header;
}

ContainerWriteSettings WriteSettings(const Arguments& args, std::uint8_t quality,
                                     std::uint8_t codecKind) {
    ContainerWriteSettings settings;
    settings.quality = quality;
    settings.codecKind = codecKind;
    if (args.Has("--strip-memory"))
        settings.stripBytes = static_cast<std::uint64_t>(ParseInteger(
                                  args.values.at("--strip-memory"), 0, 65536, "--strip-memory"))
                              << 20;
    return settings;
}

std::uint8_t ParseCodec(const Arguments& args) {
    if (!args.Has("--codec")) return KLD::KindAutomatic;
    const std::string& codec = args.values.at("--codec");
    if (codec == "auto") return KLD::KindAutomatic;
    if (codec == "qvt") return KLD::KindWavelet;
    if (codec == "png") return KLD::KindPng;
    throw UsageError("--codec needs auto, qvt or png");
}

int RunCreate(const Arguments& args) {
    RequireCount(args, 1);
    const std::string& path = args.positional[0];
    RequireContainer(path, "OUT");
    const KLDExtHeader header = HeaderFromArguments(args);
    auto [previewWidth, previewHeight] = DefaultPreviewSize(header.width, header.height);
    if (args.Has("--preview"))
        std::tie(previewWidth, previewHeight) = ParseSize(args.values.at("--preview"), "--preview");
    ImageReadOptions input;
    if (args.Has("--from")) {
        const std::string& from = args.values.at("--from");
        input = InputOptions(args, from, {from});
    } else if (args.Has("--raw") || args.Has("--maxval")) {
        throw UsageError("--raw and --maxval describe the --from image");
    }
    CreateContainerFile(path, header, previewWidth, previewHeight);
    if (!args.Has("--from")) return 0;
    ContainerFile file(path, ContainerAccess::Fill);
    TerminalProgress progress("Writing image data");
    WriteIntoContainer(*file, args.values.at("--from"), input, 0, 0,
                       WriteSettings(args, 255, KLD::KindAutomatic), progress);
    file.Finish();
    return 0;
}

std::string SizeText(CKLDExt& container) {
    return std::to_string(container.Width()) + "x" + std::to_string(container.Height());
}

int RunWrite(const Arguments& args) {
    RequireCount(args, 2);
    const std::string& path = args.positional[0];
    const std::string& image = args.positional[1];
    RequireContainer(path, "FILE");
    if (!args.Has("--at")) throw UsageError("--at X,Y is needed");
    const auto [x, y] = ParsePoint(args.values.at("--at"), "--at");
    const ContainerWriteSettings settings =
        WriteSettings(args, ParseQuality(args, 255), ParseCodec(args));
    const ImageReadOptions input = InputOptions(args, image, {image});
    ContainerFile file(path, ContainerAccess::Write);
    // Its shorter fixed part cannot take the current one in place.
    if (!file.HasCurrentStructure())
        throw ImageFileError("The file has an older structure; reorganize it first.");
    if (x >= file->Width() || y >= file->Height())
        throw UsageError("--at lies outside the " + SizeText(*file) + " image");
    TerminalProgress progress("Writing image data");
    WriteIntoContainer(*file, image, input, x, y, settings, progress);
    return 0;
}

double ParseScale(const std::string& text) {
    double scale = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), scale);
    if (error != std::errc() || end != text.data() + text.size() || !(scale > 0) || scale > 32)
        throw UsageError("--scale needs a number above 0 and at most 32");
    return scale;
}

// Writes a map of the container's mode as an image file.
void SaveMap(std::unique_ptr<CPixMap> map, const Arguments& args, const std::string& path) {
    const ImageMode mode = map->GetMode();
    RasterImage image =
        MakeRasterImage(std::move(map), IsDeepMode(mode) ? FullRangeMaximum(mode) : 0);
    Save(image, path, OutputOptions(args, path));
}

int RunRead(const Arguments& args) {
    RequireCount(args, 2);
    const std::string& path = args.positional[0];
    RequireContainer(path, "FILE");
    if (!args.Has("--region")) throw UsageError("--region X,Y,W,H is needed");
    if (args.Has("--level") && args.Has("--scale"))
        throw UsageError("--level and --scale exclude each other");
    const RegionRect asked = ParseRegion(args.values.at("--region"));
    const int level =
        args.Has("--level")
            ? static_cast<int>(ParseInteger(args.values.at("--level"), 0, 29, "--level"))
            : 0;
    const bool scaled = args.Has("--scale");
    const double scale = scaled ? ParseScale(args.values.at("--scale")) : 1.0;
    OutputOptions(args, args.positional[1]);

    ContainerFile file(path, ContainerAccess::Regions);
    if (asked.left >= file->Width() || asked.top >= file->Height())
        throw UsageError("--region lies outside the " + SizeText(*file) + " image");
    const PixRect region{asked.left, asked.top, std::min(asked.right, file->Width()),
                         std::min(asked.bottom, file->Height())};
    std::unique_ptr<CPixMap> map = CreatePixMap(region, file->Mode());
    if (!map) ThrowCodecError(ErrorWrongFormat);
    TerminalProgress progress("Reading image data");
    if (scaled) {
        const auto width = static_cast<std::uint32_t>(region.Width() * scale);
        const auto height = static_cast<std::uint32_t>(region.Height() * scale);
        if (width == 0 || height == 0) throw UsageError("--scale leaves no pixel of the region");
        file->ReadRegionScaled(map, width, height, progress.Callback(), progress.Data());
    } else {
        file->ReadRegion(*map, level, progress.Callback(), progress.Data());
    }
    SaveMap(std::move(map), args, args.positional[1]);
    return 0;
}

int RunPreview(const Arguments& args) {
    RequireCount(args, 2);
    RequireContainer(args.positional[0], "FILE");
    OutputOptions(args, args.positional[1]);
    ContainerFile file(args.positional[0], ContainerAccess::Read);
    const CPixMap* preview = file->Preview();
    if (!preview) ThrowCodecError(ErrorWrongFormat);
    std::unique_ptr<CPixMap> copy = CreatePixMap(preview->Rect(), preview->GetMode());
    if (!copy) ThrowCodecError(ErrorWrongFormat);
    preview->CopyRect(preview->Rect(), *copy, copy->Rect());
    SaveMap(std::move(copy), args, args.positional[1]);
    return 0;
}

// A file stream that remembers whether it failed, so that a failure of a copy can be told
// apart from one of its source.
class WatchedFileStream final : public CQVTStream {
public:
    explicit WatchedFileStream(int fd) : stream_(fd) {}
    void Write(std::int32_t& count, const void* bytes) override {
        const std::int32_t wanted = count;
        Watch([&] { stream_.Write(count, bytes); });
        failed_ = failed_ || count < wanted;
    }
    void Read(std::int32_t& count, void* bytes) override {
        Watch([&] { stream_.Read(count, bytes); });
    }
    void SetPos(std::int16_t mode, std::int64_t offset) override {
        Watch([&] { stream_.SetPos(mode, offset); });
    }
    std::uint64_t GetPos() override { return stream_.GetPos(); }
    bool IsValid() const override { return stream_.IsValid(); }
    bool Failed() const { return failed_; }

private:
    template <typename Call>
    void Watch(Call call) {
        try {
            call();
        } catch (...) {
            failed_ = true;
            throw;
        }
    }

    CQVTFileStream stream_;
    bool failed_ = false;
};

// Writes a compacted copy of the open container to `target`; an unfinished copy is removed.
void ReorganizeTo(CKLDExt& container, const std::string& target) {
    try {
        const FileDescriptor fd = ConcerningFile(
            target, [&] { return FileDescriptor(target, O_RDWR | O_CREAT | O_TRUNC); });
        WatchedFileStream stream(fd.Get());
        TerminalProgress progress("Reorganizing");
        try {
            container.Reorganize(stream, progress.Callback(), progress.Data());
        } catch (const IOException& error) {
            if (stream.Failed()) throw FileFailure(target, ErrorMessageForCode(error.error));
            throw;
        }
    } catch (...) {
        ::unlink(target.c_str());
        throw;
    }
}

// A rename lasts through a power loss only once the folder that records it is on disk.
void SyncFolderOf(const std::string& path) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    const FileDescriptor fd(folder.empty() ? "." : folder.string(), O_RDONLY | O_DIRECTORY);
    if (::fsync(fd.Get()) != 0) ThrowCodeError(static_cast<std::uint32_t>(errno));
}

// Replaces the file by a compacted copy through a temporary file beside it.
void ReorganizeInPlace(const std::string& path) {
    const std::string temporary = path + ".tmp";
    {
        ContainerFile file(path, ContainerAccess::Read);
        ReorganizeTo(*file, temporary);
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        ThrowCodeError(static_cast<std::uint32_t>(error));
    }
    SyncFolderOf(path);
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(a, b, error);
}

int RunReorganize(const Arguments& args) {
    if (args.positional.empty() || args.positional.size() > 2)
        throw UsageError("wrong number of arguments");
    const std::string& path = args.positional[0];
    RequireContainer(path, "FILE");
    if (args.positional.size() == 1 || SameFile(path, args.positional[1])) {
        ReorganizeInPlace(path);
        return 0;
    }
    RequireContainer(args.positional[1], "OUT");
    ContainerFile file(path, ContainerAccess::Read);
    ReorganizeTo(*file, args.positional[1]);
    return 0;
}

int RunRepair(const Arguments& args) {
    RequireCount(args, 1);
    const std::string& path = args.positional[0];
    RequireContainer(path, "FILE");
    // An older file is brought to the current structure first; only that can be rewritten.
    if (!ContainerFile(path, ContainerAccess::Read, true).HasCurrentStructure())
        ReorganizeInPlace(path);
    ContainerFile file(path, ContainerAccess::Write, true);
    if (file.PreviewDamaged()) {
        WarnAbout(path, "The preview could not be read; it is built anew.");
    } else if (const std::uint64_t end = file->CommittedEnd(); file.FileSize() > end) {
        // A write that stopped before its commit left these; nothing refers to them.
        std::printf("Dropped %llu orphaned bytes\n",
                    static_cast<unsigned long long>(file.FileSize() - end));
        file.Truncate(end);
    }
    TerminalProgress progress("Repairing image data");
    file->BuildPreview(progress.Callback(), progress.Data());
    std::printf("Preview rebuilt from %u stored tiles\n", file->Index().Count());
    return 0;
}

} // namespace

std::vector<Command> ContainerCommands() {
    return {
        {"kle create",
         "kle create OUT.kle --size WxH --mode NAME [--tile WxH] [--ordering rows|hilbert]\n"
         "       [--quality Q] [--background RRGGBB] [--preview WxH] [--plain-index] [--from "
         "IMAGE]",
         "make a new tiled container, empty or filled from an image",
         "  --size WxH         the image size\n"
         "  --mode NAME        Bitmap, Gray, Indexed, RGB, CMYK, Lab, Gray16, RGB48, Lab48,\n"
         "                     CMYK64, ARGB, Gray32, RGB12 or RGB16 (any case)\n"
         "  --tile WxH         tile size (default 200x200, or the image size when smaller)\n"
         "  --ordering O       rows (default) or hilbert: the order tiles are numbered in\n"
         "  --quality Q        default quality of the tiles, 0 lossless ... 31 (default 0)\n"
         "  --background RGB   colour of the parts never written (default FFFFFF)\n"
         "  --preview WxH      preview size (default: 800 to 1200 on the longer side, in\n"
         "                     proportion)\n"
         "  --plain-index      store the tile index without compression\n"
         "  --from IMAGE       write the image at the top-left corner; binary PGM and PPM\n"
         "                     files are read in strips, so they may exceed memory\n"
         "  --strip-memory MB  source pixels per written strip (default 64; at least one\n"
         "                     row of tiles); each strip also rewrites the preview\n"
         "  --raw WxH:MODE, --maxval V   describe a .raw --from image\n",
         {"--size", "--mode", "--tile", "--ordering", "--quality", "--background", "--preview",
          "--from", "--strip-memory", "--raw", "--maxval"},
         {"--plain-index"},
         RunCreate},
        {"kle write",
         "kle write FILE.kle IMAGE --at X,Y [--codec auto|qvt|png] [--quality Q]",
         "write an image into a container",
         "  --at X,Y           where the image's top-left corner goes\n"
         "  --codec C          auto (default), qvt or png for the re-coded tiles\n"
         "  --quality Q        0 lossless ... 31 (default: the container's own)\n"
         "  --strip-memory MB  source pixels per written strip (default 64; at least one\n"
         "                     row of tiles)\n"
         "  --raw WxH:MODE, --maxval V   describe a .raw input\n"
         "  Binary PGM and PPM files are read in strips, so they may exceed memory.\n",
         {"--at", "--codec", "--quality", "--strip-memory", "--raw", "--maxval"},
         {},
         RunWrite},
        {"kle read",
         "kle read FILE.kle OUT --region X,Y,W,H [--level L | --scale S]",
         "read a region of a container",
         "  --region X,Y,W,H   the rectangle, cut to the image\n"
         "  --level L          decode the tiles at level L only (0 is full detail); the\n"
         "                     region keeps its size\n"
         "  --scale S          the region resized by S, from the coarsest level that suffices\n"
         "  --plain            write anymaps as plain text (P1 ... P3)\n",
         {"--region", "--level", "--scale"},
         {"--plain"},
         RunRead},
        {"kle preview",
         "kle preview FILE.kle OUT",
         "write the stored preview of a container",
         "  --plain            write anymaps as plain text (P1 ... P3)\n",
         {},
         {"--plain"},
         RunPreview},
        {"kle repair",
         "kle repair FILE.kle",
         "rebuild the preview from the stored tiles",
         "  An older file is reorganized first; a preview that cannot be read is built anew\n"
         "  (500 pixels on the longer side). Bytes that an interrupted write left past the\n"
         "  preview are dropped.\n",
         {},
         {},
         RunRepair},
        {"kle reorganize",
         "kle reorganize FILE.kle [OUT.kle]",
         "compact a container, in place or into a new file",
         "  Tiles are copied in tile order without gaps; space given up by rewrites is\n"
         "  dropped. Without OUT the file is replaced through FILE.kle.tmp.\n",
         {},
         {},
         RunReorganize},
    };
}
