// The document templates: one per file family, registered in a fixed order (commands pick
// templates by position), each with its dialog filter and the document kind it creates.
#pragma once

#include "document.h"
#include "platform_images.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

struct DocumentTemplate {
    DocumentKind kind;
    std::string documentName;    // "QVT Image"
    std::string filterName;      // "QVT (*.QVT)"
    std::string filterExtension; // ".QVT", or ".PBM;*.PGM;*.PPM" for a family of extensions
    // Makes an empty document; null while this program cannot open the family yet.
    std::function<std::unique_ptr<CMyDoc>()> create;
};

// The four templates in their order: bitmaps, QVT, anymaps, KLDExt containers.
std::vector<DocumentTemplate> MakeDocumentTemplates(const PlatformImages& platform);

// The position of the template that opens `path`: the one whose filter extension lists the
// file's extension (without regard to case); the first, the platform's imaging library, for a
// file no template claims.
std::size_t MatchTemplate(const std::vector<DocumentTemplate>& templates, const std::string& path);

// The extensions of a filter extension string: ".PBM;*.PGM;*.PPM" gives ".PBM", ".PGM", ".PPM".
std::vector<std::string> FilterExtensions(const std::string& filterExtension);
