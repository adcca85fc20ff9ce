// QVT documents: a file read the way its format allows. The open shows the coarsest level at once
// and the finer levels follow as they are decoded, up to the level asked for; or the file opens
// as a thumbnail, at a level, or restricted to a region. The file stays open while finer levels
// may still be read, so that the level commands can go on from where reading stopped.
//
// The codec image object is used by one job at a time on a worker thread (the document is busy
// meanwhile); each decoded level is exported there into a new image and handed to the document on
// the UI thread, which replaces its image only then.
#pragma once

#include "commands.h"
#include "document.h"
#include "qvt_reading_rules.h"

#include <memory>

class CQVTMyImage;

class CQVTDoc : public CMyDoc {
public:
    CQVTDoc();
    ~CQVTDoc() override;

    DocumentKind Kind() const override { return DocumentKind::QVT; }
    void TakeOpenOptions(const OpenOptions& options) override { openOptions_ = options; }
    // Opens the file and reads its first picture: the coarsest level when reading
    // progressively, else the target level (Esc keeps the levels decoded so far).
    RasterImage ReadFile(const std::string& path, JobContext& context) override;
    bool ReadStopsOnEscape() const override { return true; }
    bool HoldsSaveTarget(SaveTarget target) const override { return target == SaveTarget::QVT; }
    // The progressive reading of the levels after the first, down to the target.
    std::optional<Job> ContinuationJob() override;

    Size LayoutSize() const override;
    int ReducedLevel() const override { return levelled_ ? plan_.target : 0; }
    bool ShowsLessThanFile() const override;
    // The header and level lengths of the file, and the region read, at the level shown.
    PropertyFacts Properties() const override;
    // The document is the file just written: what it shows is all of that file.
    void Rename(const std::string& path, std::uint64_t fileSize) override;

    // The level shown; the target level; whether the file is still open for finer levels.
    int ShownLevel() const { return shownLevel_; }
    int TargetLevel() const { return plan_.target; }
    bool FileOpen() const { return fileOpen_; }
    const QVTFileFacts& File() const { return file_; }
    LevelFacts Levels() const { return {levelled_, fileOpen_, Modified(), plan_.target}; }
    // Reads on down to `level` (below the target, with the file open): the job to run.
    Job ReadLevelJob(int level);

private:
    Job ReadJob();
    // UI thread: a decoded level arrives, or reading ends.
    void ShowLevel(RasterImage image, int level);
    void EndReading(const JobResult& result);
    void CloseFile();

    OpenOptions openOptions_;
    std::unique_ptr<CQVTMyImage> qvt_;
    QVTFileFacts file_;
    QVTHeaderFacts header_;
    QVTReadPlan plan_;
    int shownLevel_ = 0;
    bool fileOpen_ = false;
    // The image is a level of the file named by the document (not an import or a save of one).
    bool levelled_ = false;
};
