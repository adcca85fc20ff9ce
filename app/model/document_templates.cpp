#include "document_templates.h"

#include "image_documents.h"
#include "kldext_document.h"
#include "qvt_document.h"
#include "safe_save.h"
#include "text_case.h"

#include <string_view>

std::vector<DocumentTemplate> MakeDocumentTemplates(const PlatformImages& platform) {
    std::vector<DocumentTemplate> templates;
    templates.push_back({DocumentKind::Bitmap, "BMP Image", "BMP (*.bmp)", ".bmp",
                         [&platform] { return std::make_unique<CBMPDoc>(platform); }});
    templates.push_back({DocumentKind::QVT, "QVT Image", "QVT (*.QVT)", ".QVT",
                         [] { return std::make_unique<CQVTDoc>(); }});
    templates.push_back({DocumentKind::Anymap, "PNM Image", "PNM (*.PBM;*.PGM;*.PPM)",
                         ".PBM;*.PGM;*.PPM", [] { return std::make_unique<CPNMDoc>(); }});
    templates.push_back({DocumentKind::KLDExt, "KLDExt Image", "KLDExt (*.KLE)", ".KLE",
                         [] { return std::make_unique<CKLDExtDoc>(); }});
    return templates;
}

std::vector<std::string> FilterExtensions(const std::string& filterExtension) {
    std::vector<std::string> extensions;
    constexpr std::string_view stops = " ;),|(";
    for (std::size_t dot = filterExtension.find('.'); dot != std::string::npos;
         dot = filterExtension.find('.', dot + 1)) {
        const std::size_t end = filterExtension.find_first_of(stops, dot);
        extensions.push_back(filterExtension.substr(dot, end - dot));
    }
    return extensions;
}

std::size_t MatchTemplate(const std::vector<DocumentTemplate>& templates, const std::string& path) {
    const std::string extension = FileExtension(path);
    if (extension.empty()) return 0;
    for (std::size_t i = 0; i < templates.size(); ++i)
        for (const std::string& candidate : FilterExtensions(templates[i].filterExtension))
            if (LowerCase(candidate) == LowerCase("." + extension)) return i;
    return 0;
}
