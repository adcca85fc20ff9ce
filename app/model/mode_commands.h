// The Image menu's mode commands as data: the mode each one converts to, the image modes that
// enable it, and the source modes after which the display image stays as it was (it already
// shows the new image, or shows the older rendering on purpose); every other change builds the
// display image anew from the result, so that CMYK 32, L*a*b 24, RGB 12 and RGB 16 show the
// round trip through the new mode.
#pragma once

#include "commands.h"
#include "image_mode.h"

#include <cstdint>
#include <initializer_list>

// A set of image modes (0 ... 31) as bits.
class ModeSet {
public:
    constexpr ModeSet(std::initializer_list<std::uint32_t> modes) {
        for (const std::uint32_t mode : modes)
            bits_ |= std::uint32_t{1} << mode;
    }
    constexpr bool Contains(std::uint32_t mode) const { return mode < 32 && (bits_ >> mode) & 1; }

private:
    std::uint32_t bits_ = 0;
};

struct ModeCommand {
    Command command;
    ImageMode target;
    ModeSet enabledFrom;
    ModeSet keepsDisplayFrom;
};

inline constexpr ModeCommand kModeCommands[] = {
    {Command::ModeBitmap1, ModeBitmap, {ModeGray}, {}},
    {Command::ModeGrayscale8,
     ModeGray,
     {ModeBitmap, ModeIndexed, ModeRGB, ModeLab, ModeGray16, ModeARGB, ModeGray32},
     {ModeGray16, ModeGray32}},
    {Command::ModeGrayscale16,
     ModeGray16,
     {ModeGray, ModeRGB48, ModeLab48, ModeGray32},
     {ModeGray, ModeGray32}},
    {Command::ModeGrayscale32, ModeGray32, {ModeGray, ModeGray16}, {ModeGray, ModeGray16}},
    // A 4-bit image has no pixel map mode to convert into.
    {Command::ModeIndexed4, ModeNotGiven, {}, {}},
    {Command::ModeIndexed8, ModeIndexed, {ModeRGB, ModeRGB12, ModeRGB16}, {}},
    {Command::ModeRGB12, ModeRGB12, {ModeRGB}, {}},
    {Command::ModeRGB16, ModeRGB16, {ModeRGB, ModeRGB12}, {}},
    {Command::ModeRGB24,
     ModeRGB,
     {ModeBitmap, ModeGray, ModeIndexed, ModeCMYK, ModeLab, ModeGray16, ModeRGB48, ModeLab48,
      ModeCMYK64, ModeARGB, ModeGray32, ModeRGB12, ModeRGB16},
     {ModeRGB48}},
    {Command::ModeRGB48, ModeRGB48, {ModeRGB, ModeLab48, ModeCMYK64}, {ModeRGB}},
    {Command::ModeARGB32, ModeARGB, {ModeRGB}, {}},
    {Command::ModeCMYK32, ModeCMYK, {ModeRGB, ModeCMYK64}, {}},
    {Command::ModeCMYK64, ModeCMYK64, {ModeCMYK, ModeRGB48}, {ModeCMYK}},
    {Command::ModeLab24, ModeLab, {ModeRGB, ModeLab48}, {}},
    {Command::ModeLab48, ModeLab48, {ModeLab, ModeRGB48}, {ModeLab}},
};

// The row of a mode command; null for other commands.
constexpr const ModeCommand* FindModeCommand(Command command) {
    for (const ModeCommand& row : kModeCommands)
        if (row.command == command) return &row;
    return nullptr;
}

// Whether the display image stays as it was when an image of `from` changes to `target`.
constexpr bool KeepsDisplayImage(std::uint32_t from, std::uint32_t target) {
    for (const ModeCommand& row : kModeCommands)
        if (row.target == target) return row.keepsDisplayFrom.Contains(from);
    return false;
}
