#include "anymap_strips.h"

#include "anymap_rows.h"
#include "mode_layout.h"
#include "pixmap_factory.h"
#include "qvt_error.h"
#include "qvt_stream.h"
#include "raster_image.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::unique_ptr<CAnymapStripReader> CAnymapStripReader::Open(const std::string& path) {
    std::unique_ptr<CAnymapStripReader> reader(new CAnymapStripReader);
    errno = 0;
    if (!reader->file_.open(path, std::ios::in | std::ios::binary))
        ThrowCodeError(static_cast<std::uint32_t>(errno != 0 ? errno : ENOENT));
    const AnymapHeader& header = reader->header_;
    const bool strips = WithAnymapReadErrors([&reader, &header] {
        reader->header_ = ReadAnymapHeader(reader->file_);
        if (header.magic != 5 && header.magic != 6) return false;
        CheckAnymapRasterSize(header, reader->file_);
        return true;
    });
    if (!strips) return nullptr;
    const bool wide = header.maxval > 255;
    const bool color = AnymapChannels(header.magic) == 3;
    reader->mode_ = wide ? (color ? ModeRGB48 : ModeGray16) : (color ? ModeRGB : ModeGray);
    reader->fileRow_.resize(std::size_t{header.width} *
                            static_cast<std::size_t>(AnymapChannels(header.magic)) *
                            (wide ? 2 : 1));
    if (header.maxval == 255) reader->OpenRowsFile(path);
    return reader;
}

CAnymapStripReader::~CAnymapStripReader() {
    if (rowsFile_ >= 0) ::close(rowsFile_);
}

// Rows read at their place need a file that has places: not a pipe or a terminal.
void CAnymapStripReader::OpenRowsFile(const std::string& path) {
    const auto start = file_.pubseekoff(0, std::ios::cur, std::ios::in);
    if (start == std::streampos(-1)) return;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return;
    }
    rowsFile_ = fd;
    rasterStart_ = static_cast<std::uint64_t>(start);
}

void CAnymapStripReader::ReadRowsAsStored(std::uint32_t first, std::uint32_t count,
                                          std::uint8_t* to, std::ptrdiff_t pitch) {
    const std::size_t rowBytes = fileRow_.size();
    const bool packed = pitch == static_cast<std::ptrdiff_t>(rowBytes);
    // Rows packed as in the file come in one read; others one at a time.
    for (std::uint32_t y = 0; y < count; y += packed ? count : 1) {
        const std::size_t bytes = rowBytes * (packed ? count : 1);
        std::uint8_t* row = to + pitch * static_cast<std::ptrdiff_t>(y);
        std::uint64_t got = 0;
        try {
            got = ReadFileAt(rowsFile_, row, bytes,
                             rasterStart_ + std::uint64_t{first + y} * rowBytes);
        } catch (const IOException& error) {
            ThrowCodeError(error.error);
        }
        if (got == bytes) continue;
        std::fill(row + got, row + bytes, std::uint8_t{0});
        incomplete_ = true;
    }
}

// Reads one row of the file into fileRow_, zero-filling what the file no longer holds.
bool CAnymapStripReader::ReadFileRow() {
    const auto size = static_cast<std::streamsize>(fileRow_.size());
    std::streamsize got = incomplete_
                              ? 0
                              : std::max<std::streamsize>(
                                    0, file_.sgetn(reinterpret_cast<char*>(fileRow_.data()), size));
    // A 16-bit sample that lost its low byte is missing as a whole.
    if (header_.maxval > 255) got -= got % 2;
    std::fill(fileRow_.begin() + got, fileRow_.end(), std::uint8_t{0});
    return got == size;
}

std::unique_ptr<CPixMap> CAnymapStripReader::ReadStrip(std::uint32_t rows) {
    rows = std::min(rows, header_.height - nextRow_);
    std::unique_ptr<CPixMap> strip;
    try {
        strip = CreatePixMap({0, nextRow_, header_.width, nextRow_ + rows}, mode_);
    } catch (const IOException&) {
        throw ImageFileError(kImageCreationFailed);
    }
    if (!strip) throw ImageFileError(kImageCreationFailed);
    const int channels = AnymapChannels(header_.magic);
    const ByteSampleScale scale(header_.maxval);
    for (std::uint32_t y = 0; y < rows; ++y) {
        if (!WithAnymapReadErrors([this] { return ReadFileRow(); })) incomplete_ = true;
        if (header_.maxval > 255)
            StoreWordRow(fileRow_.data(), strip->Row(y), header_.width, channels, header_.maxval);
        else
            StoreByteRow(fileRow_.data(), strip->Row(y), fileRow_.size(), channels, scale);
    }
    nextRow_ += rows;
    return strip;
}

AnymapFileRows::AnymapFileRows(std::unique_ptr<CAnymapStripReader> reader, std::uint64_t stripBytes)
    : reader_(std::move(reader)) {
    const std::uint64_t rowBytes =
        RowBytes(FindModeLayout(reader_->Mode())->bitsPerPixel, reader_->Width());
    stripRows_ = static_cast<std::uint32_t>(std::clamp<std::uint64_t>(
        stripBytes / std::max<std::uint64_t>(rowBytes, 1), 1, std::max(reader_->Height(), 1u)));
}

bool AnymapFileRows::RowsRedFirst(std::uint32_t first, std::uint32_t count, std::uint8_t* to,
                                  std::ptrdiff_t pitch) {
    if (!reader_->ReadsRowsAsStored()) return false;
    if (first > Height() || count > Height() - first) ThrowCodeError(EINVAL);
    reader_->ReadRowsAsStored(first, count, to, pitch);
    return true;
}

const std::uint8_t* AnymapFileRows::Rows(std::uint32_t first, std::uint32_t count,
                                         std::ptrdiff_t& pitch) {
    if (first != reader_->NextRow() || count > stripRows_) ThrowCodeError(EINVAL);
    strip_.reset();
    strip_ = reader_->ReadStrip(count);
    pitch = strip_->Stride();
    return strip_->Row(0);
}
