// "pictor-cli thumbnail": the desktop's thumbnailer. File managers run it for QVT files and
// containers with the size they want, the input path and the PNG to write.
#pragma once

#include "commands.h"

#include <cstdint>
#include <utility>

// A thumbnail's size for an image of width x height: the image's own when it fits in size x
// size, otherwise scaled to fit with the aspect kept, at least one pixel a side.
std::pair<std::uint32_t, std::uint32_t> ThumbnailSize(std::uint32_t width, std::uint32_t height,
                                                      std::uint32_t size);

Command ThumbnailCommand();
