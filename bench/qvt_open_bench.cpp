// Opening QVT files in the program, window and all (offscreen): the time until the first picture
// of a 24-megapixel photograph stored with six levels is painted, the time until its progressive
// open has read the full image, against decoding it alone; and the time until a thumbnail open
// of a 100-megapixel file is painted.
#include "main_window.h"
#include "qvt_document.h"
#include "qvt_view.h"

#include "qt_raster_image.h"
#include "qvt_file.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <vector>

namespace {

std::string TempPath(const char* name) {
    const QByteArray folder = qgetenv("TMPDIR").isEmpty() ? QByteArray("/tmp") : qgetenv("TMPDIR");
    return QString::fromLocal8Bit(folder + "/" + name).toStdString();
}

// The sample photograph at the size given, stored lossless with the levels given; made once.
std::string PhotoQvt(const char* name, int width, int height, int levels) {
    const std::string path = TempPath(name);
    if (QFileInfo::exists(QString::fromStdString(path))) return path;
    RasterImage image = RasterImageFromQImage(
        QImage(QStringLiteral(PICTOR_SAMPLE_PHOTO))
            .scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_BGR888));
    QVTWriteOptions options;
    options.levels = levels;
    WriteQVTFile(image, path, options);
    return path;
}

const std::string& Photo24() {
    static const std::string path = PhotoQvt("pictor_bench_24mp_6levels.qvt", 6000, 4000, 6);
    return path;
}

const std::string& Photo100() {
    static const std::string path = PhotoQvt("pictor_bench_100mp.qvt", 12000, 8400, 0);
    return path;
}

// Notes when a QVT view first paints.
class FirstPaint : public QObject {
public:
    FirstPaint() { qApp->installEventFilter(this); }
    ~FirstPaint() override { qApp->removeEventFilter(this); }
    bool painted = false;
    qint64 nanoseconds = 0;
    QElapsedTimer clock;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!painted && event->type() == QEvent::Paint &&
            qobject_cast<CQVTView*>(watched->parent())) {
            painted = true;
            nanoseconds = clock.nsecsElapsed();
        }
        return false;
    }
};

// Seconds of processor time of the whole process, every thread included.
double ProcessSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct Opened {
    double firstPicture = 0; // seconds
    double complete = 0;
    double processor = 0; // seconds of processor time until complete
};

enum class Until { FirstPicture, Complete };

// Opens the file in the window, waits for the first picture or until reading has ended, and
// closes it again (a read still going on stops at its next level).
Opened OpenInWindow(CMainFrame& frame, const std::string& path, Until until) {
    FirstPaint paint;
    const double processor = ProcessSeconds();
    paint.clock.start();
    frame.App().OpenPaths({path});
    const auto waiting = [&] {
        if (until == Until::FirstPicture) return !paint.painted;
        return frame.App().Jobs().AnyBusy() || frame.App().Documents().empty();
    };
    while (waiting())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const Opened opened{static_cast<double>(paint.nanoseconds) * 1e-9,
                        static_cast<double>(paint.clock.nsecsElapsed()) * 1e-9,
                        ProcessSeconds() - processor};
    frame.App().RequestClose(*frame.App().Documents().front());
    while (!frame.App().Documents().empty())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return opened;
}

CMainFrame* gFrame = nullptr; // made in main, after the application

CMainFrame& Frame() { return *gFrame; }

// The machine may be shared: the best of the repetitions is the figure to compare.
double Best(const std::vector<double>& values) {
    return *std::min_element(values.begin(), values.end());
}

void BM_DecodeWhole24MP(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadQVTFile(Photo24()));
}
BENCHMARK(BM_DecodeWhole24MP)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->ComputeStatistics("best", Best);

void BM_ProgressiveOpen24MPFirstPicture(benchmark::State& state) {
    for (auto _ : state)
        state.SetIterationTime(OpenInWindow(Frame(), Photo24(), Until::FirstPicture).firstPicture);
}
BENCHMARK(BM_ProgressiveOpen24MPFirstPicture)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20)
    ->UseManualTime()
    ->ComputeStatistics("best", Best);

void BM_ProgressiveOpen24MPComplete(benchmark::State& state) {
    double processor = 0;
    for (auto _ : state) {
        const Opened opened = OpenInWindow(Frame(), Photo24(), Until::Complete);
        state.SetIterationTime(opened.complete);
        processor += opened.processor;
    }
    state.counters["processor_s"] =
        benchmark::Counter(processor, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ProgressiveOpen24MPComplete)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseManualTime()
    ->ComputeStatistics("best", Best);

void BM_ThumbnailOpen100MP(benchmark::State& state) {
    Frame().App().Options().thumbnail = true;
    for (auto _ : state)
        state.SetIterationTime(OpenInWindow(Frame(), Photo100(), Until::FirstPicture).firstPicture);
    Frame().App().Options().thumbnail = false;
}
BENCHMARK(BM_ThumbnailOpen100MP)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20)
    ->UseManualTime()
    ->ComputeStatistics("best", Best);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    CMainFrame frame;
    frame.resize(1280, 860);
    frame.show();
    gFrame = &frame;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
