#include "cli_files.h"

#include "anymap_file.h"
#include "anymap_strips.h"
#include "file_failure.h"
#include "progress_bar.h"

#include <algorithm>
#include <filesystem>
#include <omp.h>
#include <system_error>

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

// The rows of the file at `path`: what fails while they are made concerns that file, not the
// one being written.
class RowsOfFile final : public ImageRowSource {
public:
    RowsOfFile(const std::string& path, ImageRowSource& rows) : path_(path), rows_(rows) {}
    ImageMode Mode() const override { return rows_.Mode(); }
    std::uint32_t Width() const override { return rows_.Width(); }
    std::uint32_t Height() const override { return rows_.Height(); }
    std::uint32_t MaxChannelValue() const override { return rows_.MaxChannelValue(); }
    std::uint32_t StripRows() const override { return rows_.StripRows(); }
    const std::uint8_t* Rows(std::uint32_t first, std::uint32_t count,
                             std::ptrdiff_t& pitch) override {
        return ConcerningFile(path_, [&] { return rows_.Rows(first, count, pitch); });
    }
    bool RowsRedFirst(std::uint32_t first, std::uint32_t count, std::uint8_t* to,
                      std::ptrdiff_t pitch) override {
        return ConcerningFile(path_, [&] { return rows_.RowsRedFirst(first, count, to, pitch); });
    }
    bool RowsRedFirstOnAnyThread() const override { return rows_.RowsRedFirstOnAnyThread(); }
    std::vector<std::uint32_t> RowRuns(int runs) override {
        return ConcerningFile(path_, [&] { return rows_.RowRuns(runs); });
    }
    void SetRowThreads(int threads) override { rows_.SetRowThreads(threads); }

private:
    const std::string& path_;
    ImageRowSource& rows_;
};

} // namespace

RasterImage Load(const std::string& path, ImageReadOptions options) {
    RasterImage image = ConcerningFile(path, [&] {
        return WithReadingProgress(
            options, [&path](const ImageReadOptions& o) { return ReadImageFile(path, o); });
    });
    if (image.incomplete) WarnAbout(path, kIncompleteImage);
    return image;
}

void Decode(const std::string& in, const std::string& out, const ImageReadOptions& input,
            const ImageWriteOptions& output) {
    // A binary anymap takes rows red first, and on several threads in runs.
    const bool redFirstRuns = KindOfPath(out) == ImageFileKind::Anymap && !output.plainAnymap;
    QVTFileRows decoded =
        WithReadingProgress(input, [&in, redFirstRuns](const ImageReadOptions& o) {
            return QVTFileRows(in, o.qvt, QVTFileRows::kStripBytes, redFirstRuns);
        });
    if (KindOfPath(out) == ImageFileKind::Anymap && IsAnymapMode(decoded.Mode())) {
        // The last level may still be decoded while the rows are written; a file it fails for
        // is not left half written.
        RowsOfFile rows(in, decoded);
        try {
            ConcerningFile(out, [&] { WriteAnymapFile(rows, out, !output.plainAnymap); });
        } catch (const FileFailure& failure) {
            std::error_code ignored;
            if (failure.Path() == in) std::filesystem::remove(out, ignored);
            throw;
        }
        return;
    }
    RasterImage image = decoded.TakeImage();
    Save(image, out, output);
}

bool EncodeAnymapStrips(const std::string& in, const std::string& out, QVTWriteOptions options) {
    if (KindOfPath(in) != ImageFileKind::Anymap) return false;
    auto reader = ConcerningFile(in, [&] { return CAnymapStripReader::Open(in); });
    if (!reader) return false;
    AnymapFileRows fileRows(std::move(reader));
    RowsOfFile rows(in, fileRows);
    TerminalProgress progress("Writing image data");
    options.threads = ThreadCount();
    options.progress = progress.Callback();
    options.progressData = progress.Data();
    ConcerningFile(out, [&] { WriteQVTFile(rows, out, options); });
    if (fileRows.Incomplete()) WarnAbout(in, kIncompleteImage);
    return true;
}

void Save(RasterImage& image, const std::string& path, ImageWriteOptions options) {
    TerminalProgress progress("Writing image data");
    options.qvt.threads = ThreadCount();
    options.qvt.progress = progress.Callback();
    options.qvt.progressData = progress.Data();
    ConcerningFile(path, [&] { WriteImageFile(image, path, options); });
}

ImageWriteOptions OutputOptions(const Arguments& args, const std::string& path) {
    ImageWriteOptions options;
    options.plainAnymap = args.Has("--plain");
    if (options.plainAnymap && KindOfPath(path) != ImageFileKind::Anymap)
        throw UsageError("--plain applies to anymap output only");
    return options;
}
