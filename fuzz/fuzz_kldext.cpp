// Opens a container from the input, reads regions at several levels and scaled, then writes a
// region losslessly, which must read back from the container, from a reopened copy of its bytes
// and from a reorganised copy. Indexed tiles carry colour tables of their own, so an indexed
// region reads back the same colours, not the same indices, and only when the colours of the
// touched tiles and of the region fit one table; otherwise the copies must read what the
// container itself reads back.
#include "fuzz_support.h"
#include "kld_ext.h"
#include "pixmap_factory.h"
#include "qvt_error.h"
#include "tile_codec.h"
#include "tile_range.h"

#include <memory>
#include <set>

namespace {

// The budgets the application opens containers with.
constexpr std::uint64_t kDecodedCacheBytes = 0x500000;
constexpr std::uint64_t kDecoderCacheBytes = 0x400000;
constexpr std::uint64_t kMaxCyclePixels = 4 * 256 * 256;

// A growable stream holding the bytes, so that writes may extend the file.
std::unique_ptr<CQVTMemoryStream> StreamHolding(const std::uint8_t* data, std::size_t size) {
    auto stream = std::make_unique<CQVTMemoryStream>(size + 1);
    WriteBytes(*stream, data, size);
    stream->SetPos(PosFromStart, 0);
    return stream;
}

std::unique_ptr<CPixMap> ReadMap(CKLDExt& container, const PixRect& rect, int level) {
    auto map = CreatePixMap(rect, container.Mode());
    Require(map != nullptr, "an open container has a mode without pixel maps");
    container.ReadRegion(*map, level);
    return map;
}

void ReadEverywhere(CKLDExt& container) {
    for (const PixRect& rect : ProbeRegions(container.Width(), container.Height(), 80)) {
        for (int level : {2, 1, 0})
            ReadMap(container, rect, level);
        auto scaled = CreatePixMap(rect, container.Mode());
        container.ReadRegionScaled(scaled, 16, 16);
    }
}

// Bytes of the container's stream after `open` took it over.
std::vector<std::uint8_t> Contents(const CQVTMemoryStream& stream) {
    return {stream.Data(), stream.Data() + stream.DataSize()};
}

// The colour (blue, green, red) of a pixel of an indexed map, or of an RGB map.
std::uint32_t ColorAt(const CPixMap& map, std::uint32_t x, std::uint32_t y) {
    const std::uint8_t* pixel = map.Row(y) + (map.GetMode() == ModeIndexed ? x : 3 * x);
    if (map.GetMode() == ModeIndexed) pixel = map.GetColorTable() + 4 * *pixel;
    return pixel[0] | pixel[1] << 8 | pixel[2] << 16;
}

std::set<std::uint32_t> ColorsOf(const CPixMap& map) {
    std::set<std::uint32_t> colors;
    for (std::uint32_t y = 0; y < map.Height(); ++y)
        for (std::uint32_t x = 0; x < map.Width(); ++x)
            colors.insert(ColorAt(map, x, y));
    return colors;
}

// Indexed maps with tables match when their indices select the same colours.
bool SameImage(const CPixMap& a, const CPixMap& b) {
    if (a.GetMode() != ModeIndexed || !a.GetColorTable() || !b.GetColorTable())
        return SamePixels(a, b);
    if (a.GetMode() != b.GetMode() || a.Rect() != b.Rect()) return false;
    for (std::uint32_t y = 0; y < a.Height(); ++y)
        for (std::uint32_t x = 0; x < a.Width(); ++x)
            if (ColorAt(a, x, y) != ColorAt(b, x, y)) return false;
    return true;
}

// Whether an indexed patch can keep its colours: the old colours of the tiles it touches (read in
// RGB, each tile with its own table) must fit one table to be read in exactly, and those it leaves
// must fit one beside the patch's; one entry stays the background's.
bool FitsOneTable(CKLDExt& container, const CPixMap& patch) {
    if (patch.GetMode() != ModeIndexed || !patch.GetColorTable()) return true;
    const PixRect covered =
        CTileRange(container.Header(), *container.Ordering(), patch.Rect()).Covered();
    const auto old = container.ReadRegionReduced(covered, 0);
    std::set<std::uint32_t> all;
    std::set<std::uint32_t> beside = ColorsOf(patch);
    const PixRect& inside = patch.Rect();
    for (std::uint32_t y = 0; y < old->Height(); ++y)
        for (std::uint32_t x = 0; x < old->Width(); ++x) {
            const std::uint32_t color = ColorAt(*old, x, y);
            all.insert(color);
            const std::uint32_t imageX = x + covered.left, imageY = y + covered.top;
            if (imageX < inside.left || imageX >= inside.right || imageY < inside.top ||
                imageY >= inside.bottom)
                beside.insert(color);
        }
    return all.size() < 256 && beside.size() < 256;
}

void CheckReadsBack(const std::vector<std::uint8_t>& bytes, const CPixMap& written,
                    const char* what) {
    CKLDExt copy;
    copy.Open(StreamHolding(bytes.data(), bytes.size()), kDecodedCacheBytes, kDecoderCacheBytes);
    Require(SameImage(*ReadMap(copy, written.Rect(), 0), written), what);
}

// Pixels of the whole tiles that `rect` touches.
std::uint64_t TouchedTilePixels(const CKLDExt& container, const PixRect& rect) {
    const std::uint64_t tw = container.TileWidth();
    const std::uint64_t th = container.TileHeight();
    const std::uint64_t columns = (rect.right - 1) / tw - rect.left / tw + 1;
    const std::uint64_t rows = (rect.bottom - 1) / th - rect.top / th + 1;
    return columns * tw * rows * th;
}

// A damaged container may refuse the write or the reorganisation; what it accepted must read
// back, so failures after that are findings. When the patch touches many or big tiles the
// container only opens and reads: the cycle re-codes the touched tiles several times, which
// would spend the time limit without reaching code that small ones do not.
void CheckWriteReadCycle(CKLDExt& container, const CQVTMemoryStream& stream) {
    const auto regions = ProbeRegions(container.Width(), container.Height(), 40);
    if (regions.empty() || TouchedTilePixels(container, regions[1]) > kMaxCyclePixels) return;
    const auto patch = PatternPixMap(regions[1], container.Mode(), 5);
    if (!patch) return;
    bool fits = false;
    try {
        fits = FitsOneTable(container, *patch);
        container.WriteRegion(*patch, 0, 0, 2, KLD::KindPng);
    } catch (const IOException&) {
        return;
    }
    const auto readBack = ReadMap(container, patch->Rect(), 0);
    Require(!fits || SameImage(*readBack, *patch), "a lossless write does not read back");
    const CPixMap& written = fits ? *patch : *readBack;
    CheckReadsBack(Contents(stream), written,
                   "a lossless write does not read back after reopening");

    CQVTMemoryStream compacted(1024);
    try {
        container.Reorganize(compacted);
    } catch (const IOException&) {
        return;
    }
    CheckReadsBack(Contents(compacted), written, "a reorganised copy lost a written region");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto owned = StreamHolding(data, size);
    const CQVTMemoryStream& stream = *owned;
    CKLDExt container;
    try {
        container.Open(std::move(owned), kDecodedCacheBytes, kDecoderCacheBytes);
        ReadEverywhere(container);
    } catch (const IOException&) {
        return 0;
    }
    CheckWriteReadCycle(container, stream);
    return 0;
}
