#include "image_commands.h"

#include "image_edits.h"

namespace {

using MakeImage = std::function<RasterImage(RasterImage& image, JobContext& context)>;

void RunImageCommand(CPictorApp& app, CMyDoc& document, const char* message, int hint,
                     MakeImage make) {
    if (app.IsBusy(document) || !document.HasImage()) return;
    auto result = std::make_shared<RasterImage>();
    Job job;
    job.message = message;
    job.escapeAllowed = true;
    job.work = [source = document.SharedImage(), result,
                make = std::move(make)](JobContext& context) { *result = make(*source, context); };
    job.done = [&app, &document, result, hint](const JobResult& outcome) {
        switch (outcome.status) {
        case JobStatus::Done:
            document.TakeCommandResult(std::move(*result), hint);
            break;
        case JobStatus::Stopped:
            app.Services().ShowStatus("Stopped; the image was left as it was.");
            break;
        case JobStatus::Failed:
            app.Services().ShowMessage(outcome.message, MessageIcon::Exclamation);
            break;
        }
    };
    app.StartDocumentJob(document, std::move(job));
}

} // namespace

void ChangeMode(CPictorApp& app, CMyDoc& document, ImageMode target) {
    RunImageCommand(app, document, "Changing the image mode... Press Esc to stop.", HintContent,
                    [target](RasterImage& image, JobContext& context) {
                        return ChangedMode(image, target, context);
                    });
}

void ChangeSize(CPictorApp& app, CMyDoc& document, std::uint32_t width, std::uint32_t height) {
    RunImageCommand(app, document, "Changing the image size... Press Esc to stop.", HintSize,
                    [width, height](RasterImage& image, JobContext& context) {
                        return Resized(image, width, height, context);
                    });
}

void StepTransparency(CPictorApp& app, CMyDoc& document, int step) {
    RunImageCommand(app, document, "Changing the transparency... Press Esc to stop.", HintContent,
                    [step](RasterImage& image, JobContext& context) {
                        return WithAlphaStep(image, step, context);
                    });
}
