#include "anymap_strips.h"

#include "anymap_rows.h"
#include "mode_layout.h"
#include "pixmap_factory.h"
#include "qvt_error.h"
#include "raster_image.h"

#include <algorithm>
#include <cerrno>

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
    return reader;
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

const std::uint8_t* AnymapFileRows::Rows(std::uint32_t first, std::uint32_t count,
                                         std::ptrdiff_t& pitch) {
    if (first != reader_->NextRow() || count > stripRows_) ThrowCodeError(EINVAL);
    strip_.reset();
    strip_ = reader_->ReadStrip(count);
    pitch = strip_->Stride();
    return strip_->Row(0);
}
