#include "cli_files.h"

#include "anymap_file.h"
#include "progress_bar.h"

#include <algorithm>
#include <iostream>
#include <omp.h>

void RequireCount(const Arguments& args, std::size_t count) {
    if (args.positional.size() != count) throw UsageError("wrong number of arguments");
}

void RequireQVT(const std::string& path, const char* role) {
    if (KindOfPath(path) != ImageFileKind::QVT)
        throw UsageError(std::string(role) + " must be a .qvt file");
}

ImageReadOptions InputOptions(const Arguments& args, const std::string& path,
                              const std::vector<std::string>& paths) {
    ImageReadOptions options;
    if (KindOfPath(path) != ImageFileKind::Raw) {
        const bool anyRaw = std::any_of(paths.begin(), paths.end(), [](const std::string& p) {
            return KindOfPath(p) == ImageFileKind::Raw;
        });
        if (!anyRaw && (args.Has("--raw") || args.Has("--maxval")))
            throw UsageError("--raw and --maxval apply to .raw input only");
        return options;
    }
    if (!args.Has("--raw")) throw UsageError(".raw input needs --raw WIDTHxHEIGHT:MODE");
    const std::string& layoutText = args.values.at("--raw");
    const auto colon = layoutText.find(':');
    if (colon == std::string::npos) throw UsageError("--raw needs WIDTHxHEIGHT:MODE");
    RawLayout layout;
    std::tie(layout.width, layout.height) = ParseSize(layoutText.substr(0, colon), "--raw");
    layout.mode = ParseModeName(layoutText.substr(colon + 1));
    if (!IsRawMode(layout.mode))
        throw UsageError("mode " + layoutText.substr(colon + 1) + " has no raw form");
    if (args.Has("--maxval")) {
        if (!IsDeepMode(layout.mode))
            throw UsageError("--maxval applies to 16- and 32-bit modes only");
        layout.maxChannelValue = static_cast<std::uint32_t>(
            ParseInteger(args.values.at("--maxval"), 1, FullRangeMaximum(layout.mode), "--maxval"));
    }
    options.raw = layout;
    return options;
}

int ThreadCount() { return omp_get_max_threads(); }

namespace {

// Runs read(options) with the thread count and a progress bar for reading.
template <typename Read>
auto WithReadingProgress(ImageReadOptions options, Read read) {
    TerminalProgress progress("Reading image data");
    options.qvt.threads = ThreadCount();
    options.qvt.progress = progress.Callback();
    options.qvt.progressData = progress.Data();
    return read(options);
}

} // namespace

RasterImage Load(const std::string& path, ImageReadOptions options) {
    RasterImage image = WithReadingProgress(
        options, [&path](const ImageReadOptions& o) { return ReadImageFile(path, o); });
    if (image.incomplete)
        std::cerr << "pictor-cli: warning: " << path
                  << " ends before its image data; the missing samples are 0\n";
    return image;
}

void Decode(const std::string& in, const std::string& out, const ImageReadOptions& input,
            const ImageWriteOptions& output) {
    QVTFileRows rows = WithReadingProgress(
        input, [&in](const ImageReadOptions& o) { return QVTFileRows(in, o.qvt); });
    if (KindOfPath(out) == ImageFileKind::Anymap && IsAnymapMode(rows.Mode())) {
        WriteAnymapFile(rows, out, !output.plainAnymap);
        return;
    }
    RasterImage image = rows.TakeImage();
    Save(image, out, output);
}

void Save(RasterImage& image, const std::string& path, ImageWriteOptions options) {
    TerminalProgress progress("Writing image data");
    options.qvt.threads = ThreadCount();
    options.qvt.progress = progress.Callback();
    options.qvt.progressData = progress.Data();
    WriteImageFile(image, path, options);
}

ImageWriteOptions OutputOptions(const Arguments& args, const std::string& path) {
    ImageWriteOptions options;
    options.plainAnymap = args.Has("--plain");
    if (options.plainAnymap && KindOfPath(path) != ImageFileKind::Anymap)
        throw UsageError("--plain applies to anymap output only");
    return options;
}
