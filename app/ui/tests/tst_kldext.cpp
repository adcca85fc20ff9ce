// The container overview's wiring under the offscreen platform: an image pasted from the
// clipboard and committed with Enter reads back from the container's tiles, Enter on a region
// drawn with the mouse writes nothing, and an image file dropped on the overview is written
// where it was dropped; the region view reads only the part in view, reduced by the zoom below
// 100 %, reads out the pixels of the whole image, shows transparency over the gray matte and
// colours in the screen's, and shows a new background colour at once.
#include "frame_fixture.h"
#include "kldext_image.h"
#include "kldext_overview.h"
#include "kldext_view.h"
#include "main_window.h"
#include "message_catcher.h"
#include "screen_colors.h"
#include "test_profiles.h"

#include "qt_raster_image.h"
#include "raster_image.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMdiArea>
#include <QMimeData>
#include <QPainter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

QImage Pattern(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixelColor(x, y, QColor(x * 5 % 256, y * 7 % 256, (x + y) % 256));
    return image;
}

// The container's pixels in the rectangle, as RGB.
QImage ReadBack(const std::string& path, const ExportRect& rect) {
    CKLDExtImage container;
    container.OpenFile(path);
    return QImageFromRaster(container.LoadRegion(rect, 1, nullptr, nullptr))
        .convertToFormat(QImage::Format_RGB888);
}

} // namespace

class TstKLDExt : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    MessageCatcher messages_;

    std::string MakeContainer(const QString& name, std::uint32_t width = 640,
                              std::uint32_t height = 480, int modeIndex = 7) {
        const std::string path = dir_.filePath(name).toStdString();
        KLDExtFields fields;
        fields.modeIndex = modeIndex;
        fields.width = width;
        fields.height = height;
        fields.previewWidth = width / 2;
        fields.previewHeight = height / 2;
        fields.tileWidth = fields.tileHeight = 128;
        CKLDExtImage container;
        container.CreateFile(path, HeaderFromFields(fields), width / 2, height / 2);
        return path;
    }

    // A container of `image`'s size and the mode at `modeIndex` holding it.
    std::string Filled(const QString& name, const QImage& image, int modeIndex = 7) {
        const std::string path =
            MakeContainer(name, static_cast<std::uint32_t>(image.width()),
                          static_cast<std::uint32_t>(image.height()), modeIndex);
        CKLDExtImage container;
        container.OpenFile(path);
        RasterImage raster = RasterImageFromQImage(image);
        ImagePixels pixels(raster);
        container.WritePixMap(*pixels, nullptr, nullptr);
        return path;
    }

    static std::unique_ptr<CMainFrame> Open(const std::string& path, bool overview = true) {
        auto frame = ShownFrame({900, 700});
        if (!frame) return nullptr;
        frame->App().Options().overview = overview;
        frame->App().OpenPaths({path});
        if (!QTest::qWaitFor([&] { return frame->Groups().Windows().size() == 1; }, kPatienceMs))
            return nullptr;
        return frame;
    }

private slots:
    // The windows remember their settings; keep them out of the user's own.
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void pastedImageIsWrittenOnEnterAndARubberBandNever() {
        const std::string path = MakeContainer("paste.kle");
        const QImage pattern = Pattern(40, 30);
        ExportRect band;
        {
            auto frame = Open(path);
            QVERIFY(frame);
            auto* overview = qobject_cast<CKLDExtOverview*>(frame->ActiveView());
            QVERIFY(overview);
            QGuiApplication::clipboard()->setImage(pattern);
            frame->UpdateActions();

            // A region drawn for copying: Enter leaves the container as it was.
            QWidget* viewport = overview->viewport();
            // From the middle of the picture, wherever the window's layout puts it.
            const QPoint start = viewport->rect().center();
            QTest::mousePress(viewport, Qt::LeftButton, {}, start);
            QTest::mouseMove(viewport, start + QPoint(100, 80));
            QTest::mouseRelease(viewport, Qt::LeftButton, {}, start + QPoint(100, 80));
            QVERIFY(overview->RegionState().shown && !overview->RegionState().fixedSize);
            QVERIFY(frame->Action(Command::Copy)->isEnabled());
            band = overview->Region();
            QTest::keyClick(overview, Qt::Key_Return);
            QVERIFY(Idle(*frame));
            QVERIFY(!frame->Action(Command::Paste)->isEnabled());
            QTest::keyClick(overview, Qt::Key_Escape);

            QVERIFY(frame->Action(Command::Paste)->isEnabled());
            frame->Action(Command::Paste)->trigger();
            QVERIFY(overview->RegionState().fixedSize);
            QTest::keyClick(overview, Qt::Key_Home);
            QTest::keyClick(overview, Qt::Key_Right, Qt::ShiftModifier);
            QCOMPARE(overview->Region(), (ExportRect{100, 0, 40, 30}));
            QTest::keyClick(overview, Qt::Key_Return);
            QVERIFY(!overview->RegionState().shown);
            QVERIFY(Idle(*frame));
        }
        QCOMPARE(ReadBack(path, {100, 0, 40, 30}), pattern);
        // Nothing else was written: the rubber band's place reads as the background.
        QVERIFY(band.top >= 30 && band.width > 1 && band.height > 1);
        QCOMPARE(ReadBack(path, band).pixelColor(band.width / 2, band.height / 2),
                 QColor(Qt::white));
        QVERIFY(messages_.texts.isEmpty());
    }

    void droppedImageFileIsWrittenWhereItFalls() {
        const std::string path = MakeContainer("drop.kle");
        const QImage pattern = Pattern(24, 16);
        QVERIFY(pattern.save(dir_.filePath("drop.png")));
        ExportRect at;
        {
            auto frame = Open(path);
            QVERIFY(frame);
            auto* overview = qobject_cast<CKLDExtOverview*>(frame->ActiveView());
            QVERIFY(overview);
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(dir_.filePath("drop.png"))});
            const QPoint point = overview->viewport()->rect().center();
            QDragEnterEvent enter(point, Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(overview->viewport(), &enter);
            QVERIFY(enter.isAccepted());
            QVERIFY(overview->RegionState().fixedSize);
            QDropEvent drop(point, Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(overview->viewport(), &drop);
            QVERIFY(drop.isAccepted());
            QVERIFY(Idle(*frame));
            at = overview->Region();
        }
        QVERIFY(at.left > 0 && at.top > 0);
        QCOMPARE(ReadBack(path, at), pattern);
    }

    void regionViewReadsWhatItShows() {
        const QImage pattern = Pattern(2000, 1500);
        auto frame = Open(Filled("view.kle", pattern), false);
        QVERIFY(frame);
        auto* view = qobject_cast<CKLDExtView*>(frame->ActiveView());
        QVERIFY(view);
        auto& document = static_cast<CKLDExtDoc&>(view->Document());
        QVERIFY(QTest::qWaitFor(
            [&] { return !frame->App().Jobs().AnyBusy() && document.Loaded().left == 500; },
            kPatienceMs));
        const QSize client = view->viewport()->size();
        // From a quarter of the image, as much as the client shows, at full size.
        QCOMPARE(document.Loaded().top, 375);
        QCOMPARE(document.Loaded().width, client.width());
        QCOMPARE(document.Image().Width(), static_cast<std::uint32_t>(client.width()));
        QTest::mouseMove(view->viewport(), QPoint(10, 20));
        const QColor expected = pattern.pixelColor(510, 395);
        QCOMPARE(frame->StatusMessage()->text(), QString("X: 510, Y: 395, RGB: (%1, %2, %3)")
                                                     .arg(expected.red())
                                                     .arg(expected.green())
                                                     .arg(expected.blue()));
        // At 25 % the whole image is in view, read at a quarter of its size.
        view->SetZoom(0.25);
        QVERIFY(QTest::qWaitFor(
            [&] { return !frame->App().Jobs().AnyBusy() && document.LoadedScale() == 0.25; },
            kPatienceMs));
        QCOMPARE(document.Loaded(), (ExportRect{0, 0, 2000, 1500}));
        QCOMPARE(document.Image().Width(), 500u);
    }

    void regionViewDrawsLikeTheImageView() {
        // Transparent above, opaque red below.
        QImage image(800, 600, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter(&image).fillRect(0, 300, 800, 300, Qt::red);
        auto frame = Open(Filled("argb.kle", image, 9), false);
        QVERIFY(frame);
        CMyView* view = frame->ActiveView();
        QVERIFY(Idle(*frame));
        const auto count = [view](const QColor& color) {
            const QImage shown = view->viewport()->grab().toImage();
            int n = 0;
            for (int y = 0; y < shown.height(); ++y)
                for (int x = 0; x < shown.width(); ++x)
                    n += shown.pixelColor(x, y) == color;
            return n;
        };
        const QColor gray(200, 200, 200);
        QCOMPARE(count(gray), 0);
        view->SetGrayMatte(true);
        QVERIFY(count(gray) > 1000 && count(Qt::white) > 1000);
        QVERIFY(count(Qt::red) > 1000);
        // A container carries no profile: its pixels are sRGB, whose red is duller in P3.
        QVERIFY(frame->Colors().SetScreenProfile(DisplayP3Profile()));
        QTRY_VERIFY_WITH_TIMEOUT(count(Qt::red) == 0 && count(QColor(234, 51, 35)) > 1000,
                                 kPatienceMs);
    }

    void regionViewShowsANewBackground() {
        auto frame = Open(MakeContainer("empty.kle"), false);
        QVERIFY(frame);
        CMyView* view = frame->ActiveView();
        QVERIFY(Idle(*frame));
        const auto centre = [view] {
            const QImage shot = view->viewport()->grab().toImage();
            return shot.pixelColor(shot.width() / 2, shot.height() / 2);
        };
        QCOMPARE(centre(), QColor(Qt::white));
        static_cast<CKLDExtDoc&>(view->Document()).ChangeBackground({0, 0, 0});
        QTRY_COMPARE_WITH_TIMEOUT(centre(), QColor(Qt::black), kPatienceMs);
        // Read again, the region leaves the new colour waiting to be saved.
        QVERIFY(view->Document().Modified());
    }
};

QTEST_MAIN(TstKLDExt)
#include "tst_kldext.moc"
