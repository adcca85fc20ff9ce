// Binary graymaps and pixmaps (P5, P6; 8- or 16-bit samples) read a strip of rows at a time, so
// that an image larger than memory can be passed on piece by piece.
#pragma once

#include "anymap_header.h"
#include "image_rows.h"
#include "pix_map.h"

#include <atomic>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

class CAnymapStripReader {
public:
    // Opens the file and reads its header; null for the other anymap variants (plain text and
    // bitmaps), which are read whole. Throws ImageFileError as ReadAnymapFile does.
    static std::unique_ptr<CAnymapStripReader> Open(const std::string& path);

    std::uint32_t Width() const { return header_.width; }
    std::uint32_t Height() const { return header_.height; }
    // Gray or RGB for 8-bit samples, Gray16 or RGB48 for 16-bit ones.
    ImageMode Mode() const { return mode_; }
    // The maxval: 8-bit samples are scaled from it to 0 ... 255, 16-bit ones kept as they are.
    std::uint32_t MaxChannelValue() const { return header_.maxval; }
    // The first row the next strip starts with.
    std::uint32_t NextRow() const { return nextRow_; }
    // Set once the file ended before a row that was read; the missing samples are 0.
    bool Incomplete() const { return incomplete_; }

    // The next `rows` rows (fewer at the end of the image) as a map over (0, NextRow()) -
    // (width, NextRow() + rows), with the samples ReadAnymapFile gives. Throws ImageFileError
    // ("Image creation failed.") when memory runs out.
    std::unique_ptr<CPixMap> ReadStrip(std::uint32_t rows);

    // Whether ReadRowsAsStored can read this file: a regular file of 8-bit samples at full range
    // (maxval 255), whose rows are the samples themselves, colour pixels red first.
    bool ReadsRowsAsStored() const { return rowsFile_ >= 0; }
    // Rows first … first + count - 1 (which must lie in the image) as the file holds them,
    // `pitch` bytes apart, each read at its place in the file: threads may read rows of their own
    // at once, and NextRow() stays as it was. What the file no longer holds is 0, as in
    // ReadStrip. Throws ImageFileError for a failed read.
    void ReadRowsAsStored(std::uint32_t first, std::uint32_t count, std::uint8_t* to,
                          std::ptrdiff_t pitch);

    ~CAnymapStripReader();
    CAnymapStripReader(const CAnymapStripReader&) = delete;
    CAnymapStripReader& operator=(const CAnymapStripReader&) = delete;

private:
    CAnymapStripReader() = default;
    bool ReadFileRow();
    void OpenRowsFile(const std::string& path);

    std::filebuf file_;
    AnymapHeader header_;
    ImageMode mode_ = ModeGray;
    std::uint32_t nextRow_ = 0;
    std::atomic<bool> incomplete_ = false;
    std::vector<std::uint8_t> fileRow_;
    // A descriptor of the file for ReadRowsAsStored (-1: none), and where its rows begin.
    int rowsFile_ = -1;
    std::uint64_t rasterStart_ = 0;
};

// A reader's strips as an ImageRowSource of strips about `stripBytes` large, for writers that
// take the rows in order from the top (Rows throws EINVAL for any other row).
class AnymapFileRows final : public ImageRowSource {
public:
    explicit AnymapFileRows(std::unique_ptr<CAnymapStripReader> reader,
                            std::uint64_t stripBytes = std::uint64_t{1} << 20);

    ImageMode Mode() const override { return reader_->Mode(); }
    std::uint32_t Width() const override { return reader_->Width(); }
    std::uint32_t Height() const override { return reader_->Height(); }
    std::uint32_t MaxChannelValue() const override { return reader_->MaxChannelValue(); }
    std::uint32_t StripRows() const override { return stripRows_; }
    const std::uint8_t* Rows(std::uint32_t first, std::uint32_t count,
                             std::ptrdiff_t& pitch) override;
    // Any rows, on any thread, where the reader reads rows as stored.
    bool RowsRedFirst(std::uint32_t first, std::uint32_t count, std::uint8_t* to,
                      std::ptrdiff_t pitch) override;
    bool RowsRedFirstOnAnyThread() const override { return reader_->ReadsRowsAsStored(); }
    bool Incomplete() const { return reader_->Incomplete(); }

private:
    std::unique_ptr<CAnymapStripReader> reader_;
    std::uint32_t stripRows_;
    std::unique_ptr<CPixMap> strip_;
};
