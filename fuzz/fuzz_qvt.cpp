// Decodes QVT data from memory the ways a document does: level by level from the coarsest with
// every level exported, regions at two levels; as a file is decoded into an anymap, for rows,
// which must give the same pixels; and for small images a lossless re-encode of the decoded
// pixels that must decode to the same pixels.
#include "fuzz_support.h"
#include "qvt_error.h"
#include "qvt_format.h"
#include "qvt_image.h"
#include "qvt_memory.h"

#include <algorithm>
#include <vector>

namespace {

// Exports larger than this are skipped: the decoder has already proved it can hold the image,
// and copying it out again only slows the search down.
constexpr std::uint64_t kMaxExportBytes = std::uint64_t{64} << 20;
// Images up to this many pixels are re-encoded.
constexpr std::uint64_t kMaxRoundTripPixels = 64 * 64;

struct ExportedPixels {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint64_t pitch = 0;
    std::vector<std::uint8_t> bytes;
};

ExportedPixels Export(CQVTImage& qvt) {
    ExportedPixels pixels;
    pixels.width = qvt.ExportWidth();
    pixels.height = qvt.ExportHeight();
    const std::uint32_t bitsPerPixel = qvt.Header().bitsPerPixel;
    pixels.pitch = (std::uint64_t{pixels.width} * bitsPerPixel + 31) / 32 * 4;
    const std::uint64_t bytes = pixels.pitch * pixels.height;
    if (bytes == 0 || bytes > kMaxExportBytes) return pixels;
    pixels.bytes.resize(bytes);
    qvt.ExportPixels(static_cast<std::ptrdiff_t>(pixels.pitch), pixels.bytes.data(), bitsPerPixel);
    return pixels;
}

int CoarsestLevel(const CQVTImage& qvt) { return std::max(0, qvt.Header().levels - 1); }

// The pixels at full size, read from the coarsest level down with every level exported.
ExportedPixels ReadProgressively(CQVTStream& stream, CQVTImage& qvt) {
    qvt.Open(stream);
    ExportedPixels pixels;
    for (int level = CoarsestLevel(qvt); level >= 0; --level) {
        qvt.Read(level);
        pixels = Export(qvt);
    }
    return pixels;
}

void ReadRegions(std::vector<std::uint8_t> data) {
    CQVTMemoryStream stream(data.data(), data.size());
    CQVTImage qvt;
    qvt.SetThreadCount(1);
    qvt.Open(stream);
    const QVTHeader& header = qvt.Header();
    for (const PixRect& rect : ProbeRegions(header.width, header.height, 96)) {
        qvt.ReadRegion(rect, std::min(1, CoarsestLevel(qvt)));
        Export(qvt);
        qvt.ReadRegion(rect, 0);
        Export(qvt);
    }
}

// A read for rows, its rows exported a few at a time, gives the pixels of a whole read; so does
// one split into two runs, the lower run's rows exported first.
void CheckReadForRows(std::vector<std::uint8_t> data, const ExportedPixels& full, int runs) {
    CQVTMemoryStream stream(data.data(), data.size());
    CQVTImage qvt;
    qvt.SetThreadCount(1);
    qvt.Open(stream);
    if (!qvt.ReadForRows()) return;
    Require(qvt.ExportWidth() == full.width && qvt.ExportHeight() == full.height,
            "a read for rows has another size than a whole read");
    std::vector<std::uint32_t> firsts = qvt.SplitRowsIntoRuns(runs);
    std::vector<std::uint8_t> rows(full.bytes.size());
    const auto pitch = static_cast<std::ptrdiff_t>(full.pitch);
    for (std::size_t r = firsts.size(); r-- > 0;) {
        const std::uint32_t end = r + 1 < firsts.size() ? firsts[r + 1] : full.height;
        for (std::uint32_t first = firsts[r]; first < end; first += 7)
            qvt.ExportPixelRows(first, std::min(7u, end - first), pitch,
                                rows.data() + pitch * first, qvt.Header().bitsPerPixel);
    }
    Require(rows == full.bytes, "a read for rows gives other pixels than a whole read");
}

// Lossless coding must give back exactly the pixels it was given.
void CheckLosslessRoundTrip(const CQVTImage& decoded, const ExportedPixels& pixels) {
    // A channel count that disagrees with the mode describes no image a writer is given: the
    // reader exports such planes as best it can, and nothing promises their pixels survive.
    if (decoded.Header().channels != ChannelsFromMode(decoded.Header().mode)) return;
    QVTHeader header;
    header.width = pixels.width;
    header.height = pixels.height;
    header.mode = decoded.Header().mode;
    header.channels = decoded.Header().channels;
    header.bitsPerPixel = decoded.Header().bitsPerPixel;
    CQVTImage writer;
    writer.SetThreadCount(1);
    ColorTable table{};
    decoded.GetColorTable(0, 256, table.data());
    try {
        writer.SetHeader(header);
        writer.SetColorTable(0, 256, table.data());
        writer.ImportPixels(static_cast<std::ptrdiff_t>(pixels.pitch), pixels.bytes.data(),
                            header.bitsPerPixel);
    } catch (const IOException&) {
        // A header the writer does not make, such as a mode only older writers used, or more
        // channels than the mode's pixels hold (a reader may still export those as bytes).
        return;
    }
    CQVTMemoryStream stream(1024);
    writer.Write(stream);
    stream.SetPos(PosFromStart, 0);

    CQVTImage reader;
    reader.SetThreadCount(1);
    reader.Open(stream);
    reader.Read(0);
    const ExportedPixels again = Export(reader);
    Require(again.bytes == pixels.bytes, "a lossless re-encode decodes to other pixels");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> input(data, data + size);
    std::vector<std::uint8_t> bytes = input;
    CQVTMemoryStream stream(bytes.data(), bytes.size());
    CQVTImage qvt;
    qvt.SetThreadCount(1);
    ExportedPixels full;
    try {
        full = ReadProgressively(stream, qvt);
    } catch (const IOException&) {
        return 0;
    }
    try {
        ReadRegions(input);
    } catch (const IOException&) {
    }
    if (!full.bytes.empty()) {
        CheckReadForRows(input, full, 1);
        CheckReadForRows(input, full, 2);
    }
    const std::uint64_t pixelCount = std::uint64_t{full.width} * full.height;
    if (!full.bytes.empty() && pixelCount <= kMaxRoundTripPixels) CheckLosslessRoundTrip(qvt, full);
    return 0;
}
