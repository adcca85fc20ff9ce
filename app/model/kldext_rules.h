// The container documents' rules, free of widgets and files so that each is a table test: the New
// dialog's fields, mode table, preview-size rule, checks and the header it makes; the mapping
// between the overview's screen pixels and the image's through the preview; the export region's
// keyboard moves and which of its commands apply.
#pragma once

#include "crop_geometry.h"
#include "kld_header.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// One entry of the dialog's mode list.
struct KLDExtModeEntry {
    const char* text;
    std::uint8_t bitsPerPixel;
    std::uint8_t mode;
};
inline constexpr std::array<KLDExtModeEntry, 14> kKLDExtModes = {{{"Bitmap", 1, 0},
                                                                  {"Indexed", 8, 2},
                                                                  {"Gray Scale", 8, 1},
                                                                  {"Gray 16", 16, 10},
                                                                  {"Gray 31", 32, 18},
                                                                  {"RGB 12", 12, 19},
                                                                  {"RGB 16", 16, 20},
                                                                  {"RGB", 24, 3},
                                                                  {"RGB 48", 48, 11},
                                                                  {"ARGB", 32, 17},
                                                                  {"CMYK", 32, 4},
                                                                  {"CMYK 64", 64, 13},
                                                                  {"L*a*b*", 24, 9},
                                                                  {"L*a*b* 48", 48, 12}}};
// The first list index whose background colour may be chosen.
inline constexpr int kFirstModeWithBackground = 4;

// The fields of the "New KLDExt Image" dialog, with their defaults.
struct KLDExtFields {
    int modeIndex = 7;
    std::uint32_t width = 1000;
    std::uint32_t height = 1000;
    bool compressedIndex = true;
    int orderingIndex = 0;
    std::string dataPath;
    std::array<std::uint8_t, 3> background{0xFF, 0xFF, 0xFF}; // red, green, blue
    std::uint32_t previewWidth = 800;
    std::uint32_t previewHeight = 800;
    std::uint32_t tileWidth = 200;
    std::uint32_t tileHeight = 200;
    int qualityLoss = 0;
};

// The preview width for an image width: above 800 a whole fraction of it between 800 and 1200.
std::uint32_t PreviewWidthFor(std::uint32_t imageWidth);
// The preview height that keeps the image's aspect at the preview width.
std::uint32_t PreviewHeightFor(std::uint32_t imageWidth, std::uint32_t imageHeight,
                               std::uint32_t previewWidth);

// What is wrong with the fields, in words for the dialog; nothing when OK may be pressed. Sides of
// at least 1, a preview of 1 ... the image's side, tiles of 1 ... min(image side, 65 535), a
// quality loss of 0 ... 31, and a header a container accepts.
std::optional<std::string> CheckKLDExtFields(const KLDExtFields& fields);
// The header of the new container (fields already checked).
KLDExtHeader HeaderFromFields(const KLDExtFields& fields);

// ---- The overview: image pixels per preview pixel on each axis (0 without a preview).
struct PreviewScales {
    double x = 0;
    double y = 0;
};
PreviewScales PreviewScalesOf(std::uint32_t width, std::uint32_t height, std::uint32_t previewWidth,
                              std::uint32_t previewHeight);

// A rectangle as left, top, width and height; in image pixels for the export region.
struct ExportRect {
    std::int64_t left = 0;
    std::int64_t top = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
    friend bool operator==(const ExportRect&, const ExportRect&) = default;
};

// Image pixels to client pixels of a view drawing the preview at `zoom` from `origin`, and back;
// each edge rounds half up.
ExportRect RegionOnScreen(const ExportRect& image, PreviewScales scales, double zoom,
                          std::int64_t originX, std::int64_t originY);
ExportRect RegionInImage(const ExportRect& screen, PreviewScales scales, double zoom,
                         std::int64_t originX, std::int64_t originY);

// The region after dragging `handle` of the tracker by (dx, dy) client pixels from `start`; a
// region of fixed size only moves (a resize leaves it as it was). Not limited to the image.
ExportRect DragRegion(const ExportRect& start, CropHandle handle, std::int64_t dx, std::int64_t dy,
                      PreviewScales scales, double zoom, bool fixedSize);

// The keys that move the export region.
enum class RegionKey { Home, Left, Right, Up, Down };
enum class RegionStep { Pixel, Hundred, Extent }; // plain, Shift, Ctrl
// The region after a move; moves are not limited to the image.
ExportRect MoveRegion(const ExportRect& region, RegionKey key, RegionStep step);

// The export region's state and what may be done with it.
struct ExportRegionState {
    bool exists = false;
    bool shown = false;
    bool fixedSize = false; // stands for an image to write, whose size cannot change
};
bool CanShowRegion(const ExportRegionState& state);
bool CanCopyRegion(const ExportRegionState& state);
bool CanPasteRegion(const ExportRegionState& state, bool clipboardOffersImage);
// Only an image pasted or dragged in is written; a region drawn for copying never is.
bool CanCommitRegion(const ExportRegionState& state);

// The status text of a region: "X: %d, Y: %d, W: %d, H: %d".
std::string RegionStatusText(const ExportRect& region);

// The same rectangle with left ≤ right and top ≤ bottom.
ExportRect NormalizedRegion(const ExportRect& region);

// The part of a region that a write changes: what starts inside the image, clipped to it; nothing
// for a region whose left or top edge lies outside (such a write changes nothing).
std::optional<ExportRect> WrittenPart(const ExportRect& region, std::uint32_t width,
                                      std::uint32_t height);
// The part a copy reads: negative edges clamped to 0, clipped to the image; nothing when empty.
std::optional<ExportRect> CopiedPart(const ExportRect& region, std::uint32_t width,
                                     std::uint32_t height);

// The part of the image a region view shows: the client at `zoom` from `origin` (the image's
// top-left pixel on screen), clipped to the image; at least 1 × 1.
ExportRect VisibleRegion(Point origin, Size client, double zoom, std::uint32_t width,
                         std::uint32_t height);
