// The document kinds of the bitmap and anymap file families (QVT documents have a file of their
// own). Each reads its files on a worker thread and holds the result as an image document does.
#pragma once

#include "document.h"
#include "platform_images.h"

// Files the platform's imaging library reads: BMP, and every other format without a document
// kind of its own (JPEG, PNG, TIFF, ...).
class CBMPDoc : public CMyDoc {
public:
    explicit CBMPDoc(const PlatformImages& platform) : platform_(platform) {}
    DocumentKind Kind() const override { return DocumentKind::Bitmap; }
    RasterImage ReadFile(const std::string& path, JobContext& context) override;
    bool HoldsSaveTarget(SaveTarget target) const override {
        return target == SaveTarget::QtEncoder;
    }

private:
    const PlatformImages& platform_;
};

// Portable anymaps, read and written by the program's own anymap reader and writer.
class CPNMDoc : public CMyDoc {
public:
    DocumentKind Kind() const override { return DocumentKind::Anymap; }
    RasterImage ReadFile(const std::string& path, JobContext& context) override;
    bool HoldsSaveTarget(SaveTarget target) const override { return target == SaveTarget::Anymap; }
};
