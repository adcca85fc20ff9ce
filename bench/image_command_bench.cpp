// The Image menu's commands on a 24-megapixel image (6000 × 4000), run as the program runs them:
// a job of the job runner, with progress, on the threads the runner gives a job. Beside each,
// the core's own work for the same result on one thread: the pixel-map conversion (or resampling)
// alone, and the image conversion that also builds the display image. And copying to the
// clipboard, which must cost nothing until a program asks for the data.
#include "desktop_services.h"
#include "image_commands.h"
#include "image_documents.h"
#include "image_mime_data.h"
#include "image_transform.h"
#include "pictor_app.h"
#include "pixmap_factory.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <benchmark/benchmark.h>

#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

constexpr std::uint32_t kWidth = 6000, kHeight = 4000;

// Desktop services that run UI tasks on the benchmark's thread.
class BenchServices final : public DesktopServices {
public:
    void ShowMessage(const std::string& text, MessageIcon) override { last = text; }
    Answer Ask(const std::string&, bool) override { return Answer::No; }
    void ShowStatus(const std::string&) override {}
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    void BeginProgress(const std::string&) override {}
    void StepProgress(int) override { ++steps; }
    void EndProgress() override {}
    std::vector<std::string> AskOpenPaths(const std::vector<FileFilter>&, OpenOptions&) override {
        return {};
    }
    std::optional<std::string> AskSavePath(const std::string&, const std::string&,
                                           const std::vector<FileFilter>&, int,
                                           SaveOptions&) override {
        return {};
    }
    std::optional<Rgb> AskColor(Rgb) override { return {}; }
    void PostToUi(std::function<void()> task) override {
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        posted_.notify_one();
    }
    // Sleeps between tasks, as an event loop does, so the job has every processor.
    void RunUntilIdle(CPictorApp& app) {
        while (app.Jobs().AnyBusy()) {
            std::unique_lock lock(mutex_);
            posted_.wait(lock, [this] { return !tasks_.empty(); });
            auto task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
        }
    }
    std::string last;
    int steps = 0;

private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> tasks_;
};

// A photograph-like map: gradients with mild noise.
std::unique_ptr<CPixMap> Photo(std::uint32_t mode) {
    auto map = CreatePixMap({0, 0, kWidth, kHeight}, mode);
    const auto bytes = static_cast<std::uint32_t>(RowBytes(map->BitsPerPixel(), kWidth));
    std::uint32_t noise = 1;
    for (std::uint32_t y = 0; y < kHeight; ++y) {
        std::uint8_t* row = map->Row(y);
        for (std::uint32_t i = 0; i < bytes; ++i) {
            noise = noise * 1103515245 + 12345;
            row[i] = static_cast<std::uint8_t>(i / 48 + y / 32 * (i % 3 + 1) + (noise >> 28));
        }
    }
    return map;
}

struct Setup {
    explicit Setup(std::uint32_t mode) : photo(Photo(mode)) { Reset(); }
    // The document gets the photograph again.
    void Reset() {
        auto copy = CreatePixMap(photo->Rect(), photo->GetMode());
        photo->CopyRect(photo->Rect(), *copy, copy->Rect());
        document.Adopt(MakeRasterImage(std::move(copy), 0), "photo", 0);
    }

    std::unique_ptr<CPixMap> photo;
    BenchServices services;
    CPictorApp app{services, PlatformImages{}};
    CPNMDoc document;
};

Setup& Prepared(std::uint32_t mode) {
    static std::map<std::uint32_t, std::unique_ptr<Setup>> setups;
    auto& setup = setups[mode];
    if (!setup) setup = std::make_unique<Setup>(mode);
    return *setup;
}

// The command through the job runner, from the document's start to the image it takes.
template <typename Start>
void Command(benchmark::State& state, std::uint32_t mode, Start start) {
    Setup& setup = Prepared(mode);
    for (auto _ : state) {
        const auto before = setup.document.SharedImage();
        start(setup.app, setup.document);
        setup.services.RunUntilIdle(setup.app);
        state.PauseTiming();
        if (setup.document.SharedImage() == before)
            state.SkipWithError(setup.services.last.c_str());
        setup.Reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t{kWidth} * kHeight);
}

// Wall-clock time, and the processor time of every thread (the job's run off this one).
void Timing(benchmark::internal::Benchmark* benchmark) {
    benchmark->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
}

void ModeCommand(benchmark::State& state, std::uint32_t from, ImageMode to) {
    Command(state, from,
            [to](CPictorApp& app, CMyDoc& document) { ChangeMode(app, document, to); });
}

void CoreConvertTo(benchmark::State& state, std::uint32_t from, ImageMode to) {
    RasterImage& image = Prepared(from).document.Image();
    const auto target = CreatePixMap({0, 0, kWidth, kHeight}, to);
    for (auto _ : state)
        ImagePixels(image)->ConvertTo(*target);
    state.SetItemsProcessed(state.iterations() * std::int64_t{kWidth} * kHeight);
}

void CoreConvertImage(benchmark::State& state, std::uint32_t from, ImageMode to) {
    RasterImage& image = Prepared(from).document.Image();
    for (auto _ : state)
        benchmark::DoNotOptimize(ConvertImage(image, to));
    state.SetItemsProcessed(state.iterations() * std::int64_t{kWidth} * kHeight);
}

#define MODE_CHANGE(name, from, to)                                                                \
    BENCHMARK_CAPTURE(CoreConvertTo, name, from, to)->Apply(Timing);                               \
    BENCHMARK_CAPTURE(CoreConvertImage, name, from, to)->Apply(Timing);                            \
    BENCHMARK_CAPTURE(ModeCommand, name, from, to)->Apply(Timing);

MODE_CHANGE(RgbToCmyk, ModeRGB, ModeCMYK)
MODE_CHANGE(RgbToLab, ModeRGB, ModeLab)
MODE_CHANGE(RgbToGray, ModeRGB, ModeGray)
MODE_CHANGE(RgbToRgb48, ModeRGB, ModeRGB48)
MODE_CHANGE(RgbToIndexed, ModeRGB, ModeIndexed)
MODE_CHANGE(CmykToRgb, ModeCMYK, ModeRGB)

void ResizeCommand(benchmark::State& state, std::uint32_t mode, std::uint32_t width,
                   std::uint32_t height) {
    Command(state, mode, [width, height](CPictorApp& app, CMyDoc& document) {
        ChangeSize(app, document, width, height);
    });
}

void CoreStretchRect(benchmark::State& state, std::uint32_t mode, std::uint32_t width,
                     std::uint32_t height) {
    RasterImage& image = Prepared(mode).document.Image();
    const auto target = CreatePixMap({0, 0, width, height}, mode);
    for (auto _ : state) {
        const ImagePixels source(image);
        source->StretchRect(source->Rect(), *target, target->Rect());
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t{kWidth} * kHeight);
}

void CoreResizeImage(benchmark::State& state, std::uint32_t mode, std::uint32_t width,
                     std::uint32_t height) {
    RasterImage& image = Prepared(mode).document.Image();
    for (auto _ : state)
        benchmark::DoNotOptimize(ResizeImage(image, width, height));
    state.SetItemsProcessed(state.iterations() * std::int64_t{kWidth} * kHeight);
}

#define RESIZE(name, mode, width, height)                                                          \
    BENCHMARK_CAPTURE(CoreStretchRect, name, mode, width, height)->Apply(Timing);                  \
    BENCHMARK_CAPTURE(CoreResizeImage, name, mode, width, height)->Apply(Timing);                  \
    BENCHMARK_CAPTURE(ResizeCommand, name, mode, width, height)->Apply(Timing);

RESIZE(RgbHalf, ModeRGB, kWidth / 2, kHeight / 2)
RESIZE(RgbUp, ModeRGB, 7500, 5000)
RESIZE(Cmyk64Half, ModeCMYK64, kWidth / 2, kHeight / 2)

// Copy: the data are only promised; the image is encoded when a program asks for PNG.
void CopyToClipboard(benchmark::State& state) {
    const auto image = Prepared(ModeRGB).document.SharedImage();
    for (auto _ : state)
        QGuiApplication::clipboard()->setMimeData(new ImageMimeData(image));
}
BENCHMARK(CopyToClipboard)->Unit(benchmark::kMicrosecond);

void PasteAsPngElsewhere(benchmark::State& state) {
    const auto image = Prepared(ModeRGB).document.SharedImage();
    QGuiApplication::clipboard()->setMimeData(new ImageMimeData(image));
    for (auto _ : state) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        qvariant_cast<QImage>(QGuiApplication::clipboard()->mimeData()->imageData())
            .save(&buffer, "PNG");
        benchmark::DoNotOptimize(png.size());
    }
}
BENCHMARK(PasteAsPngElsewhere)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
