// What every pictor-cli subcommand shares: argument counts, the input and output options of
// image files, and reading and writing them with a progress bar.
#pragma once

#include "arguments.h"
#include "image_file.h"

#include <string>
#include <vector>

void RequireCount(const Arguments& args, std::size_t count);
void RequireQVT(const std::string& path, const char* role);

// --raw WIDTHxHEIGHT:MODE and --maxval V, for reading ".raw" files; `paths` are all the inputs
// the options could describe.
ImageReadOptions InputOptions(const Arguments& args, const std::string& path,
                              const std::vector<std::string>& paths);
// --plain, for anymap output.
ImageWriteOptions OutputOptions(const Arguments& args, const std::string& path);

// The codec would start one thread per processor; OMP_NUM_THREADS (the OpenMP default when
// unset) lets a user or a benchmark ask for fewer.
int ThreadCount();

// Reads an image with a progress bar; warns when the file ends before its image data.
RasterImage Load(const std::string& path, ImageReadOptions options = {});
// Writes an image with a progress bar.
void Save(RasterImage& image, const std::string& path, ImageWriteOptions options);
// Encodes a binary anymap (P5, P6) read a strip at a time into the QVT file OUT, with a
// progress bar; false, having done nothing, for other files.
bool EncodeAnymapStrips(const std::string& in, const std::string& out, QVTWriteOptions options);
// Decodes a QVT file into OUT with progress bars; an anymap of the image's own mode is written
// from the decoded planes a strip at a time, so the image is never held twice.
void Decode(const std::string& in, const std::string& out, const ImageReadOptions& input,
            const ImageWriteOptions& output);
