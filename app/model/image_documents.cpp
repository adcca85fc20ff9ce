#include "image_documents.h"

#include "anymap_file.h"
#include "anymap_header.h"
#include "bmp_file.h"
#include "display_depth.h"
#include "memory_budget.h"
#include "safe_save.h"
#include "text_case.h"

#include <fstream>

RasterImage CBMPDoc::ReadFile(const std::string& path, JobContext&) {
    // BMP files keep the depth they store (a 5-6-5 file stays RGB16); anything else, and
    // compressed BMP files, come through the platform's decoder.
    if (LowerCase(FileExtension(path)) == "bmp")
        if (auto bitmap = ReadBmpFile(path)) {
            EnsureMemoryFor(DocumentImageBytes(bitmap->Width(), bitmap->Height(), ModeRGB48));
            return NormalizeDisplayDepth(std::move(bitmap));
        }
    // The decoder's own 32-bit image exists beside the display image until it is converted.
    if (platform_.size)
        if (const auto size = platform_.size(path))
            EnsureMemoryFor(DocumentImageBytes(static_cast<std::uint32_t>(size->width),
                                               static_cast<std::uint32_t>(size->height), ModeARGB) *
                            2);
    return platform_.read(path);
}

RasterImage CPNMDoc::ReadFile(const std::string& path, JobContext&) {
    {
        std::filebuf file;
        if (file.open(path, std::ios::in | std::ios::binary)) {
            try {
                const AnymapHeader header = ReadAnymapHeader(file);
                const bool deep = header.maxval > 255;
                const std::uint32_t mode = IsBitmapAnymap(header.magic) ? ModeBitmap
                                           : AnymapChannels(header.magic) == 3
                                               ? (deep ? ModeRGB48 : ModeRGB)
                                               : (deep ? ModeGray16 : ModeGray);
                EnsureMemoryFor(DocumentImageBytes(header.width, header.height, mode));
            } catch (const ImageFileError&) {
                // The reader below reports a bad header with its own message.
            }
        }
    }
    return ReadAnymapFile(path);
}
