#include "last_level_rows.h"

#include "export_area.h"
#include "lifting.h"
#include "pixel_export.h"
#include "qvt_error.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Band rows rebuilt at a time: a multiple of 8, so that every strip starts a strip of the 8 × 8
// order. The rows of 16 take a few hundred kilobytes for a 2000-pixel-wide image, which the
// processor's caches keep between the steps.
constexpr std::uint32_t kStripRows = 16;
// The window holds the rows a strip rebuilds and the few the steps still work on before it.
constexpr std::size_t kWindowRows = 2 * kStripRows + 8;
// Where each detail band's rows go in the rows of the level, in split form (lows, then highs):
// HL to the highs of even rows, LH to the lows and HH to the highs of odd rows.
constexpr std::array<std::size_t, 3> kBandRowOffset{0, 1, 1};
constexpr std::array<bool, 3> kBandInHighs{true, false, true};

SampleBuffer Samples(std::uint64_t count) {
    SampleBuffer buffer = TryAllocateSamples(count);
    if (!buffer) ThrowCodecError(ErrorOutOfMemory);
    return buffer;
}

} // namespace

CLastLevelRows::CLastLevelRows(const ChannelImage& lowPlanes, const std::array<int, 3>& shifts,
                               CBlockDecoder& decoder, std::uint64_t codeBytes)
    : m_image(lowPlanes), m_shifts(shifts) {
    const std::uint32_t width = m_image.width;
    const std::uint32_t height = m_image.height;
    m_bandWidths = {width / 2, static_cast<std::uint32_t>(LowCount(width)), width / 2};
    m_bandHeights = {(height + 1) / 2, height / 2, height / 2};
    std::vector<std::uint64_t> starts;
    std::uint64_t count = 0;
    for (int c = 0; c < m_image.channels; ++c) {
        std::array<std::uint64_t, 3>& bandStarts = m_bandStarts.emplace_back();
        for (std::size_t b = 0; b < 3; ++b) {
            bandStarts[b] = count;
            starts.push_back(count);
            count += std::uint64_t{m_bandWidths[b]} * m_bandHeights[b];
        }
    }
    m_blocks =
        std::make_unique<CStoredBlocks>(decoder, count, 3 * m_image.channels, starts, codeBytes);

    const bool lift = height >= 5;
    m_channels.resize(m_image.channels);
    for (int c = 0; c < m_image.channels; ++c) {
        Channel& channel = m_channels[static_cast<std::size_t>(c)];
        channel.window = Samples(std::uint64_t{kWindowRows} * width);
        channel.rowScratch = Samples(width);
        const auto at = [this, &channel](std::size_t row) { return WindowRow(channel, row); };
        // A pair's odd row lies in the window as placed, so pairs merge as single rows do.
        const auto merge = [this, c](std::size_t row) { MergeRow(c, row); };
        channel.steps = std::make_unique<RowSteps>(
            at, height, lift, width, merge, merge, [at, &channel, width](std::size_t row) {
                InverseRowStep(at(row), width, channel.rowScratch.get());
            });
    }
}

std::int32_t* CLastLevelRows::WindowRow(const Channel& channel, std::size_t row) const {
    return channel.window.get() + (row - m_windowFirst) * m_image.width;
}

// The detail bands' rows lie in the window already; the low samples of an even row come from
// the LL band. Odd rows are complete as placed.
void CLastLevelRows::MergeRow(int c, std::size_t row) {
    const SamplePlane& low = m_image.planes[static_cast<std::size_t>(c)];
    std::memcpy(WindowRow(m_channels[static_cast<std::size_t>(c)], row),
                low.samples + row / 2 * low.stride, LowCount(m_image.width) * sizeof(std::int32_t));
}

void CLastLevelRows::DecodeStrip() {
    const std::uint32_t width = m_image.width;
    // The rows merged but not yet stepped move to the front of the window.
    const std::size_t merged =
        std::min<std::size_t>(2 * std::size_t{m_bandRowsPlaced}, m_image.height);
    for (Channel& channel : m_channels)
        std::memmove(channel.window.get(), WindowRow(channel, m_nextRow),
                     (merged - m_nextRow) * width * sizeof(std::int32_t));
    m_windowFirst = m_nextRow;
    const std::uint32_t lowRows = m_bandHeights[0];
    const std::uint32_t stripFirst = m_bandRowsPlaced;
    m_bandRowsPlaced = std::min(stripFirst + kStripRows, lowRows);
    const std::size_t lows = LowCount(width);
    for (int c = 0; c < m_image.channels; ++c) {
        const Channel& channel = m_channels[static_cast<std::size_t>(c)];
        for (std::size_t b = 0; b < 3; ++b) {
            const std::uint32_t from = std::min(stripFirst, m_bandHeights[b]);
            const std::uint32_t to = std::min(m_bandRowsPlaced, m_bandHeights[b]);
            if (to > from)
                m_blocks->Place(3 * c + static_cast<int>(b),
                                m_bandStarts[static_cast<std::size_t>(c)][b] +
                                    std::uint64_t{from} * m_bandWidths[b],
                                m_bandWidths[b], to - from,
                                WindowRow(channel, 2 * std::size_t{from} + kBandRowOffset[b]) +
                                    (kBandInHighs[b] ? lows : 0),
                                2 * std::uint64_t{width}, m_shifts[b]);
        }
    }
    const std::size_t mergeable =
        m_bandRowsPlaced == lowRows ? m_image.height : 2 * std::size_t{m_bandRowsPlaced};
    const std::size_t stepped = m_stepped;
    for (Channel& channel : m_channels)
        m_stepped = channel.steps->Advance(mergeable);
    if (m_stepped == stepped) ThrowCodecError(ErrorWrongFormat);
}

void CLastLevelRows::ExportRows(std::uint32_t first, std::uint32_t count, std::uint8_t* bits,
                                std::ptrdiff_t pitch, std::uint32_t bitsPerPixel,
                                const PixelExchange& how) {
    if (m_error != 0) ThrowCodecError(m_error);
    if (first != m_nextRow || count > m_image.height - first) ThrowCodecError(EINVAL);
    try {
        const std::uint32_t end = first + count;
        while (m_nextRow < end) {
            if (m_stepped == m_nextRow) DecodeStrip();
            const auto rows =
                static_cast<std::uint32_t>(std::min<std::size_t>(m_stepped, end) - m_nextRow);
            ChannelImage part = m_image;
            part.height = rows;
            for (int c = 0; c < m_image.channels; ++c)
                part.planes[static_cast<std::size_t>(c)] = {
                    WindowRow(m_channels[static_cast<std::size_t>(c)], m_nextRow), m_image.width,
                    rows, m_image.width};
            const ExportArea area = WholeImageArea(part);
            ::ExportPixelRows(part, bits + pitch * static_cast<std::ptrdiff_t>(m_nextRow - first),
                              pitch, bitsPerPixel, how, &area);
            m_nextRow += rows;
        }
    } catch (const IOException& error) {
        m_error = error.error;
        throw;
    }
}
