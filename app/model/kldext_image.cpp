#include "kldext_image.h"

#include "anymap_file.h"
#include "memory_budget.h"
#include "pixmap_factory.h"
#include "qvt_error.h"
#include "qvt_format.h"
#include "safe_save.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// The cache budgets of an open container: decoded tiles, and decoders kept for finer reads.
constexpr std::uint64_t kDecodedCacheBytes = 0x500000;
constexpr std::uint64_t kDecoderCacheBytes = 0x400000;

[[noreturn]] void ThrowErrno() { ThrowCodeError(static_cast<std::uint32_t>(errno)); }

// Runs container work, turning its codes into the messages the user is shown.
template <typename Work>
auto Shown(Work work) {
    try {
        return work();
    } catch (const IOException& error) {
        ThrowCodeError(error.error);
    }
}

// An open-file-description lock over the whole file: it conflicts with every other open of the
// file, in this process too, and goes with the descriptor.
bool LockWhole(int fd, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// Whether anyone holds a lock on the file at `path` (an absent file is not in use).
bool InUse(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    const bool probed = ::fcntl(fd, F_OFD_GETLK, &lock) == 0;
    ::close(fd);
    return probed && lock.l_type != F_UNLCK;
}

// Closes a descriptor unless released.
struct ClosingFd {
    int fd;
    ~ClosingFd() {
        if (fd >= 0) ::close(fd);
    }
    int Release() { return std::exchange(fd, -1); }
};

} // namespace

CKLDExtImage::~CKLDExtImage() { CloseFile(); }

void CKLDExtImage::CloseFile() {
    Close();
    reducedTiles_.clear();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    readOnly_ = false;
}

void CKLDExtImage::CreateFile(const std::string& path, const KLDExtHeader& header,
                              std::uint32_t previewWidth, std::uint32_t previewHeight) {
    CloseFile();
    // Not truncated on opening: a file another window is writing stays as it is.
    ClosingFd file{::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)};
    if (file.fd < 0) ThrowErrno();
    if (!LockWhole(file.fd, F_WRLCK)) throw ImageFileError(kContainerInUse);
    if (::ftruncate(file.fd, 0) != 0) ThrowErrno();
    Shown([&] {
        Create(file.fd, header, previewWidth, previewHeight, {});
        Close();
        Open(file.fd, kDecodedCacheBytes, kDecoderCacheBytes);
    });
    fd_ = file.Release();
    path_ = path;
}

void CKLDExtImage::OpenDescriptor(const std::string& path) {
    ClosingFd file{::open(path.c_str(), O_RDWR | O_CLOEXEC)};
    bool readOnly = false;
    if (file.fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        file.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        readOnly = true;
    }
    if (file.fd < 0) ThrowErrno();
    if (!LockWhole(file.fd, readOnly ? F_RDLCK : F_WRLCK)) throw ImageFileError(kContainerInUse);
    fd_ = file.Release();
    readOnly_ = readOnly;
    path_ = path;
}

bool CKLDExtImage::OpenFile(const std::string& path) {
    CloseFile();
    OpenDescriptor(path);
    try {
        return Shown([&] { return Open(fd_, kDecodedCacheBytes, kDecoderCacheBytes); });
    } catch (...) {
        CloseFile();
        throw;
    }
}

bool CKLDExtImage::IsOwnFile(const std::string& path) const {
    struct stat own {};
    struct stat other {};
    return fd_ >= 0 && ::fstat(fd_, &own) == 0 && ::stat(path.c_str(), &other) == 0 &&
           own.st_dev == other.st_dev && own.st_ino == other.st_ino;
}

int CKLDExtImage::RenameFile(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str());
}

void CKLDExtImage::WriteCopy(const std::string& target, bool checkTarget, ProgressCallback progress,
                             void* data) {
    if (checkTarget && IsOwnFile(target)) throw ImageFileError(kContainerItself);
    if (checkTarget && InUse(target)) throw ImageFileError(kContainerInUse);
    std::string temporary = target + ".XXXXXX";
    ClosingFd file{::mkstemp(temporary.data())};
    if (file.fd < 0) ThrowErrno();
    try {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        if (::fchmod(file.fd, 0666 & ~mask) != 0) ThrowErrno();
        Shown([&] {
            CQVTFileStream stream(file.fd);
            Reorganize(stream, progress, data);
        });
        if (::close(file.Release()) != 0) ThrowErrno();
        if (RenameFile(temporary, target) != 0) ThrowErrno();
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
}

void CKLDExtImage::ReorganizeTo(const std::string& target, ProgressCallback progress, void* data) {
    WriteCopy(target, true, progress, data);
}

void CKLDExtImage::ReorganizeInPlace(ProgressCallback progress, void* data) {
    if (readOnly_) ThrowCodeError(EACCES);
    const std::string path = path_;
    WriteCopy(path, false, progress, data);
    // The descriptor still reaches the replaced file; the copy is the container now.
    OpenFile(path);
}

CKLDExtImage::RegionRead CKLDExtImage::PlanRead(const ExportRect& region, double scale) const {
    const auto part = CopiedPart(region, Width(), Height());
    if (!part) ThrowCodeError(EINVAL);
    RegionRead read;
    const auto w = static_cast<std::uint32_t>(part->width);
    const auto h = static_cast<std::uint32_t>(part->height);
    read.rect = {static_cast<std::uint32_t>(part->left), static_cast<std::uint32_t>(part->top),
                 static_cast<std::uint32_t>(part->left) + w,
                 static_cast<std::uint32_t>(part->top) + h};
    scale = std::min(scale, 1.0);
    // Tiny regions at small scales still read one pixel.
    read.width = std::max<std::uint32_t>(1, static_cast<std::uint32_t>(w * scale));
    read.height = std::max<std::uint32_t>(1, static_cast<std::uint32_t>(h * scale));
    const PreviewScales scales = Scales();
    if (scale < 1 && UsablePreview() && read.width * scales.x <= w && read.height * scales.y <= h)
        read.source = RegionRead::Preview;
    else if (scale >= 1 && Mode() != ModeIndexed)
        read.source = RegionRead::Tiles;
    // The finest level that still covers the size asked for.
    while (read.source == RegionRead::Reduced && read.level < 31 &&
           ((w - 1) >> (read.level + 1)) + 1 >= read.width &&
           ((h - 1) >> (read.level + 1)) + 1 >= read.height)
        ++read.level;
    return read;
}

bool CKLDExtImage::UsablePreview() const { return Preview() && !Preview()->GetColorTable(); }

std::unique_ptr<CPixMap> CKLDExtImage::StretchedPreview(const RegionRead& read) const {
    const CPixMap& preview = *Preview();
    const PreviewScales scales = Scales();
    const PixRect& rect = read.rect;
    const PixRect cells{
        static_cast<std::uint32_t>(rect.left / scales.x),
        static_cast<std::uint32_t>(rect.top / scales.y),
        std::min(preview.Width(), static_cast<std::uint32_t>(std::ceil(rect.right / scales.x))),
        std::min(preview.Height(), static_cast<std::uint32_t>(std::ceil(rect.bottom / scales.y)))};
    auto map = CreatePixMap({0, 0, read.width, read.height}, preview.GetMode());
    if (!map) ThrowCodecError(ErrorOutOfMemory);
    preview.StretchRect(cells, *map, map->Rect());
    return map;
}

RasterImage CKLDExtImage::LoadRegion(const ExportRect& region, double scale,
                                     ProgressCallback progress, void* data) {
    const RegionRead read = PlanRead(region, scale);
    EnsureMemoryFor(DocumentImageBytes(read.width, read.height, Mode()) +
                    DocumentImageBytes(read.width, read.height, ModeRGB));
    return Shown([&] {
        std::unique_ptr<CPixMap> map;
        if (read.source == RegionRead::Preview) {
            // No finer than the preview: it holds the picture already, and reading the tiles
            // would decode every one of them (all of a large container at small zooms).
            map = StretchedPreview(read);
            if (progress) progress(1.0, false, data);
        } else if (read.source == RegionRead::Tiles) {
            // Read through a map laid at the region's place over rows that start at (0, 0).
            map = CreatePixMap({0, 0, read.rect.Width(), read.rect.Height()}, Mode(),
                               Header().background.data(),
                               static_cast<int>(Header().background.size()));
            auto placed = AttachPixMap(read.rect, Mode(), map->GetBits(), map->Stride());
            if (!placed) ThrowCodecError(ErrorOutOfMemory);
            ReadRegion(*placed, 0, progress, data);
        } else {
            const std::unique_ptr<CPixMap> reduced =
                ReadReduced(read.rect, read.level, progress, data);
            map = CreatePixMap({0, 0, read.width, read.height}, reduced->GetMode());
            if (!map) ThrowCodecError(ErrorOutOfMemory);
            reduced->StretchRect(reduced->Rect(), *map, map->Rect());
        }
        return MakeRasterImage(std::move(map), 0);
    });
}

std::optional<RasterImage> CKLDExtImage::StandIn(const ExportRect& region, double scale) {
    const RegionRead read = PlanRead(region, scale);
    if (read.source != RegionRead::Reduced || !UsablePreview()) return std::nullopt;
    const bool kept = read.level == reducedLevel_ && Header().background == reducedBackground_;
    const TileSpan span = TilesOf(read.rect);
    std::uint64_t missing = 0;
    for (std::uint32_t row = span.firstRow; row <= span.lastRow; ++row)
        for (std::uint32_t column = span.firstColumn; column <= span.lastColumn; ++column)
            missing += !kept || !reducedTiles_.contains({column, row});
    if (missing < kStandInTiles) return std::nullopt;
    return Shown([&] { return MakeRasterImage(StretchedPreview(read), 0); });
}

CKLDExtImage::TileSpan CKLDExtImage::TilesOf(const PixRect& rect) const {
    // The last column and row take the rest of the image.
    const auto cell = [](std::uint32_t v, std::uint32_t side, std::uint32_t count) {
        return std::min(v / side, count - 1);
    };
    return {cell(rect.left, TileWidth(), TileColumns()),
            cell(rect.right - 1, TileWidth(), TileColumns()),
            cell(rect.top, TileHeight(), TileRows()),
            cell(rect.bottom - 1, TileHeight(), TileRows())};
}

std::unique_ptr<CPixMap> CKLDExtImage::ReadReduced(const PixRect& rect, int level,
                                                   ProgressCallback progress, void* data) {
    if (level != reducedLevel_ || Header().background != reducedBackground_) {
        reducedTiles_.clear();
        reducedLevel_ = level;
        reducedBackground_ = Header().background;
    }
    const auto reduce = [level](std::uint32_t v) {
        return static_cast<std::uint32_t>((std::uint64_t{v} + (std::uint64_t{1} << level) - 1) >>
                                          level);
    };
    const auto [firstColumn, lastColumn, firstRow, lastRow] = TilesOf(rect);
    const double count = double(lastColumn - firstColumn + 1) * (lastRow - firstRow + 1);
    decltype(reducedTiles_) kept;
    std::unique_ptr<CPixMap> map;
    for (std::uint32_t row = firstRow; row <= lastRow; ++row)
        for (std::uint32_t column = firstColumn; column <= lastColumn; ++column) {
            auto found = reducedTiles_.extract({column, row});
            std::unique_ptr<CPixMap> tile =
                found ? std::move(found.mapped())
                      : ReadRegionReduced(TileCellRect(Header(), column, row), level);
            if (!map) {
                map = CreatePixMap(
                    {reduce(rect.left), reduce(rect.top), reduce(rect.right), reduce(rect.bottom)},
                    tile->GetMode());
                if (!map) ThrowCodecError(ErrorOutOfMemory);
            }
            tile->CopyRect(tile->Rect(), *map, tile->Rect());
            kept[{column, row}] = std::move(tile);
            if (progress) ReportProgress(progress, double(kept.size()) / count, data);
        }
    reducedTiles_ = std::move(kept);
    return map;
}

namespace {

// A region of the container handed out as rows, read a strip of tile rows at a time into one
// buffer that every strip reuses.
class ContainerRows final : public ImageRowSource {
public:
    ContainerRows(CKLDExt& container, const PixRect& rect, ProgressCallback progress, void* data,
                  std::uint64_t stripBytes)
        : container_(container), rect_(rect), progress_(progress), data_(data),
          stripRows_(static_cast<std::uint32_t>(std::clamp<std::uint64_t>(
              stripBytes /
                  ((std::uint64_t{rect.Width()} * container.Header().bitsPerPixel + 7) / 8),
              1, rect.Height()))) {}

    ImageMode Mode() const override { return static_cast<ImageMode>(container_.Mode()); }
    std::uint32_t Width() const override { return rect_.Width(); }
    std::uint32_t Height() const override { return rect_.Height(); }
    std::uint32_t MaxChannelValue() const override { return 0; }
    std::uint32_t StripRows() const override { return stripRows_; }

    const std::uint8_t* Rows(std::uint32_t first, std::uint32_t count,
                             std::ptrdiff_t& pitch) override {
        if (!strip_) strip_ = CreatePixMap({0, 0, Width(), stripRows_}, Mode());
        if (!strip_) ThrowCodecError(ErrorOutOfMemory);
        const std::uint32_t top = rect_.top + first;
        auto placed = AttachPixMap({rect_.left, top, rect_.right, top + count}, Mode(),
                                   strip_->GetBits(), strip_->Stride());
        if (!placed) ThrowCodecError(ErrorOutOfMemory);
        container_.ReadRegion(*placed, 0);
        if (progress_) ReportProgress(progress_, double(first + count) / Height(), data_);
        pitch = strip_->Stride();
        return strip_->GetBits();
    }

private:
    CKLDExt& container_;
    PixRect rect_;
    ProgressCallback progress_;
    void* data_;
    std::uint32_t stripRows_;
    std::unique_ptr<CPixMap> strip_;
};

} // namespace

void CKLDExtImage::ExportRegion(const ExportRect& region, const std::string& path,
                                ProgressCallback progress, void* data, std::uint64_t stripBytes) {
    const auto part = CopiedPart(region, Width(), Height());
    if (!part) ThrowCodeError(EINVAL);
    if (!IsAnymapMode(Mode())) throw ImageFileError(kNoSuitableFormat);
    const auto left = static_cast<std::uint32_t>(part->left);
    const auto top = static_cast<std::uint32_t>(part->top);
    ContainerRows rows(*this,
                       {left, top, left + static_cast<std::uint32_t>(part->width),
                        top + static_cast<std::uint32_t>(part->height)},
                       progress, data, stripBytes);
    Shown([&] {
        SaveThroughTemporary(
            path, [&](const std::string& temporary) { WriteAnymapFile(rows, temporary, true); });
    });
}

RasterImage PreviewRasterImage(const CPixMap& preview) {
    return Shown([&] {
        auto copy = CreatePixMap({0, 0, preview.Width(), preview.Height()}, preview.GetMode());
        if (!copy) ThrowCodecError(ErrorOutOfMemory);
        if (preview.GetColorTable())
            std::memcpy(copy->AllocColorTable(), preview.GetColorTable(), kColorTableSize);
        preview.CopyRect(preview.Rect(), *copy, copy->Rect());
        return MakeRasterImage(std::move(copy), 0);
    });
}

RasterImage CKLDExtImage::PreviewImage() const {
    if (!Preview()) ThrowCodeError(ErrorWrongFormat);
    return PreviewRasterImage(*Preview());
}

PreviewScales CKLDExtImage::Scales() const {
    const CPixMap* preview = Preview();
    return preview ? PreviewScalesOf(Width(), Height(), preview->Width(), preview->Height())
                   : PreviewScales{};
}

namespace {

// Reports a strip's progress as its share of the whole write.
struct StripProgress {
    ProgressCallback callback;
    void* data;
    double done;
    double share;

    static bool Report(double fraction, bool escapeAllowed, void* self) {
        const auto& p = *static_cast<StripProgress*>(self);
        return p.callback && p.callback(p.done + p.share * fraction, escapeAllowed, p.data);
    }
};

} // namespace

void CKLDExtImage::WritePixMap(const CPixMap& map, ProgressCallback progress, void* data) {
    if (readOnly_) ThrowCodeError(EACCES);
    const PixRect& rect = map.Rect();
    if (rect.IsEmpty() || rect.left >= Width() || rect.top >= Height()) return;
    reducedTiles_.clear();
    const auto mode = static_cast<ImageMode>(Mode());
    if (map.GetMode() != mode && !map.CanConvertTo(mode)) ThrowCodeError(ErrorWrongFormat);
    // Whole rows of tiles at a time, so that memory follows the strip, not the image.
    const std::uint32_t tileHeight = TileHeight();
    const std::uint64_t tileRowBytes =
        (std::uint64_t{rect.Width()} * Header().bitsPerPixel + 7) / 8 * tileHeight;
    const std::uint64_t tileRows = std::max<std::uint64_t>(1, kContainerStripBytes / tileRowBytes);
    const std::uint32_t end = std::min(rect.bottom, Height());
    const std::uint32_t lastRowTop = (TileRows() - 1) * tileHeight;
    for (std::uint32_t top = rect.top; top < end;) {
        const std::uint64_t boundary = (top / tileHeight + tileRows) * tileHeight;
        const auto bottom = static_cast<std::uint32_t>(
            boundary > lastRowTop ? end : std::min<std::uint64_t>(boundary, end));
        StripProgress share{progress, data, double(top - rect.top) / (end - rect.top),
                            double(bottom - top) / (end - rect.top)};
        Shown([&] {
            auto strip =
                AttachPixMap({rect.left, top, rect.right, bottom}, map.GetMode(),
                             const_cast<std::uint8_t*>(map.Row(top - rect.top)), map.Stride());
            if (!strip) ThrowCodecError(ErrorOutOfMemory);
            if (map.GetColorTable())
                std::memcpy(strip->AllocColorTable(), map.GetColorTable(), kColorTableSize);
            if (map.GetMode() != mode) {
                auto converted = CreatePixMap(strip->Rect(), mode);
                if (!converted) ThrowCodecError(ErrorOutOfMemory);
                strip->ConvertTo(*converted);
                strip = std::move(converted);
            }
            WriteRegion(*strip, 255, 0, 0, 1, &StripProgress::Report, &share);
        });
        top = bottom;
    }
}

void CKLDExtImage::Repair(ProgressCallback progress, void* data) {
    if (readOnly_) ThrowCodeError(EACCES);
    Shown([&] { BuildPreview(progress, data); });
}

void CKLDExtImage::SaveHeader() {
    if (readOnly_) ThrowCodeError(EACCES);
    Shown([&] { WriteHeader(*Stream()); });
}
