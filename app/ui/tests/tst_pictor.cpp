// The program's wiring under the offscreen platform: files named on the command line open in
// tabs, keys, wheel and zoom box reach the view, Ctrl+R and Enter crop, Esc stops a long job
// (leaving the old file, or the levels read so far), 100 % is one image pixel per device pixel on
// a screen of any ratio, the stand-in drawn below 100 % shows the source's own pixels, and a
// wide-gamut image is drawn in the screen's colours at every zoom, or as stored when colour
// management is turned off, with its pixels untouched either way.
#include "frame_fixture.h"
#include "image_drawing.h"
#include "image_view.h"
#include "main_window.h"
#include "message_catcher.h"

#include "anymap_file.h"
#include "pixmap_factory.h"
#include "qt_image_file.h"
#include "qt_raster_image.h"
#include "qvt_document.h"
#include "qvt_file.h"
#include "screen_colors.h"
#include "test_files.h"
#include "test_profiles.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QScrollBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// A saturated orange in the program's L*a*b* encoding.
constexpr std::uint8_t kLabSample[3] = {150, 200, 200};

} // namespace

class TstPictor : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString Path(const char* name) const { return dir_.filePath(name); }

    std::unique_ptr<CMainFrame> OpenFrame(const QStringList& names) {
        return FrameWithFiles(dir_.path(), names);
    }

private slots:
    void initTestCase() {
        // Settings the program remembers go to a test folder, not the user's.
        QStandardPaths::setTestModeEnabled(true);
        QSettings().clear();
        QVERIFY(dir_.isValid());
        RasterImage small = GradientImage(64, 48);
        WriteAnymapFile(small, Path("small.ppm").toStdString(), true);
        RasterImage large = GradientImage(1500, 1000);
        WriteAnymapFile(large, Path("large.ppm").toStdString(), true);
        WriteQVTFile(large, Path("large.qvt").toStdString());
        RasterImage argb;
        argb.display = CreateEmptyDisplayImage(16, 16, ModeARGB);
        for (std::uint32_t y = 0; y < 16; ++y)
            for (std::uint32_t x = 0; x < 16; ++x) {
                std::uint8_t* pixel = argb.display->TopRow() + argb.display->Pitch() * y + 4 * x;
                pixel[0] = 0;   // blue
                pixel[1] = 0;   // green
                pixel[2] = 255; // red
                pixel[3] = 128; // alpha
            }
        WriteQtImageFile(argb, Path("half.png").toStdString());
        // sRGB's pure red in Display P3 numbers: a duller red as stored.
        RasterImage wide;
        wide.display = CreateEmptyDisplayImage(64, 48, ModeRGB);
        for (std::uint32_t y = 0; y < 48; ++y)
            for (std::uint32_t x = 0; x < 64; ++x) {
                std::uint8_t* pixel = wide.display->TopRow() + wide.display->Pitch() * y + 3 * x;
                pixel[0] = 35;
                pixel[1] = 51;
                pixel[2] = 234;
            }
        wide.profile = IccProfile::FromBytes(DisplayP3Profile());
        WriteQtImageFile(wide, Path("wide.png").toStdString());
        RasterImage red;
        red.display = CreateEmptyDisplayImage(64, 48, ModeRGB);
        for (std::uint32_t y = 0; y < 48; ++y)
            for (std::uint32_t x = 0; x < 64; ++x)
                red.display->TopRow()[red.display->Pitch() * y + 3 * x + 2] = 255;
        WriteQtImageFile(red, Path("red.png").toStdString());
        auto lab = CreatePixMap({0, 0, 64, 48}, ModeLab);
        for (std::uint32_t y = 0; y < 48; ++y)
            for (std::uint32_t x = 0; x < 64; ++x)
                std::memcpy(lab->Row(y) + 3 * x, kLabSample, 3);
        RasterImage labImage = MakeRasterImage(std::move(lab), 0);
        labImage.profile = IccProfile::FromBytes(LabProfile());
        WriteQVTFile(labImage, Path("lab.qvt").toStdString());
    }

    void openFromTheCommandLine() {
        auto frame = OpenFrame({"small.ppm", "large.ppm"});
        QVERIFY(frame);
        QCOMPARE(frame->Area()->viewMode(), QMdiArea::TabbedView);
        QVERIFY(frame->ActiveView());
        QVERIFY(frame->windowTitle().startsWith("large.ppm - "));
        QVERIFY(frame->ActiveView()->Title().startsWith("large.ppm @ "));
        QVERIFY(frame->Action(Command::NextWindow)->isEnabled());
    }

    void zoomWithKeysWheelAndBox() {
        auto frame = OpenFrame({"small.ppm"});
        QVERIFY(frame);
        CMyView* view = frame->ActiveView();
        view->SetZoom(1);
        view->setFocus();
        QTest::keyClick(view, Qt::Key_PageUp, Qt::ControlModifier);
        QCOMPARE(view->Zoom(), 2.0);
        QTest::keyClick(view, Qt::Key_PageDown, Qt::ControlModifier);
        QTest::keyClick(view, Qt::Key_PageDown, Qt::ControlModifier);
        QCOMPARE(view->Zoom(), 0.75);
        QCOMPARE(frame->ZoomBox()->currentText(), QString("75 %"));

        // Rotation toward the user zooms in, one step per notch however it is split up.
        const QPointF centre(view->viewport()->rect().center());
        for (int i = 0; i < 8; ++i) {
            QWheelEvent wheel(centre, view->viewport()->mapToGlobal(centre), {}, {0, -15},
                              Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(view->viewport(), &wheel);
        }
        QCOMPARE(view->Zoom(), 1.0);

        frame->ZoomBox()->setCurrentText("300");
        emit frame->ZoomBox()->textActivated("300");
        QCOMPARE(view->Zoom(), 2.0);
        for (const char* text : {"nan", "0", "abc", "inf"}) {
            frame->ZoomBox()->setCurrentText(text);
            emit frame->ZoomBox()->textActivated(text);
            QCOMPARE(view->Zoom(), 2.0);
            QCOMPARE(frame->ZoomBox()->currentText(), QString("200 %"));
        }
        // The action table follows the view: no zooming in past 3200 %.
        view->SetZoom(32);
        QVERIFY(!frame->Action(Command::ZoomIn)->isEnabled());
        QVERIFY(frame->Action(Command::ZoomOut)->isEnabled());
    }

    void cropWithCtrlRAndEnter() {
        auto frame = OpenFrame({"small.ppm"});
        QVERIFY(frame);
        CMyView* view = frame->ActiveView();
        view->SetZoom(2);
        view->setFocus();
        QTest::keyClick(view, Qt::Key_R, Qt::ControlModifier);
        QVERIFY(view->Cropping());
        QVERIFY(frame->Action(Command::Crop)->isChecked());
        QCOMPARE(frame->StatusMessage()->text(), QString("Press Enter to crop the image."));

        // Drag the bottom-right handle 20 image pixels up and left (40 screen pixels at 200 %).
        const double ratio = view->devicePixelRatioF();
        const ImageRect screen = CropOnScreen(
            view->CropRect(),
            ImageOrigin(ZoomedSize({64, 48}, 2),
                        {std::llround(view->viewport()->width() * ratio),
                         std::llround(view->viewport()->height() * ratio)},
                        {view->horizontalScrollBar()->value(), view->verticalScrollBar()->value()}),
            {64, 48}, 2);
        const QPoint handle(static_cast<int>((screen.right + 3) / ratio),
                            static_cast<int>((screen.bottom + 3) / ratio));
        QTest::mousePress(view->viewport(), Qt::LeftButton, {}, handle);
        QMouseEvent move(QEvent::MouseMove, QPointF(handle - QPoint(40, 40) / ratio),
                         view->viewport()->mapToGlobal(QPointF(handle - QPoint(40, 40) / ratio)),
                         Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(view->viewport(), &move);
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, handle - QPoint(40, 40) / ratio);
        QCOMPARE(view->CropRect(), (ImageRect{0, 0, 44, 28}));

        QTest::keyClick(view, Qt::Key_Return);
        QVERIFY(!view->Cropping());
        QCOMPARE(view->Document().Width(), 44u);
        QCOMPARE(view->Document().Height(), 28u);
        QVERIFY(view->Title().contains("*"));
    }

    void escapeStopsALongJob() {
        MessageCatcher messages;
        auto frame = OpenFrame({"large.qvt"});
        QVERIFY(frame);
        CMyDoc& document = frame->ActiveView()->Document();
        // The finer levels follow the first picture; the document is busy until they are read.
        QVERIFY(QTest::qWaitFor([&] { return !frame->App().IsBusy(document); }, kPatienceMs));
        QFile file(Path("large.qvt"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray original = file.readAll();
        file.close();

        // Saving over the file: while the job runs the document's commands wait; Esc stops it,
        // the file stays as it was and no temporary file is left.
        const QStringList files = QDir(dir_.path()).entryList(QDir::Hidden | QDir::Files);
        document.SetModified(true);
        frame->App().Save(document, SaveKind::Save);
        QVERIFY(frame->Progress()->isVisible());
        QVERIFY(!frame->Action(Command::Save)->isEnabled());
        QVERIFY(!frame->Action(Command::ZoomIn)->isEnabled());
        QTest::keyClick(frame->ActiveView(), Qt::Key_Escape);
        QVERIFY(QTest::qWaitFor([&] { return !messages.texts.isEmpty(); }, kPatienceMs));
        QVERIFY(messages.texts.last().startsWith("Saving was stopped."));
        QVERIFY(messages.texts.last().endsWith("large.qvt was left as it was."));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll() == original);
        QCOMPARE(QDir(dir_.path()).entryList(QDir::Hidden | QDir::Files), files);
        QVERIFY(frame->Action(Command::Save)->isEnabled());
        QVERIFY(!frame->Progress()->isVisible());

        // Opening: Esc stops reading at the level reached, which the new window shows.
        frame->App().OpenPaths({Path("large.qvt").toStdString()});
        QTest::keyClick(frame->ActiveView(), Qt::Key_Escape);
        QVERIFY(QTest::qWaitFor([&] { return !frame->App().Jobs().AnyBusy(); }, kPatienceMs));
        QCOMPARE(frame->Area()->subWindowList().size(), 2);
        const auto& opened = static_cast<const CQVTDoc&>(frame->ActiveView()->Document());
        QCOMPARE(opened.TargetLevel(), opened.ShownLevel());
    }

    void exitAsksAboutChangesAndClosesEverything() {
        MessageCatcher messages;
        auto frame = OpenFrame({"small.ppm", "large.ppm"});
        QVERIFY(frame);
        frame->ActiveView()->Document().SetModified(true);
        QVERIFY(frame->close());
        QCOMPARE(messages.texts, QStringList{"Save changes to large.ppm?"});
        QVERIFY(frame->App().Documents().empty());
        QVERIFY(
            QTest::qWaitFor([&] { return frame->Area()->subWindowList().isEmpty(); }, kPatienceMs));
    }

    void transparentImagesBlendOnceOverTheBackground() {
        auto frame = OpenFrame({"half.png"});
        QVERIFY(frame);
        CMyView* view = frame->ActiveView();
        view->SetZoom(1);
        const auto centre = [view] {
            const QImage shot = view->viewport()->grab().toImage();
            return shot.pixelColor(shot.width() / 2, shot.height() / 2);
        };
        // Red at half alpha over (128, 128, 255), however often it is painted.
        const QColor first = centre();
        QVERIFY(std::abs(first.red() - 192) <= 1 && std::abs(first.blue() - 128) <= 1);
        for (int i = 0; i < 3; ++i)
            view->viewport()->repaint();
        QCOMPARE(centre(), first);
        // The read-out under a still pointer follows the matte and the channel shown.
        QTest::mouseMove(view->viewport(), view->viewport()->rect().center());
        const QString overBackground = frame->StatusMessage()->text();
        QVERIFY(overBackground.startsWith("X: "));
        QVERIFY(frame->Action(Command::GrayMatte)->isEnabled());
        frame->Action(Command::GrayMatte)->trigger();
        QVERIFY(view->GrayMatte());
        QVERIFY(centre() != first);
        QVERIFY(frame->StatusMessage()->text() != overBackground);
        frame->Action(Command::Channel3)->trigger(); // red, the third of B, G, R, A
        QCOMPARE(frame->StatusMessage()->text().section("RGB", 1), QString(": (255, 255, 255)"));
    }

    void nearestStandInShowsTheSourcePixelsInEveryFormat() {
        // Pixels of distinct colours (and alphas) at odd sizes, sampled at a zoom that skips
        // and repeats columns: each sample is the premultiplied source pixel under it.
        QImage colours(7, 5, QImage::Format_ARGB32);
        for (int y = 0; y < colours.height(); ++y)
            for (int x = 0; x < colours.width(); ++x)
                colours.setPixel(x, y, qRgba(30 * x, 50 * y, 255 - 20 * x, 255 - 40 * y));
        const QRect area(3, 2, 11, 6);
        const Point origin{1, 1};
        const double zoom = 1.6;
        for (const QImage::Format format :
             {QImage::Format_BGR888, QImage::Format_RGB32, QImage::Format_ARGB32,
              QImage::Format_RGB888, QImage::Format_Grayscale8}) {
            const QImage source = colours.convertToFormat(format);
            const QImage sample = SampleNearest(source, area, origin, zoom);
            QCOMPARE(sample.size(), area.size());
            for (int y = 0; y < area.height(); ++y)
                for (int x = 0; x < area.width(); ++x) {
                    const int column =
                        std::clamp(static_cast<int>((area.left() + x - origin.x) / zoom), 0, 6);
                    const int row =
                        std::clamp(static_cast<int>((area.top() + y - origin.y) / zoom), 0, 4);
                    QCOMPARE(sample.pixel(x, y), qPremultiply(source.pixel(column, row)));
                }
        }
    }

    void onePixelPerDevicePixel() {
        auto frame = OpenFrame({"small.ppm"});
        QVERIFY(frame);
        CMyView* view = frame->ActiveView();
        view->SetZoom(1);
        const double ratio = view->devicePixelRatioF();
        qInfo("device pixel ratio %g", ratio);
        const QImage shot = view->viewport()->grab().toImage();
        QCOMPARE(shot.devicePixelRatio(), ratio);
        // The image is centred in device pixels; each device pixel shows one image pixel.
        const int left = (shot.width() - 64) / 2;
        const int top = (shot.height() - 48) / 2;
        for (const QPoint pixel : {QPoint(0, 0), QPoint(1, 0), QPoint(63, 47), QPoint(17, 30)}) {
            const QColor color = shot.pixelColor(left + pixel.x(), top + pixel.y());
            QCOMPARE(color.red(), pixel.x());
            QCOMPARE(color.green(), pixel.y());
        }
        const QColor outside = shot.pixelColor(left + 64, top);
        QCOMPARE(outside, QColor(0x80, 0x80, 0xFF));
    }

    void wideGamutImagesAreShownInTheScreensColours() {
        auto frame = OpenFrame({"wide.png"});
        QVERIFY(frame);
        CMyView* view = frame->ActiveView();
        CMyDoc& document = view->Document();
        const QByteArray stored(reinterpret_cast<const char*>(document.Image().display->TopRow()),
                                document.Image().display->Pitch() * 48);
        // Follows `view` as it moves to the newest window.
        const auto centre = [&view] {
            const QImage shot = view->viewport()->grab().toImage();
            const QColor color = shot.pixelColor(shot.width() / 2, shot.height() / 2);
            return std::array<int, 3>{color.red(), color.green(), color.blue()};
        };
        const auto near = [](std::array<int, 3> a, std::array<int, 3> b) {
            for (int c = 0; c < 3; ++c)
                if (std::abs(a[c] - b[c]) > 1) return false;
            return true;
        };
        QVERIFY(frame->ProfileIndicator()->isVisible());
        QCOMPARE(frame->ProfileIndicator()->text(), QString("Profile: Test Display P3"));
        QVERIFY(frame->Action(Command::ColorManagedDisplay)->isChecked());

        // On the offscreen platform the screen is sRGB: the stored red is shown as pure red, at
        // 100 % and in the reduced copy below it.
        view->SetZoom(1);
        QVERIFY(near(centre(), {255, 0, 0}));
        const auto converter = frame->Colors().ConverterFor(document);
        QVERIFY(converter);
        const QImage reduced = BuildReducedCopy(WrapDisplayImage(*document.Image().display), 0.5,
                                                nullptr, converter.get());
        const QColor reducedRed = reduced.pixelColor(16, 12);
        QVERIFY(near({reducedRed.red(), reducedRed.green(), reducedRed.blue()}, {255, 0, 0}));

        // Turned off (and remembered), the numbers are shown as they are stored.
        frame->Action(Command::ColorManagedDisplay)->trigger();
        QVERIFY(!frame->Colors().Managed());
        QVERIFY(!frame->Action(Command::ColorManagedDisplay)->isChecked());
        QCOMPARE(QSettings().value("View/ColourManagedDisplay").toBool(), false);
        QCOMPARE(frame->ProfileIndicator()->text(),
                 QString("Profile: Test Display P3 (not applied)"));
        QTRY_COMPARE_WITH_TIMEOUT(centre(), (std::array<int, 3>{234, 51, 35}), kPatienceMs);
        view->SetZoom(1);
        QCOMPARE(centre(), (std::array<int, 3>{234, 51, 35}));
        frame->Action(Command::ColorManagedDisplay)->trigger();

        // On a Display P3 screen the image needs no conversion, and an image without a profile,
        // taken as sRGB, shows its pure red as P3's duller red.
        QVERIFY(frame->Colors().SetScreenProfile(DisplayP3Profile()));
        QCOMPARE(centre(), (std::array<int, 3>{234, 51, 35}));
        const QByteArray after(reinterpret_cast<const char*>(document.Image().display->TopRow()),
                               document.Image().display->Pitch() * 48);
        QVERIFY(after == stored);
        frame->App().OpenPaths({Path("red.png").toStdString()});
        QTRY_VERIFY_WITH_TIMEOUT(frame->ActiveView()->Document().Title() == "red.png", kPatienceMs);
        view = frame->ActiveView();
        view->SetZoom(1);
        QVERIFY(near(centre(), {234, 51, 35}));
        QVERIFY(!frame->ProfileIndicator()->isVisible());
        // A screen profile that cannot be used leaves the screen taken as sRGB.
        QVERIFY(!frame->Colors().SetScreenProfile(std::vector<std::uint8_t>(200, 7)));
        QVERIFY(!frame->Colors().ScreenProfile());
        QCOMPARE(centre(), (std::array<int, 3>{255, 0, 0}));

        // L*a*b* with a profile is converted from its samples, not from the display image the
        // program's own formulas made.
        frame->App().OpenPaths({Path("lab.qvt").toStdString()});
        QTRY_VERIFY_WITH_TIMEOUT(frame->ActiveView()->Document().Title() == "lab.qvt", kPatienceMs);
        view = frame->ActiveView();
        view->SetZoom(1);
        QRgb expected = 0;
        ScreenTransform(*view->Document().ColorProfile(), SampleFormat::Lab8, *IccProfile::SRgb(),
                        RenderingIntent::Perceptual)
            .Convert(kLabSample, &expected, 1);
        QVERIFY(near(centre(), {qRed(expected), qGreen(expected), qBlue(expected)}));
        const std::uint8_t* formula = view->Document().Image().display->TopRow();
        QVERIFY(!near(centre(), {formula[2], formula[1], formula[0]}));
    }

    // Converted tiles kept between paints join without seams or offsets: at 100 % and 200 %,
    // before and after a scroll that brings new tiles into view, the picture is the one drawn
    // from the whole image converted at once.
    void convertedTilesJoinWithoutSeams() {
        RasterImage image = GradientImage(700, 600);
        const QImage source = WrapDisplayImage(*image.display);
        TransformCache transforms;
        const auto p3 = IccProfile::FromBytes(DisplayP3Profile());
        const ScreenConverter converter(
            transforms.Get(nullptr, SampleFormat::Bgr8, p3, RenderingIntent::Perceptual),
            transforms.Get(nullptr, SampleFormat::Bgra8, p3, RenderingIntent::Perceptual), nullptr);
        const QImage whole = converter.Convert(source, source.rect());
        const QRect area(0, 0, 500, 300);
        for (const double zoom : {1.0, 2.0})
            for (const Point origin : {Point{-37, -11}, Point{-300, -290}, Point{-41, -13}}) {
                QImage tiled(area.size(), QImage::Format_RGB32);
                QImage expected(area.size(), QImage::Format_RGB32);
                QPainter(&tiled).fillRect(area, Qt::black);
                QPainter(&expected).fillRect(area, Qt::black);
                {
                    QPainter painter(&tiled);
                    DrawImageArea(painter, source, {}, area, origin, zoom, &converter);
                }
                QPainter(&expected).drawImage(
                    QRect(static_cast<int>(origin.x), static_cast<int>(origin.y),
                          static_cast<int>(700 * zoom), static_cast<int>(600 * zoom)),
                    whole);
                QCOMPARE(tiled, expected);
            }
    }
};

QTEST_MAIN(TstPictor)
#include "tst_pictor.moc"
