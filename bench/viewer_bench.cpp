// The image view's costs on a 100-megapixel RGB image: making the reduced copy for each zoom
// below 100 %, and repainting a 1920 × 1080 viewport at every zoom step once that copy exists,
// each as stored and colour-managed (the image taken as Display P3, the screen sRGB: at 100 % and
// above the exposed pixels are converted on every paint, below it the reduced copy once). And
// opening a 24-megapixel JPEG: Qt's decoder alone against the program's read (decode plus the
// display image, with and without an embedded profile) and against the first picture on screen
// (read and first paint).
#include "image_drawing.h"
#include "qt_image_file.h"
#include "qt_raster_image.h"
#include "screen_colors.h"
#include "test_profiles.h"
#include "view_math.h"

#include <QColorSpace>
#include <QImageReader>
#include <QPainter>
#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr std::uint32_t kSide = 10000; // 100 megapixels
const QSize kViewport(1920, 1080);

// A 100-megapixel RGB display image with fine detail (one-pixel lines) and gradients.
CDisplayImage& HugeImage() {
    static std::unique_ptr<CDisplayImage> image = [] {
        auto made = CreateEmptyDisplayImage(kSide, kSide, ModeRGB);
        for (std::uint32_t y = 0; y < kSide; ++y) {
            std::uint8_t* row = made->TopRow() + std::ptrdiff_t{made->Pitch()} * y;
            for (std::uint32_t x = 0; x < kSide; ++x) {
                const bool line = x % 97 == 0 || y % 89 == 0;
                row[3 * x] = line ? 0 : static_cast<std::uint8_t>(x);
                row[3 * x + 1] = line ? 0 : static_cast<std::uint8_t>(y);
                row[3 * x + 2] = line ? 0 : static_cast<std::uint8_t>(x ^ y);
            }
        }
        return made;
    }();
    return *image;
}

std::shared_ptr<const IccProfile> P3() {
    static const auto profile = IccProfile::FromBytes(DisplayP3Profile());
    return profile;
}

// A converter from Display P3 to sRGB that has converted nothing yet.
std::unique_ptr<ScreenConverter> NewConverter() {
    static TransformCache transforms;
    return std::make_unique<ScreenConverter>(
        transforms.Get(P3(), SampleFormat::Bgr8, nullptr, RenderingIntent::Perceptual),
        transforms.Get(P3(), SampleFormat::Bgra8, nullptr, RenderingIntent::Perceptual), nullptr);
}

// The benchmark's second argument: 0 as stored, 1 colour-managed with nothing converted before
// (the first paint after opening, zooming or a change of profile), 2 colour-managed again
// (a repaint, which finds the converted tiles).
const ScreenConverter* Converter(const benchmark::State& state) {
    static const std::unique_ptr<ScreenConverter> warm = NewConverter();
    return state.range(1) != 0 ? warm.get() : nullptr;
}

void Label(benchmark::State& state, double zoom) {
    const char* kinds[] = {"", " managed, first paint", " managed, repaint"};
    state.SetLabel(ZoomText(zoom) + kinds[state.range(1)]);
}

void BM_BuildReducedCopy(benchmark::State& state) {
    const double zoom = kZoomSteps[static_cast<std::size_t>(state.range(0))];
    const QImage source = WrapDisplayImage(HugeImage());
    for (auto _ : state)
        benchmark::DoNotOptimize(BuildReducedCopy(source, zoom, nullptr, Converter(state)));
    state.SetLabel(ZoomText(zoom) + (state.range(1) != 0 ? " managed" : ""));
}
BENCHMARK(BM_BuildReducedCopy)
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

void BM_PaintViewport(benchmark::State& state) {
    const double zoom = kZoomSteps[static_cast<std::size_t>(state.range(0))];
    const QImage source = WrapDisplayImage(HugeImage());
    const QImage reduced =
        zoom < 1 ? BuildReducedCopy(source, zoom, nullptr, Converter(state)) : QImage();
    const Size drawn = ZoomedSize({kSide, kSide}, zoom);
    const Size client{kViewport.width(), kViewport.height()};
    // Scrolled to the middle of the image.
    const Point scroll{ScrollMaximum(drawn.width, client.width) / 2,
                       ScrollMaximum(drawn.height, client.height) / 2};
    const Point origin = ImageOrigin(drawn, client, scroll);
    const QRect area = QRect(QPoint(0, 0), kViewport) &
                       QRect(static_cast<int>(origin.x), static_cast<int>(origin.y),
                             static_cast<int>(drawn.width), static_cast<int>(drawn.height));
    QImage screen(kViewport, QImage::Format_RGB32);
    for (auto _ : state) {
        const std::unique_ptr<ScreenConverter> fresh =
            state.range(1) == 1 ? NewConverter() : nullptr;
        QPainter painter(&screen);
        painter.fillRect(screen.rect(), QColor(0x80, 0x80, 0xFF));
        DrawImageArea(painter, source, reduced, area, origin, zoom,
                      fresh ? fresh.get() : Converter(state));
    }
    Label(state, zoom);
}
BENCHMARK(BM_PaintViewport)
    ->ArgsProduct({benchmark::CreateDenseRange(0, 9, 1), {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

// A 24-megapixel JPEG of the sample photograph, made once, with a Display P3 profile embedded
// or not.
QString MakeJpeg(bool tagged) {
    const QString made = QString::fromLocal8Bit(qgetenv("TMPDIR").isEmpty() ? QByteArray("/tmp")
                                                                            : qgetenv("TMPDIR")) +
                         (tagged ? "/pictor_bench_24mp_p3.jpg" : "/pictor_bench_24mp.jpg");
    QImage photo = QImage(QStringLiteral(PICTOR_SAMPLE_PHOTO))
                       .scaled(6000, 4000, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (tagged) {
        const std::vector<std::uint8_t>& bytes = P3()->Bytes();
        photo.setColorSpace(QColorSpace::fromIccProfile(QByteArray(
            reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()))));
    }
    photo.save(made, "JPEG", 90);
    return made;
}

const QString& JpegPath(bool tagged = false) {
    static const QString paths[2] = {MakeJpeg(false), MakeJpeg(true)};
    return paths[tagged];
}

void BM_OpenJpegQtReaderAlone(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(QImageReader(JpegPath()).read());
}
BENCHMARK(BM_OpenJpegQtReaderAlone)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

void BM_OpenJpegRead(benchmark::State& state) {
    const bool tagged = state.range(0) != 0;
    for (auto _ : state)
        if (static_cast<bool>(ReadQtImageFile(JpegPath(tagged).toStdString()).profile) != tagged)
            state.SkipWithError("the profile did not come as made");
    state.SetLabel(tagged ? "with profile" : "without profile");
}
BENCHMARK(BM_OpenJpegRead)
    ->DenseRange(0, 1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

void BM_OpenJpegOnScreen(benchmark::State& state) {
    QImage screen(QSize(1280, 760), QImage::Format_RGB32);
    for (auto _ : state) {
        RasterImage image = ReadQtImageFile(JpegPath().toStdString());
        const Size size{image.Width(), image.Height()};
        const Size client{screen.width(), screen.height()};
        const double zoom = *FitZoom(size, client);
        const QImage source = WrapDisplayImage(*image.display);
        const Size drawn = ZoomedSize(size, zoom);
        const Point origin = ImageOrigin(drawn, client, {0, 0});
        const QRect area(static_cast<int>(origin.x), static_cast<int>(origin.y),
                         static_cast<int>(drawn.width), static_cast<int>(drawn.height));
        // The first picture is the nearest-pixel stand-in; the reduced copy follows.
        QPainter painter(&screen);
        painter.drawImage(area.topLeft(), SampleNearest(source, area, origin, zoom));
    }
}
BENCHMARK(BM_OpenJpegOnScreen)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

} // namespace
