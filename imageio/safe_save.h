// Writing a file so that a failure never costs the file that was there: the content goes to a
// new file in the target's folder, which replaces the target by a rename only once it is
// complete and on disk. A failed or stopped write leaves the old file as it was and no
// temporary file behind.
#pragma once

#include <functional>
#include <string>

// The extension of a path: the suffix of its file name after the last period, without the
// period ("photos/v1.2/scan" has none); empty when there is none.
std::string FileExtension(const std::string& path);

// Calls `write` with the path of a new temporary file beside `path` (hidden, with the same
// extension, so writers that choose a format by extension choose the same one), then flushes it
// to disk, renames it over `path` and flushes the folder. A symbolic link at `path` is followed,
// so the link stays and its target gets the content. The new file takes the permissions of the
// file it replaces (or the usual ones for a new file). When `write` throws, the temporary file is
// removed and the exception passes on. Throws ImageFileError with the system's text when the
// temporary file cannot be made, flushed or renamed.
void SaveThroughTemporary(const std::string& path,
                          const std::function<void(const std::string& temporary)>& write);
