#include "save_dispatch.h"

#include "anymap_file.h"
#include "image_rows.h"
#include "qvt_file.h"
#include "safe_save.h"
#include "text_case.h"

#include <algorithm>

namespace {

// The rows of an image in memory in strips, reporting progress after each strip so that a long
// anymap write shows how far it is and stops on Esc.
class ReportingRows final : public ImageRowSource {
public:
    ReportingRows(RasterImage& image, JobContext& context) : rows_(image), context_(context) {}

    ImageMode Mode() const override { return rows_.Mode(); }
    std::uint32_t Width() const override { return rows_.Width(); }
    std::uint32_t Height() const override { return rows_.Height(); }
    std::uint32_t MaxChannelValue() const override { return rows_.MaxChannelValue(); }
    std::uint32_t StripRows() const override { return kStripRows; }
    const std::uint8_t* Rows(std::uint32_t first, std::uint32_t count,
                             std::ptrdiff_t& pitch) override {
        context_.Report(static_cast<double>(first) / std::max<std::uint32_t>(1, Height()));
        return rows_.Rows(first, count, pitch);
    }

private:
    static constexpr std::uint32_t kStripRows = 64;
    RasterImageRows rows_;
    JobContext& context_;
};

} // namespace

SaveTarget ChooseSaveTarget(const std::string& path, std::uint32_t mode,
                            const PlatformImages& platform) {
    const std::string extension = LowerCase(FileExtension(path));
    if (extension == "qvt" && IsQVTWritableMode(mode)) return SaveTarget::QVT;
    const bool anymap =
        extension == "pbm" || extension == "pgm" || extension == "ppm" || extension == "pnm";
    if (anymap && IsAnymapMode(mode)) return SaveTarget::Anymap;
    if (platform.CanWrite(mode, extension)) return SaveTarget::QtEncoder;
    return SaveTarget::None;
}

void SaveImage(RasterImage& image, const std::string& path, SaveTarget target,
               const SaveOptions& options, const PlatformImages& platform, JobContext& context) {
    SaveThroughTemporary(path, [&](const std::string& temporary) {
        switch (target) {
        case SaveTarget::QVT: {
            QVTWriteOptions qvt;
            qvt.quality = options.quality;
            qvt.levels = options.checkBox ? 0 : options.levels;
            qvt.regionSupport = options.regionSupport;
            qvt.threads = context.Threads();
            qvt.progress = context.Callback();
            qvt.progressData = context.Data();
            WriteQVTFile(image, temporary, qvt);
            return;
        }
        case SaveTarget::Anymap:
            try {
                ReportingRows rows(image, context);
                WriteAnymapFile(rows, temporary, options.checkBox);
                context.Report(1);
            } catch (const IOException& error) {
                ThrowCodeError(error.error);
            }
            return;
        case SaveTarget::QtEncoder:
            platform.write(image, temporary);
            return;
        case SaveTarget::None:
            break;
        }
        throw ImageFileError(kNoSuitableFormat);
    });
}
