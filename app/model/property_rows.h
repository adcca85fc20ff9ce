// What the properties pane shows about a document, as rows of group, name, value and
// description. The facts are gathered from the document by its kind; the rows are pure functions
// of them, so every kind's grid is a table test.
#pragma once

#include "crop_geometry.h"
#include "view_math.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct PropertyRow {
    std::string group;    // "File", "Image", "QVT Header", ...
    std::string subgroup; // "Region of interest", "Length", "Size", or empty
    std::string name;
    std::string value;
    std::string description;
    friend bool operator==(const PropertyRow&, const PropertyRow&) = default;
};

// The header of a QVT file, as the codec read it.
struct QVTHeaderFacts {
    int quality = 0;
    int levels = 0;
    std::vector<std::uint32_t> levelLengths; // in file order: the coarsest level's data first
    std::uint8_t version = 0;                // the version byte with its feature bits
    int channelDepth = 0;                    // bits per channel actually used
    friend bool operator==(const QVTHeaderFacts&, const QVTHeaderFacts&) = default;
};

struct PropertyFacts {
    std::string path;
    std::uint64_t fileSize = 0;
    bool fileOpen = false;
    ImageRect region; // the region of interest shown, in pixels of the level shown
    std::optional<QVTHeaderFacts> qvt;
    std::optional<Size> overview; // a container's overview image
    friend bool operator==(const PropertyFacts&, const PropertyFacts&) = default;
};

// "%.4g" of the size in the largest binary unit it reaches: "1023 B", "1.5 KiB", "10 GiB".
std::string FormatFileSize(std::uint64_t bytes);

// The "File" and "Image" groups, then the groups of the document's kind.
std::vector<PropertyRow> PropertyRows(const PropertyFacts& facts);

inline constexpr std::string_view kCropGroup = "Cropped Image Size";

// The "Cropped Image Size" group: the four editable borders, then width and height.
std::vector<PropertyRow> CropRows(const ImageRect& crop);

enum class CropEdge { Left, Top, Right, Bottom };

// The edge a crop row edits, if it is one of the editable borders.
std::optional<CropEdge> CropEdgeOf(std::string_view rowName);

// The crop after the user typed `text` for `edge`, or nothing when the text is not a decimal
// integer or the edge would leave the image or pass the opposite one.
std::optional<ImageRect> EditCrop(const ImageRect& crop, Size image, CropEdge edge,
                                  std::string_view text);
