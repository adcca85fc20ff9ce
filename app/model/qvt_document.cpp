#include "qvt_document.h"

#include "memory_budget.h"
#include "qvt_file.h"
#include "qvt_my_image.h"
#include "region_at_level.h"

#include <exception>
#include <functional>

namespace {

// Decodes down to `level` as the plan says, reporting to the job.
void ReadTo(CQVTImage& qvt, const QVTReadPlan& plan, int level, JobContext& context) {
    if (plan.regionReading)
        qvt.ReadRegion(plan.region, level, context.Callback(), context.Data());
    else
        qvt.Read(level, context.Callback(), context.Data());
}

void EnsureMemoryForLevel(const CQVTImage& qvt, const QVTFileFacts& file, const QVTReadPlan& plan,
                          int level) {
    const Size size = ReadSizeAtLevel(file, plan, level);
    EnsureMemoryFor(DocumentImageBytes(static_cast<std::uint32_t>(size.width),
                                       static_cast<std::uint32_t>(size.height), qvt.Header().mode));
}

// Hands decoded levels to the UI thread. Each is exported on the worker right after it is
// decoded, before the next level reuses the planes, into a new image the UI then owns.
class LevelDelivery {
public:
    using Show = std::function<void(std::shared_ptr<RasterImage> image, int level)>;

    LevelDelivery(CQVTImage& qvt, JobContext& context, Show show, int shown)
        : qvt_(qvt), context_(context), show_(std::move(show)), shown_(shown) {}
    ~LevelDelivery() { qvt_.SetRefreshCallback(nullptr, nullptr); }
    LevelDelivery(const LevelDelivery&) = delete;
    LevelDelivery& operator=(const LevelDelivery&) = delete;

    // Every level as it is decoded.
    void EveryLevel() { qvt_.SetRefreshCallback(&LevelDelivery::OnLevel, this); }
    // The level reached, unless it was delivered already.
    void Rest() {
        if (qvt_.CurrentLevel() != shown_) Deliver();
    }

private:
    static void OnLevel(void* self) { static_cast<LevelDelivery*>(self)->Deliver(); }

    void Deliver() {
        auto image = std::make_shared<RasterImage>(ExportQVTLevel(qvt_));
        const int level = qvt_.CurrentLevel();
        context_.Deliver([show = show_, image, level] { show(image, level); });
        shown_ = level;
    }

    CQVTImage& qvt_;
    JobContext& context_;
    Show show_;
    int shown_;
};

SaveOptions SaveOptionsOf(const CQVTImage& qvt) {
    SaveOptions options;
    options.levels = qvt.Header().levels;
    options.quality = qvt.Header().quality;
    options.checkBox = qvt.Header().levels == 0;
    options.regionSupport = (qvt.LeadIn().version & kVersionRegion) != 0;
    return options;
}

} // namespace

CQVTDoc::CQVTDoc() = default;

CQVTDoc::~CQVTDoc() = default;

RasterImage CQVTDoc::ReadFile(const std::string& path, JobContext& context) {
    // The document is not shown until this job has ended: nothing else reads its state.
    auto qvt = std::make_unique<CQVTMyImage>();
    qvt->SetThreadCount(context.Threads());
    OpenQVTFile(*qvt, path);
    file_ = {qvt->Header().levels, qvt->Header().width, qvt->Header().height,
             (qvt->LeadIn().version & kVersionRegion) != 0};
    header_ = {qvt->Header().quality,
               qvt->Header().levels,
               {qvt->LevelLengths().begin(), qvt->LevelLengths().end()},
               qvt->LeadIn().version,
               qvt->ChannelDepth()};
    plan_ = PlanQVTRead(openOptions_, file_);
    EnsureMemoryForLevel(*qvt, file_, plan_, plan_.target);
    Options() = SaveOptionsOf(*qvt);
    try {
        ReadTo(*qvt, plan_, plan_.progressive ? CoarsestLevel(file_.levels) : plan_.target,
               context);
    } catch (const IOException& error) {
        if (error.error != ErrorUserBreak) ThrowCodeError(error.error);
        // Esc: the document shows the levels decoded so far, and reading stops there.
        plan_.target = qvt->CurrentLevel();
    }
    RasterImage image = ExportQVTLevel(*qvt);
    shownLevel_ = qvt->CurrentLevel();
    fileOpen_ = shownLevel_ > 0;
    // Kept only while finer levels may be read: its planes are as large as the image.
    if (fileOpen_) qvt_ = std::move(qvt);
    levelled_ = true;
    return image;
}

std::optional<Job> CQVTDoc::ContinuationJob() {
    if (!plan_.progressive || !fileOpen_ || shownLevel_ <= plan_.target) return std::nullopt;
    return ReadJob();
}

Job CQVTDoc::ReadLevelJob(int level) {
    plan_.target = level;
    // When reading goes on to full size, the level shown is laid out at that size, stretched.
    UpdateAllViews(HintSize);
    return ReadJob();
}

Job CQVTDoc::ReadJob() {
    Job job;
    job.message = kReadingStoppable;
    job.escapeAllowed = true;
    LevelDelivery::Show show = [this](std::shared_ptr<RasterImage> image, int level) {
        ShowLevel(std::move(*image), level);
    };
    job.work = [qvt = qvt_.get(), file = file_, plan = plan_, shown = shownLevel_,
                show = std::move(show)](JobContext& context) {
        qvt->SetThreadCount(context.Threads());
        EnsureMemoryForLevel(*qvt, file, plan, plan.target);
        LevelDelivery delivery(*qvt, context, show, shown);
        if (plan.progressive) delivery.EveryLevel();
        try {
            ReadTo(*qvt, plan, plan.target, context);
        } catch (...) {
            // After a stop or an error the decoded levels can still be shown; the user is told
            // of the read's own failure, not of a second one here.
            try {
                delivery.Rest();
            } catch (...) {
            }
            throw;
        }
        delivery.Rest();
    };
    job.done = [this](const JobResult& result) { EndReading(result); };
    return job;
}

void CQVTDoc::ShowLevel(RasterImage image, int level) {
    Adopt(std::move(image), Path(), FileSize());
    shownLevel_ = level;
    UpdateAllViews(LevelHint(level, plan_.target, plan_.progressive));
}

void CQVTDoc::EndReading(const JobResult& result) {
    // Stopped or failed: reading rests at the level shown, and the next level command goes on
    // from there.
    const bool retargeted = plan_.target != shownLevel_;
    plan_.target = shownLevel_;
    if (result.status == JobStatus::Failed || shownLevel_ == 0) CloseFile();
    if (retargeted) UpdateAllViews(HintSize);
}

void CQVTDoc::CloseFile() {
    qvt_.reset();
    fileOpen_ = false;
}

Size CQVTDoc::LayoutSize() const {
    if (!levelled_) return CMyDoc::LayoutSize();
    return QVTLayoutSize(file_, plan_, shownLevel_, Modified(), {Width(), Height()});
}

bool CQVTDoc::ShowsLessThanFile() const {
    return levelled_ && (shownLevel_ > 0 || plan_.regionReading);
}

void CQVTDoc::Rename(const std::string& path, std::uint64_t fileSize) {
    CMyDoc::Rename(path, fileSize);
    CloseFile();
    levelled_ = false;
    plan_ = {};
    shownLevel_ = 0;
}

PropertyFacts CQVTDoc::Properties() const {
    PropertyFacts facts = CMyDoc::Properties();
    if (!levelled_) return facts;
    facts.fileOpen = fileOpen_;
    facts.qvt = header_;
    if (plan_.regionReading) {
        const RegionRect region =
            RegionAtLevel(plan_.region, shownLevel_, CeilAtLevel(file_.width, shownLevel_),
                          CeilAtLevel(file_.height, shownLevel_));
        facts.region = {region.left, region.top, region.right, region.bottom};
    }
    return facts;
}
