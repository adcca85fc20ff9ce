// The application object: the document templates, the open documents, the open options, the
// background colour of every view and the job runner, with the file commands that work on them.
// The UI shell creates the windows when told that a document opened and closes them when told.
#pragma once

#include "desktop_services.h"
#include "document_templates.h"
#include "job_runner.h"
#include "kldext_rules.h"
#include "open_options.h"
#include "platform_images.h"

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CKLDExtDoc;

class ShellObserver {
public:
    virtual ~ShellObserver() = default;
    // A document finished opening: show it.
    virtual void DocumentOpened(CMyDoc& document) = 0;
    // A document is about to be destroyed: close its windows now.
    virtual void DocumentClosing(CMyDoc& document) = 0;
    // Something the command table reads changed (a job started or ended, a save, ...).
    virtual void StateChanged() = 0;
    // A document took the name of the file it was saved to.
    virtual void DocumentRenamed(const std::string& /*path*/) {}
};

enum class SaveKind { Save, SaveAs, SaveCopy };

class CPictorApp {
public:
    CPictorApp(DesktopServices& services, PlatformImages platform);
    ~CPictorApp();

    void SetObserver(ShellObserver* observer) { observer_ = observer; }

    const std::vector<DocumentTemplate>& Templates() const { return templates_; }
    OpenOptions& Options() { return openOptions_; }
    Rgb Background() const { return background_; }
    void SetBackground(Rgb color) { background_ = color; }
    JobRunner& Jobs() { return jobs_; }
    DesktopServices& Services() { return services_; }
    const PlatformImages& Platform() const { return platform_; }
    const std::vector<std::unique_ptr<CMyDoc>>& Documents() const { return documents_; }

    // Asks for files and opens each.
    void Open();
    // Opens each file in turn, each through the template that matches it; failures show their
    // message and the others go on.
    void OpenPaths(const std::vector<std::string>& paths);
    // Opens files dropped on the program: several at once open without progressive loading.
    void OpenDropped(const std::vector<std::string>& paths);
    // A new untitled, modified document of `kind` holding the image `make` computes on a worker
    // (an image from the clipboard or a drop); failures show their message.
    void OpenUntitled(DocumentKind kind, std::function<RasterImage(JobContext&)> make);
    void Save(CMyDoc& document, SaveKind kind);
    // Asks where to create the container the New dialog describes and creates it as a document.
    void NewKLDExt(const KLDExtFields& fields);
    // Runs a job of the document (its commands wait meanwhile); the shell hears of its start and
    // its end.
    void StartDocumentJob(CMyDoc& document, Job job);
    // Asks to save a modified document first. A busy document closes once its job has ended
    // (and is asked to stop where it may). True when the document is closed now.
    bool RequestClose(CMyDoc& document);
    bool IsBusy(const CMyDoc& document) const { return jobs_.IsBusy(&document); }
    // Runs a job of the document: its failure is shown, and a close asked for meanwhile
    // happens once it has ended.
    void RunDocumentJob(CMyDoc& document, Job job);

    // The open dialog's types: "All image files" first, then one per template that opens files.
    std::vector<FileFilter> OpenFilters() const;
    // The save dialog's types for a mode, and the entry to select for the current extension.
    std::vector<FileFilter> SaveFilters(std::uint32_t mode) const;
    static int SelectedFilter(const std::vector<FileFilter>& filters, const std::string& path);

private:
    void OpenOne(const std::string& path);
    void StartOpening(std::unique_ptr<CMyDoc> document, const std::string& path, bool stoppable,
                      std::function<RasterImage(JobContext&)> read);
    // Shows the documents at the front of the queue whose reading has ended.
    void FinishOpening();
    void StartSave(CMyDoc& document, const std::string& path, bool rename);
    void AfterSave(CMyDoc& document, const std::string& path, bool rename);
    // Save writes a container's fixed part; Save As and Save Copy write a compacted copy to a
    // ".KLE" file, and the document stays with its own file.
    void SaveContainer(CKLDExtDoc& document, SaveKind kind);
    void Destroy(CMyDoc& document);
    void Changed();

    DesktopServices& services_;
    PlatformImages platform_;
    std::vector<DocumentTemplate> templates_;
    OpenOptions openOptions_;
    Rgb background_{0x80, 0x80, 0xFF};
    std::vector<std::unique_ptr<CMyDoc>> documents_;
    // Files being read, in the order they were asked for: they open in that order whichever
    // is read first.
    struct Opening {
        std::unique_ptr<CMyDoc> document;
        std::string path;
        std::shared_ptr<RasterImage> image;
        std::optional<JobResult> result;
        bool untitled = false; // made from data rather than read from `path`
    };
    std::deque<Opening> opening_;
    std::vector<const CMyDoc*> closePending_;
    ShellObserver* observer_ = nullptr;
    JobRunner jobs_; // last: its workers end before the documents they use go
};
