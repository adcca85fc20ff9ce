// Binary graymaps and pixmaps (P5, P6; 8- or 16-bit samples) read a strip of rows at a time, so
// that an image larger than memory can be passed on piece by piece.
#pragma once

#include "anymap_header.h"
#include "pix_map.h"

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

private:
    CAnymapStripReader() = default;
    bool ReadFileRow();

    std::filebuf file_;
    AnymapHeader header_;
    ImageMode mode_ = ModeGray;
    std::uint32_t nextRow_ = 0;
    bool incomplete_ = false;
    std::vector<std::uint8_t> fileRow_;
};
