#include "pictor_app.h"

#include "anymap_file.h"
#include "kldext_document.h"
#include "qvt_file.h"
#include "safe_save.h"
#include "text_case.h"

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

namespace {

std::uint64_t SizeOfFile(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
}

bool Exists(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

// Also through another name (a link, a relative path) of the same file.
bool SameFile(const std::string& first, const std::string& second) {
    std::error_code error;
    return first == second || std::filesystem::equivalent(first, second, error);
}

std::string WithoutExtension(const std::string& path) {
    const std::string extension = FileExtension(path);
    return extension.empty() ? path : path.substr(0, path.size() - extension.size() - 1);
}

FileFilter AnymapFilterOf(std::uint32_t mode) {
    if (mode == ModeBitmap) return {"PBM (*.PBM)", {"*.PBM"}};
    if (mode == ModeGray || mode == ModeGray16) return {"PGM (*.PGM)", {"*.PGM"}};
    return {"PPM (*.PPM)", {"*.PPM"}};
}

} // namespace

CPictorApp::CPictorApp(DesktopServices& services, PlatformImages platform)
    : services_(services), platform_(std::move(platform)),
      templates_(MakeDocumentTemplates(platform_)), jobs_(services) {}

CPictorApp::~CPictorApp() = default;

void CPictorApp::Changed() {
    if (observer_) observer_->StateChanged();
}

void CPictorApp::Open() { OpenPaths(services_.AskOpenPaths(OpenFilters(), openOptions_)); }

void CPictorApp::OpenPaths(const std::vector<std::string>& paths) {
    for (const std::string& path : paths)
        OpenOne(path);
}

void CPictorApp::OpenOne(const std::string& path) {
    const DocumentTemplate& found = templates_[MatchTemplate(templates_, path)];
    if (!found.create) {
        services_.ShowMessage(path + "\n" + found.documentName +
                                  " files cannot be opened by this version of the program.",
                              MessageIcon::Exclamation);
        return;
    }
    std::unique_ptr<CMyDoc> document = found.create();
    CMyDoc* reader = document.get();
    const bool stoppable = reader->ReadStopsOnEscape();
    StartOpening(std::move(document), path, stoppable,
                 [reader, path](JobContext& context) { return reader->ReadFile(path, context); });
}

void CPictorApp::OpenDropped(const std::vector<std::string>& paths) {
    const bool progressive = openOptions_.progressive;
    if (paths.size() > 1) openOptions_.progressive = false;
    OpenPaths(paths);
    openOptions_.progressive = progressive;
}

void CPictorApp::OpenUntitled(DocumentKind kind, std::function<RasterImage(JobContext&)> make) {
    for (const DocumentTemplate& entry : templates_)
        if (entry.kind == kind && entry.create) {
            StartOpening(entry.create(), {}, false, std::move(make));
            return;
        }
}

void CPictorApp::StartOpening(std::unique_ptr<CMyDoc> document, const std::string& path,
                              bool stoppable, std::function<RasterImage(JobContext&)> read) {
    auto image = std::make_shared<RasterImage>();
    CMyDoc* owner = document.get();
    owner->TakeOpenOptions(openOptions_);
    opening_.push_back({std::move(document), path, image, std::nullopt, path.empty()});
    Job job;
    job.escapeAllowed = stoppable;
    job.message = stoppable ? kReadingStoppable : kReading;
    job.work = [image, read = std::move(read)](JobContext& context) { *image = read(context); };
    job.done = [this, owner](const JobResult& result) {
        for (Opening& entry : opening_)
            if (entry.document.get() == owner) entry.result = result;
        FinishOpening();
    };
    jobs_.Start(owner, std::move(job));
    Changed();
}

void CPictorApp::StartDocumentJob(CMyDoc& document, Job job) {
    job.done = [this, done = std::move(job.done)](const JobResult& result) {
        if (done) done(result);
        Changed();
    };
    if (jobs_.Start(&document, std::move(job))) Changed();
}

void CPictorApp::FinishOpening() {
    while (!opening_.empty() && opening_.front().result) {
        Opening entry = std::move(opening_.front());
        opening_.pop_front();
        CMyDoc* document = entry.document.get();
        if (entry.result->status == JobStatus::Failed) {
            services_.ShowMessage(entry.untitled ? entry.result->message
                                                 : entry.path + "\n" + entry.result->message,
                                  MessageIcon::Exclamation);
        } else if (entry.result->status == JobStatus::Stopped) {
            services_.ShowStatus("Opening was stopped.");
        } else if (!document->ConfirmOpen(services_)) {
            // Declined (an older container the user does not want reorganised): not opened.
        } else {
            const bool incomplete = entry.image->incomplete;
            const bool profileDropped = entry.image->profileDropped;
            document->Adopt(std::move(*entry.image), entry.path,
                            entry.untitled ? 0 : SizeOfFile(entry.path));
            // An image that came from another program exists nowhere else yet.
            document->SetModified(entry.untitled);
            documents_.push_back(std::move(entry.document));
            if (observer_) observer_->DocumentOpened(*document);
            if (profileDropped) services_.ShowStatus(document->Title() + ": " + kDroppedProfile);
            if (auto continuation = document->ContinuationJob())
                RunDocumentJob(*document, std::move(*continuation));
            if (incomplete)
                services_.ShowMessage(entry.path + "\n" + kIncompleteImage,
                                      MessageIcon::Exclamation);
        }
    }
    Changed();
}

void CPictorApp::Save(CMyDoc& document, SaveKind kind) {
    if (IsBusy(document) || !document.HasImage()) return;
    if (document.Kind() == DocumentKind::KLDExt) {
        SaveContainer(static_cast<CKLDExtDoc&>(document), kind);
        return;
    }
    const std::uint32_t mode = document.Mode();
    if (kind == SaveKind::Save && !document.Path().empty()) {
        // A document whose mode its own format cannot hold any more is saved under a new name
        // and format, as Save As does; it never turns into a copy that leaves it unsaved.
        const SaveTarget target = ChooseSaveTarget(document.Path(), mode, platform_);
        if (target != SaveTarget::None && document.HoldsSaveTarget(target)) {
            StartSave(document, document.Path(), true);
            return;
        }
    }
    const std::vector<FileFilter> filters = SaveFilters(mode);
    const std::string title = kind == SaveKind::SaveCopy ? "Save Copy" : "Save As";
    const auto path =
        services_.AskSavePath(title, WithoutExtension(document.Path()), filters,
                              SelectedFilter(filters, document.Path()), document.Options());
    if (!path) return;
    StartSave(document, *path, kind != SaveKind::SaveCopy);
}

void CPictorApp::NewKLDExt(const KLDExtFields& fields) {
    const DocumentTemplate& containers = templates_[3];
    SaveOptions unused;
    const std::string proposed =
        fields.dataPath.empty() ? std::string() : WithoutExtension(fields.dataPath);
    auto path = services_.AskSavePath("New KLDExt Image", proposed,
                                      {{containers.filterName, {"*.KLE"}}}, 0, unused);
    if (!path) return;
    if (FileExtension(*path).empty()) *path += containers.filterExtension;
    auto document = std::make_unique<CKLDExtDoc>();
    CKLDExtDoc* maker = document.get();
    StartOpening(std::move(document), *path, false,
                 [maker, fields, path = *path](JobContext& context) {
                     return maker->CreateFile(fields, path, context);
                 });
}

void CPictorApp::SaveContainer(CKLDExtDoc& document, SaveKind kind) {
    std::optional<std::string> path = document.Path();
    if (kind != SaveKind::Save) {
        const DocumentTemplate& containers = templates_[3];
        SaveOptions unused;
        path = services_.AskSavePath(kind == SaveKind::SaveCopy ? "Save Copy" : "Save As",
                                     WithoutExtension(document.Path()),
                                     {{containers.filterName, {"*.KLE"}}}, 0, unused);
        if (!path) {
            std::erase(closePending_, &document);
            return;
        }
        if (UpperCase(FileExtension(*path)) != "KLE") {
            services_.ShowMessage(kNoSuitableFormat, MessageIcon::Exclamation);
            std::erase(closePending_, &document);
            return;
        }
    }
    // Over its own file only the fixed part is pending; tiles were written as they changed.
    Job job = document.IsOwnFile(*path) ? document.SaveHeaderJob() : document.SaveCopyJob(*path);
    job.done = [this, &document, done = std::move(job.done)](const JobResult& result) {
        if (done) done(result);
        // A close that waited for the save goes on only when it succeeded.
        if (result.status != JobStatus::Done) std::erase(closePending_, &document);
    };
    RunDocumentJob(document, std::move(job));
}

void CPictorApp::StartSave(CMyDoc& document, const std::string& path, bool rename) {
    const SaveTarget target = ChooseSaveTarget(path, document.Mode(), platform_);
    if (target == SaveTarget::None) {
        services_.ShowMessage(kNoSuitableFormat, MessageIcon::Exclamation);
        std::erase(closePending_, &document);
        return;
    }
    if (document.ShowsLessThanFile() && SameFile(path, document.Path())) {
        services_.ShowMessage(document.Title() +
                                  " shows a reduced level or a region of its file; saving it there "
                                  "would replace the full image with what is shown.\nSave it "
                                  "under another name with Save As.",
                              MessageIcon::Exclamation);
        std::erase(closePending_, &document);
        return;
    }
    const bool replacing = Exists(path);
    Job job;
    job.escapeAllowed = target != SaveTarget::QtEncoder;
    job.message = job.escapeAllowed ? kWritingStoppable : kWriting;
    job.work = [this, &document, path, target, options = document.Options()](JobContext& context) {
        SaveImage(document.Image(), path, target, options, platform_, context);
    };
    job.done = [this, &document, path, rename, replacing](const JobResult& result) {
        if (result.status == JobStatus::Done) {
            AfterSave(document, path, rename);
            return;
        }
        std::erase(closePending_, &document);
        const std::string kept = replacing ? "\n" + path + " was left as it was." : "";
        if (result.status == JobStatus::Stopped)
            services_.ShowMessage("Saving was stopped." + kept, MessageIcon::Information);
        else
            services_.ShowMessage(result.message + kept, MessageIcon::Exclamation);
        Changed();
    };
    jobs_.Start(&document, std::move(job));
    Changed();
}

void CPictorApp::RunDocumentJob(CMyDoc& document, Job job) {
    job.done = [this, &document, done = std::move(job.done)](const JobResult& result) {
        if (done) done(result);
        if (result.status == JobStatus::Failed)
            services_.ShowMessage(document.Path() + "\n" + result.message,
                                  MessageIcon::Exclamation);
        if (std::erase(closePending_, &document) > 0) Destroy(document);
        Changed();
    };
    jobs_.Start(&document, std::move(job));
    Changed();
}

void CPictorApp::AfterSave(CMyDoc& document, const std::string& path, bool rename) {
    if (rename) {
        const SaveTarget target = ChooseSaveTarget(path, document.Mode(), platform_);
        if (!document.HoldsSaveTarget(target)) {
            // The file belongs to another kind of document now: it opens as that kind.
            Destroy(document);
            OpenPaths({path});
            return;
        }
        document.Rename(path, SizeOfFile(path));
        document.SetModified(false);
        document.UpdateAllViews(HintSaved);
        if (observer_) observer_->DocumentRenamed(path);
    }
    if (std::erase(closePending_, &document) > 0) Destroy(document);
    Changed();
}

bool CPictorApp::RequestClose(CMyDoc& document) {
    if (IsBusy(document)) {
        if (std::find(closePending_.begin(), closePending_.end(), &document) == closePending_.end())
            closePending_.push_back(&document);
        const bool stopping = jobs_.PressEscape(&document) == JobRunner::Escape::Stopping;
        services_.ShowStatus(stopping ? "Stopping; the window closes when the work has ended."
                                      : "The window closes when the current work has ended.");
        return false;
    }
    if (document.Modified()) {
        switch (services_.Ask("Save changes to " + document.Title() + "?", true)) {
        case Answer::Cancel:
            return false;
        case Answer::Yes:
            closePending_.push_back(&document);
            Save(document, SaveKind::Save);
            // Closed when the save succeeds; a cancelled dialog keeps the document open.
            if (!IsBusy(document)) std::erase(closePending_, &document);
            return false;
        case Answer::No:
            break;
        }
    }
    Destroy(document);
    return true;
}

void CPictorApp::Destroy(CMyDoc& document) {
    std::erase(closePending_, &document);
    if (observer_) observer_->DocumentClosing(document);
    std::erase_if(documents_, [&document](const auto& d) { return d.get() == &document; });
    Changed();
}

std::vector<FileFilter> CPictorApp::OpenFilters() const {
    FileFilter all{"All image files", {}};
    std::vector<FileFilter> filters;
    for (const std::string& extension : platform_.readable)
        all.patterns.push_back("*." + extension);
    for (std::size_t i = 1; i < templates_.size(); ++i) {
        const DocumentTemplate& entry = templates_[i];
        if (!entry.create) continue;
        FileFilter own{entry.filterName, {}};
        for (const std::string& extension : FilterExtensions(entry.filterExtension))
            own.patterns.push_back("*" + extension);
        all.patterns.insert(all.patterns.end(), own.patterns.begin(), own.patterns.end());
        filters.push_back(std::move(own));
    }
    filters.insert(filters.begin(), std::move(all));
    return filters;
}

std::vector<FileFilter> CPictorApp::SaveFilters(std::uint32_t mode) const {
    std::vector<FileFilter> filters;
    for (const std::string& extension : platform_.writable)
        if (platform_.CanWrite(mode, extension))
            filters.push_back(
                {UpperCase(extension) + " (*." + extension + ")", {"*." + extension}});
    if (IsQVTWritableMode(mode)) filters.push_back({templates_[1].filterName, {"*.QVT"}});
    if (IsAnymapMode(mode)) filters.push_back(AnymapFilterOf(mode));
    return filters;
}

int CPictorApp::SelectedFilter(const std::vector<FileFilter>& filters, const std::string& path) {
    const std::string extension = UpperCase(FileExtension(path));
    if (extension.empty()) return 0;
    for (std::size_t i = 0; i < filters.size(); ++i)
        for (const std::string& pattern : filters[i].patterns)
            if (UpperCase(pattern) == "*." + extension) return static_cast<int>(i);
    return 0;
}
