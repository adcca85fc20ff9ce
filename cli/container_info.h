// The info subcommand for container files.
#pragma once

#include <string>

// Prints the header, the tile grid, the ordering, the index, the stored tiles, the preview and
// the dead bytes (space that no live part of the file uses). Throws IOException for a file that
// does not open as a container.
void PrintContainerInfo(const std::string& path);
