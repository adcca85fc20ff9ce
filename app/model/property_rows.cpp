#include "property_rows.h"

#include "qvt_format.h"

#include <array>
#include <charconv>
#include <cstdio>

namespace {

constexpr std::string_view kRegion = "Region of interest";

std::string YesNo(bool yes) { return yes ? "Yes" : "No"; }

void AddQVTRows(const QVTHeaderFacts& qvt, std::vector<PropertyRow>& rows) {
    const std::string header = "QVT Header";
    rows.push_back(
        {header, "", "Quality", std::to_string(qvt.quality), "Specifies the image's QVT quality"});
    rows.push_back({header, "", "Levels", std::to_string(qvt.levels),
                    "Specifies the image's number of levels"});
    // Entry i holds what is needed to reach level count - 1 - i.
    const auto count = static_cast<int>(qvt.levelLengths.size());
    for (int i = 0; i < count; ++i)
        rows.push_back({header, "Length", std::to_string(count - 1 - i),
                        std::to_string(qvt.levelLengths[static_cast<std::size_t>(i)]),
                        "Specifies the number of bytes needed for this level"});
    rows.push_back({header, "", "Version", std::to_string(VersionNumber(qvt.version)),
                    "Specifies the image's QVT version"});
    rows.push_back({header, "", "ROI Support", YesNo((qvt.version & kVersionRegion) != 0),
                    "Specifies the image's ROI support"});
    rows.push_back({header, "", "Channel Depth", std::to_string(qvt.channelDepth),
                    "Specifies the number of bits per channel"});
    rows.push_back({header, "", "Max Channel Depth", std::to_string(MaxChannelDepth(qvt.version)),
                    "Specifies the maximum number of bits per channel of the image's encoder"});
    rows.push_back({"QVT Codec", "", "Version", std::to_string(VersionNumber(kVersionWritten)),
                    "Specifies the version of the codecs"});
    rows.push_back({"QVT Codec", "", "Max Channel Depth",
                    std::to_string(MaxChannelDepth(kVersionWritten)),
                    "Specifies the maximum number of bits per channel of the codec"});
}

} // namespace

std::string FormatFileSize(std::uint64_t bytes) {
    static constexpr std::array<const char*, 5> kUnits = {"B", "KiB", "MiB", "GiB", "TiB"};
    auto value = static_cast<double>(bytes);
    std::size_t unit = 0;
    while (value >= 1024 && unit + 1 < kUnits.size()) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.4g %s", value, kUnits[unit]);
    return text;
}

std::vector<PropertyRow> PropertyRows(const PropertyFacts& facts) {
    std::vector<PropertyRow> rows = {
        {"File", "", "Name", facts.path, "Specifies the path of the file"},
        {"File", "", "Size", FormatFileSize(facts.fileSize), "Specifies the size of the file"},
        {"File", "", "Is Open", YesNo(facts.fileOpen), "Shows the status of the file stream"},
        {"Image", std::string(kRegion), "Left", std::to_string(facts.region.left),
         "Specifies the x-coordinate of the origin"},
        {"Image", std::string(kRegion), "Top", std::to_string(facts.region.top),
         "Specifies the y-coordinate of the origin"},
        {"Image", std::string(kRegion), "Width", std::to_string(facts.region.Width()),
         "Specifies the width of the image"},
        {"Image", std::string(kRegion), "Height", std::to_string(facts.region.Height()),
         "Specifies the height of the image"},
    };
    if (facts.qvt) AddQVTRows(*facts.qvt, rows);
    if (facts.overview) {
        rows.push_back({"Overview", "Size", "Width", std::to_string(facts.overview->width),
                        "Specifies the image's overview width"});
        rows.push_back({"Overview", "Size", "Height", std::to_string(facts.overview->height),
                        "Specifies the image's overview height"});
    }
    return rows;
}

std::vector<PropertyRow> CropRows(const ImageRect& crop) {
    const std::string group(kCropGroup);
    return {
        {group, "", "Left", std::to_string(crop.left), "Specifies the image's new left border"},
        {group, "", "Top", std::to_string(crop.top), "Specifies the image's new top border"},
        {group, "", "Right", std::to_string(crop.right), "Specifies the image's new right border"},
        {group, "", "Bottom", std::to_string(crop.bottom),
         "Specifies the image's new bottom border"},
        {group, "", "Width", std::to_string(crop.Width()), "Specifies the image's new width"},
        {group, "", "Height", std::to_string(crop.Height()), "Specifies the image's new height"},
    };
}

std::optional<CropEdge> CropEdgeOf(std::string_view rowName) {
    if (rowName == "Left") return CropEdge::Left;
    if (rowName == "Top") return CropEdge::Top;
    if (rowName == "Right") return CropEdge::Right;
    if (rowName == "Bottom") return CropEdge::Bottom;
    return std::nullopt;
}

std::optional<ImageRect> EditCrop(const ImageRect& crop, Size image, CropEdge edge,
                                  std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    ImageRect edited = crop;
    switch (edge) {
    case CropEdge::Left:
        if (value < 0 || value >= crop.right) return std::nullopt;
        edited.left = value;
        break;
    case CropEdge::Top:
        if (value < 0 || value >= crop.bottom) return std::nullopt;
        edited.top = value;
        break;
    case CropEdge::Right:
        if (value > image.width || value <= crop.left) return std::nullopt;
        edited.right = value;
        break;
    case CropEdge::Bottom:
        if (value > image.height || value <= crop.top) return std::nullopt;
        edited.bottom = value;
        break;
    }
    return edited;
}
