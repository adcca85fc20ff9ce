// The full-size rows of an image decoded down to level 1, the last level decoded a strip of rows
// at a time as the rows are asked for, so that neither its bands nor the full-size planes are
// ever held whole: a decode into a file holds a quarter of the samples a whole decode holds.
#pragma once

#include "channel_image.h"
#include "inverse_row_steps.h"
#include "qvt_memory.h"
#include "stored_blocks.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class CLastLevelRows {
public:
    // `lowPlanes` describes the decoded planes of level 1 (the LL band of level 1 of every
    // channel, no channel halved) and how the rows are exported; width and height are those of
    // the full image. Its detail bands are the values of `blocks` from `first` on, channel by
    // channel, HL, LH and HH each in 8 × 8 order, to be dequantised by `shifts` (HL, LH, HH).
    // The planes must outlive this object.
    CLastLevelRows(const ChannelImage& lowPlanes, const std::array<int, 3>& shifts,
                   std::unique_ptr<CStoredBlocks> blocks, std::uint64_t first);
    CLastLevelRows(const CLastLevelRows&) = delete;
    CLastLevelRows& operator=(const CLastLevelRows&) = delete;

    // Where the detail bands of the last level of an image `width` × `height` begin, channel by
    // channel, HL, LH and HH, when their values begin at `first`; last, the value after them.
    static std::vector<std::uint64_t> BandStarts(std::uint32_t width, std::uint32_t height,
                                                 int channels, std::uint64_t first);

    // Splits the rows into at most `runs` runs of about equal size, which can be exported at the
    // same time, each on a thread of its own, and returns each run's first row. Only before any
    // row is exported (EINVAL otherwise); an image too short for runs stays one.
    std::vector<std::uint32_t> SplitIntoRuns(int runs);

    // Exports rows first … first + count - 1 of the full image as ExportPixelRows does, decoding
    // the last level as far as they need. A run's rows come in order from its first, and a call
    // stays within one run: anything else throws EINVAL. A failed decode throws its error again
    // at every later call for the run.
    void ExportRows(std::uint32_t first, std::uint32_t count, std::uint8_t* bits,
                    std::ptrdiff_t pitch, std::uint32_t bitsPerPixel, const PixelExchange& how);
    // Exports every row, split into runs on `threads` threads. Throws the error of the first
    // run that fails.
    void ExportAll(std::uint8_t* bits, std::ptrdiff_t pitch, std::uint32_t bitsPerPixel,
                   const PixelExchange& how, int threads);

private:
    using RowSteps =
        InverseRowSteps<std::function<std::int32_t*(std::size_t)>, std::function<void(std::size_t)>,
                        std::function<void(std::size_t)>, std::function<void(std::size_t)>>;
    struct Channel {
        // Rows of the level from the run's windowFirst on: those stepped but not yet exported,
        // those merged but not yet stepped and those of the strip placed but not yet merged.
        SampleBuffer window;
        SampleBuffer rowScratch;
        std::unique_ptr<RowSteps> steps;
    };
    // Rows first … end - 1, rebuilt on their own from the band rows from first / 2 - 1 to
    // end / 2 (the rows the steps read above and below them).
    struct Run {
        std::uint32_t first = 0;
        std::uint32_t end = 0;
        std::unique_ptr<CStoredBlocks> blocks;
        std::vector<Channel> channels;
        // Band values of an 8-row strip that only some rows of are placed.
        SampleBuffer stripScratch;
        std::uint32_t bandRowsPlaced = 0; // from the top, in the LL band's rows
        std::size_t windowFirst = 0;
        std::size_t stepped = 0;
        std::uint32_t nextRow = 0;
        std::uint32_t error = 0;
    };

    // A run without memory yet, which PrepareRun gives it; runs other than the first share the
    // first's blocks.
    std::unique_ptr<Run> MakeRun(std::uint32_t first, std::uint32_t end,
                                 std::unique_ptr<CStoredBlocks> blocks);
    void PrepareRun(Run& run);
    // Places the next strip of band rows and steps the rows it lets finish.
    void DecodeStrip(Run& run);
    void PlaceBandRows(Run& run, int c, std::size_t b, std::uint32_t from, std::uint32_t to);
    void PlaceFromStrip(Run& run, int c, std::size_t b, std::uint32_t from, std::uint32_t to);
    std::int32_t* BandRowInWindow(const Run& run, int c, std::size_t b, std::uint32_t row) const;
    void MergeRow(const Run& run, int c, std::size_t row);
    std::int32_t* WindowRow(const Run& run, const Channel& channel, std::size_t row) const;

    ChannelImage m_image;
    std::array<int, 3> m_shifts;
    // HL, LH and HH; the LL band has the rows of HL and the columns of LH.
    std::array<std::uint32_t, 3> m_bandWidths{};
    std::array<std::uint32_t, 3> m_bandHeights{};
    // Where each band's values begin, per channel.
    std::vector<std::array<std::uint64_t, 3>> m_bandStarts;
    std::vector<std::unique_ptr<Run>> m_runs;
};
