// QVT files as documents read and write them: decoding a level or region into a display image
// and pixel map, and saving by the rules that decide the header of each mode.
#pragma once

#include "image_rows.h"
#include "progress.h"
#include "raster_image.h"
#include "region_rect.h"
#include "strip_buffer.h"

#include <memory>
#include <optional>
#include <string>

struct ChannelMap;

struct QVTReadOptions {
    int level = 0;          // 0 = full size; larger values are limited to the coarsest level
    bool thumbnail = false; // the coarsest level, whatever `level` says
    std::optional<RegionRect> region; // in full-size pixels
    int threads = 0;                  // 0 = one per processor
    ProgressCallback progress = nullptr;
    void* progressData = nullptr;
};

// Decodes the file down to the chosen level, restricted to the region when one is given (files
// without region support are decoded whole and cut). Deep samples keep their values: the image's
// maximum channel value is the one stored with the file, or 2^(used bits) - 1. A region that
// reaches past the image is cut to it. Throws ImageFileError with the codec's or the system's
// text, or for a region that starts outside the image "The region lies outside the W x H image.".
RasterImage ReadQVTFile(const std::string& path, const QVTReadOptions& options = {});

class CQVTImage;
class CQVTMyImage;
class CQVTStream;

// Reads the head of the QVT data at the stream's position into `qvt`, keeping what
// ReadOpenedQVT needs of it; the stream must outlive the reads. Throws ImageFileError.
void OpenQVTStream(CQVTImage& qvt, CQVTStream& stream);
// Decodes a head read by OpenQVTStream as ReadQVTFile decodes a file. Throws ImageFileError.
RasterImage ReadOpenedQVT(CQVTImage& qvt, const QVTReadOptions& options);

// Opens the file and reads its head as ReadQVTFile does, for a caller that decodes it level by
// level itself; the file stays open until ClosePath. Throws ImageFileError.
void OpenQVTFile(CQVTMyImage& qvt, const std::string& path);
// The image at the level decoded last (the region, when a region was read), as ReadQVTFile
// gives it. Throws ImageFileError.
RasterImage ExportQVTLevel(CQVTImage& qvt);

// A file decoded as ReadQVTFile decodes it, its rows handed out a strip at a time, each exported
// from the decoded planes when it is asked for, so the image is never held twice. A whole image
// read on one thread is read for rows (CQVTImage::ReadForRows): its last level is decoded as the
// strips are asked for, in order from the top, and its errors come then. So is an 8-bit gray or
// colour image on several threads for a writer that takes its rows red first in runs (RowRuns).
// (A region of a file without region support is cut from the whole image.) Throws
// ImageFileError.
class QVTFileRows final : public ImageRowSource {
public:
    static constexpr std::uint64_t kStripBytes = std::uint64_t{1} << 20;

    // Strips hold about `stripBytes`: by default a mebibyte, which stays in the processor's
    // cache while a writer takes it. `redFirstRuns`: the rows will be asked for through RowRuns
    // if they can be.
    explicit QVTFileRows(const std::string& path, const QVTReadOptions& options = {},
                         std::uint64_t stripBytes = kStripBytes, bool redFirstRuns = false);
    ~QVTFileRows() override;

    // The image as ReadQVTFile gives it, for writers that need it whole; no rows afterwards.
    RasterImage TakeImage();

    ImageMode Mode() const override;
    std::uint32_t Width() const override;
    std::uint32_t Height() const override;
    std::uint32_t MaxChannelValue() const override;
    std::uint32_t StripRows() const override;
    const std::uint8_t* Rows(std::uint32_t first, std::uint32_t count,
                             std::ptrdiff_t& pitch) override;
    bool RowsRedFirst(std::uint32_t first, std::uint32_t count, std::uint8_t* to,
                      std::ptrdiff_t pitch) override;
    bool RowsRedFirstOnAnyThread() const override;
    std::vector<std::uint32_t> RowRuns(int runs) override;
    void SetRowThreads(int threads) override;

private:
    void ExportRows(std::uint32_t first, std::uint32_t count, std::uint8_t* to,
                    std::ptrdiff_t pitch, const ChannelMap* channelMap);

    std::unique_ptr<CQVTMyImage> qvt_;
    QVTReadOptions options_;
    std::optional<RasterImage> cut_; // the region cut from the whole image, when it was
    std::uint8_t mode_ = 0;
    std::uint32_t bitsPerPixel_ = 0;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    std::uint64_t rowBytes_ = 0;
    std::uint32_t stripRows_ = 0;
    StripBuffer strip_;
};

struct QVTWriteOptions {
    int quality = 0; // 0 = lossless ... 31
    int levels = 0;  // 0 = let the codec choose
    bool regionSupport = false;
    int threads = 0; // 0 = one per processor
    ProgressCallback progress = nullptr;
    void* progressData = nullptr;
};

// True for the modes a QVT file holds and a document can have.
bool IsQVTWritableMode(std::uint32_t mode);

// Saves the image: display-held modes from the display image (Indexed with its color table),
// the others from the pixel map with the maximum channel value deciding the used bits. Deep
// samples are coded as the values they are, so a lossless file gives them back unchanged; a
// maximum that is not 2^b - 1 travels as four bytes of user data. Throws ImageFileError
// ("Cannot save image.\nThere is no suitable image format." for a mode QVT cannot hold).
void WriteQVTFile(RasterImage& image, const std::string& path, const QVTWriteOptions& options = {});
// As WriteQVTFile for an image without colour table or profile whose rows come a strip at a
// time, in order from the top, each imported into the codec's planes as it comes: the image is
// never held whole beside them. The file is created once all rows are in.
void WriteQVTFile(ImageRowSource& rows, const std::string& path,
                  const QVTWriteOptions& options = {});
// As WriteQVTFile, into the stream at its position; the codec seeks back within what it wrote.
void WriteQVTStream(RasterImage& image, CQVTStream& stream, const QVTWriteOptions& options = {});
