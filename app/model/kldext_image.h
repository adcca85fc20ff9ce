// CKLDExtImage: a container together with its open file. The file stays open, and locked against
// other writers (an open-file-description lock, which also keeps a second window of this program
// out), from creation or opening until the document closes. Targets of New, Save As and
// reorganising are checked by device and inode, never by comparing names, and written through a
// unique temporary file that replaces them by rename only once complete.
#pragma once

#include "kld_ext.h"
#include "kldext_rules.h"
#include "raster_image.h"

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

inline constexpr const char* kContainerInUse =
    "The file is open for writing in another window or program.";
inline constexpr const char* kContainerItself =
    "A container cannot be written over its own file while it is open.";

// Bytes of pixels per strip of a write or an export: each write recodes the preview, so larger
// strips save time and cost memory (a write holds the tiles it covers twice).
inline constexpr std::uint64_t kContainerStripBytes = std::uint64_t{64} << 20;

// Tiles a reduced read must decode, from which a stand-in is worth showing meanwhile.
inline constexpr std::uint64_t kStandInTiles = 256;

// A document image of a container's preview map.
RasterImage PreviewRasterImage(const CPixMap& preview);

class CKLDExtImage : public CKLDExt {
public:
    CKLDExtImage() = default;
    ~CKLDExtImage();
    CKLDExtImage(const CKLDExtImage&) = delete;
    CKLDExtImage& operator=(const CKLDExtImage&) = delete;

    // Makes a new container at `path` (a file in use elsewhere is refused before anything is
    // changed) and keeps it open. Throws ImageFileError.
    void CreateFile(const std::string& path, const KLDExtHeader& header, std::uint32_t previewWidth,
                    std::uint32_t previewHeight);
    // Opens the container, read-only when the file cannot be written; false for an older file
    // structure that is due for reorganising. Throws ImageFileError.
    bool OpenFile(const std::string& path);
    void CloseFile();
    bool IsOpen() const { return fd_ >= 0; }
    bool ReadOnly() const { return readOnly_; }
    const std::string& Path() const { return path_; }

    // Whether `path` names this container's own file (by device and inode).
    bool IsOwnFile(const std::string& path) const;
    // Writes a compacted copy to `target` (not the own file, not a file in use) through a
    // temporary file beside it. Throws ImageFileError.
    void ReorganizeTo(const std::string& target, ProgressCallback progress, void* data);
    // Replaces the own file by a compacted copy and opens that. Throws ImageFileError; the
    // original stays open and unchanged when any step fails.
    void ReorganizeInPlace(ProgressCallback progress, void* data);

    // The rectangle (clipped to the image, negative edges to 0) read at `scale` (1 = full
    // resolution; below 1 reduced, at least 1 × 1), as a document image. Throws ImageFileError.
    RasterImage LoadRegion(const ExportRect& region, double scale, ProgressCallback progress,
                           void* data);
    // A quick stand-in for LoadRegion(region, scale), the preview's picture of the region at the
    // same size, when that read has many tiles to decode; nothing otherwise. Throws
    // ImageFileError.
    std::optional<RasterImage> StandIn(const ExportRect& region, double scale);
    // Writes the region (clipped as for LoadRegion) at full resolution to an anymap file, a strip
    // of tile rows at a time, so that regions of any size fit in memory. Throws ImageFileError
    // ("no suitable image format" for a mode an anymap cannot hold).
    void ExportRegion(const ExportRect& region, const std::string& path, ProgressCallback progress,
                      void* data, std::uint64_t stripBytes = kContainerStripBytes);
    // The preview as a document image. Throws ImageFileError.
    RasterImage PreviewImage() const;
    PreviewScales Scales() const;
    // Writes the map at its rectangle, converted to the container's mode when it is not in it.
    // Throws ImageFileError; ErrorWrongFormat's text for a mode that cannot be converted.
    void WritePixMap(const CPixMap& map, ProgressCallback progress, void* data);
    // Rebuilds the preview from the tiles.
    void Repair(ProgressCallback progress, void* data);
    // Writes the fixed part (the background colour may have changed).
    void SaveHeader();

protected:
    // rename(2); tests make it fail.
    virtual int RenameFile(const std::string& from, const std::string& to);

private:
    // What a region read at a scale amounts to: the rectangle in the image, the size of the
    // picture made, and where it comes from (at which level, for reduced tiles).
    struct RegionRead {
        PixRect rect;
        std::uint32_t width = 0;
        std::uint32_t height = 0;
        enum Source { Preview, Tiles, Reduced } source = Reduced;
        int level = 0;
    };
    RegionRead PlanRead(const ExportRect& region, double scale) const;
    bool UsablePreview() const;
    std::unique_ptr<CPixMap> StretchedPreview(const RegionRead& read) const;
    // The columns and rows of the tiles a rectangle touches.
    struct TileSpan {
        std::uint32_t firstColumn;
        std::uint32_t lastColumn;
        std::uint32_t firstRow;
        std::uint32_t lastRow;
    };
    TileSpan TilesOf(const PixRect& rect) const;

    void OpenDescriptor(const std::string& path);
    // The rectangle at `level` (as CKLDExt::ReadRegionReduced), put together from reduced tiles
    // of which those of the previous read are reused: a view that moves decodes only the tiles
    // that came into it.
    std::unique_ptr<CPixMap> ReadReduced(const PixRect& rect, int level, ProgressCallback progress,
                                         void* data);
    void WriteCopy(const std::string& target, bool checkTarget, ProgressCallback progress,
                   void* data);

    int fd_ = -1;
    bool readOnly_ = false;
    std::string path_;
    // The tiles of the last reduced read (by column and row), at its level and background.
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::unique_ptr<CPixMap>> reducedTiles_;
    int reducedLevel_ = -1;
    std::array<std::uint8_t, 3> reducedBackground_{};
};
