// The Image menu's wiring under the offscreen platform: a copy in one document imports into a
// new one, the clipboard carries every mode both ways and takes images from other programs (and
// refuses hostile blocks), two views compare by PSNR, files and image data dropped on the window
// open, the colour-table window follows its document, and the Change Size dialog's fields follow
// each other.
#include "change_size_dialog.h"
#include "clipboard_image.h"
#include "color_table_window.h"
#include "frame_fixture.h"
#include "image_menu.h"
#include "image_mime_data.h"
#include "image_view.h"
#include "main_window.h"
#include "message_catcher.h"

#include "anymap_file.h"
#include "pixmap_block.h"
#include "pixmap_factory.h"
#include "qt_image_file.h"
#include "qt_raster_image.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <random>

namespace {

std::unique_ptr<CPixMap> RandomMap(std::uint32_t mode, std::uint32_t width, std::uint32_t height) {
    auto map = CreatePixMap({0, 0, width, height}, mode);
    std::mt19937 random(mode);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::int32_t i = 0; i < map->Stride(); ++i)
            map->Row(y)[i] = static_cast<std::uint8_t>(random());
    if (mode == ModeGray32)
        for (std::uint32_t y = 0; y < height; ++y)
            for (std::int32_t i = 3; i < map->Stride(); i += 4)
                map->Row(y)[i] &= 0x3F;
    if (std::uint8_t* table = map->AllocColorTable())
        for (int i = 0; i < 1024; ++i)
            table[i] = static_cast<std::uint8_t>(random());
    return map;
}

// Same mode, pixels and colours (a table's reserved bytes aside).
bool SameImage(RasterImage& a, RasterImage& b) {
    const ImagePixels x(a), y(b);
    if (x->GetMode() != y->GetMode() || !x->EqualRect(x->Rect(), *y, y->Rect()) ||
        x->Width() != y->Width() || x->Height() != y->Height())
        return false;
    for (int i = 0; x->GetColorTable() && i < 1024; ++i)
        if (i % 4 != 3 && x->GetColorTable()[i] != y->GetColorTable()[i]) return false;
    return true;
}

} // namespace

class TstImageMenu : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString Path(const QString& name) const { return dir_.filePath(name); }

    std::unique_ptr<CMainFrame> OpenFrame(const QStringList& names) {
        return FrameWithFiles(dir_.path(), names);
    }
    static bool Run(CMainFrame& frame, Command command) {
        QAction* action = frame.Action(command);
        if (!action->isEnabled()) return false;
        action->trigger();
        return Idle(frame);
    }
    static RasterImage Imported(const QMimeData* data, DocumentKind kind) {
        const auto offered = ReadOfferedImage(data);
        if (!offered || offered->kind != kind) return {};
        JobContext context(nullptr, 1);
        return offered->make(context);
    }

private slots:
    void initTestCase() {
        // The recent files and the look go to a test folder, not the user's settings.
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(dir_.isValid());
        RasterImage small = MakeRasterImage(RandomMap(ModeRGB, 64, 48), 0);
        WriteAnymapFile(small, Path("small.ppm").toStdString(), true);
        small.display->TopRow()[0] ^= 0x10;
        WriteAnymapFile(small, Path("other.ppm").toStdString(), true);
        RasterImage indexed = MakeRasterImage(RandomMap(ModeIndexed, 40, 30), 0);
        WriteQtImageFile(indexed, Path("indexed.png").toStdString());
        RasterImage argb = MakeRasterImage(RandomMap(ModeARGB, 16, 16), 0);
        WriteQtImageFile(argb, Path("argb.png").toStdString());
    }

    void copyInOneDocumentAndImportIntoANewOne() {
        QGuiApplication::clipboard()->clear();
        auto frame = OpenFrame({"small.ppm"});
        QVERIFY(frame);
        QVERIFY(!frame->Action(Command::Import)->isEnabled());
        QVERIFY(Run(*frame, Command::ModeCMYK32));
        CMyDoc& source = frame->ActiveView()->Document();
        QCOMPARE(source.Mode(), std::uint32_t{ModeCMYK});
        QVERIFY(Run(*frame, Command::Copy));
        const QMimeData* offered = QGuiApplication::clipboard()->mimeData();
        QVERIFY(offered->hasFormat(kPixMapMimeType));
        QVERIFY(offered->hasImage()); // any program can paste it
        QVERIFY(frame->Action(Command::Import)->isEnabled());

        QVERIFY(Run(*frame, Command::Import));
        QVERIFY(QTest::qWaitFor([&] { return frame->Area()->subWindowList().size() == 2; },
                                kPatienceMs));
        CMyDoc& imported = frame->ActiveView()->Document();
        QCOMPARE(imported.Kind(), DocumentKind::QVT);
        QVERIFY(SameImage(source.Image(), imported.Image()));
        QVERIFY(frame->ActiveView()->Title().startsWith("Untitled* @ "));
        QGuiApplication::clipboard()->clear();
        QVERIFY(QTest::qWaitFor([&] { return !frame->Action(Command::Import)->isEnabled(); },
                                kPatienceMs));
    }

    void clipboardCarriesEveryModeBothWays() {
        QClipboard* clipboard = QGuiApplication::clipboard();
        for (const std::uint32_t mode :
             {ModeBitmap, ModeGray, ModeIndexed, ModeRGB, ModeCMYK, ModeLab, ModeGray16, ModeRGB48,
              ModeLab48, ModeCMYK64, ModeARGB, ModeGray32, ModeRGB12, ModeRGB16}) {
            auto image = std::make_shared<RasterImage>(
                MakeRasterImage(RandomMap(mode, 21, 13), FullRangeMaximum(mode)));
            clipboard->setMimeData(new ImageMimeData(image));
            QVERIFY(clipboard->mimeData()->hasImage());
            RasterImage pasted =
                Imported(clipboard->mimeData(),
                         IsDisplayHeldMode(mode) ? DocumentKind::Bitmap : DocumentKind::QVT);
            QVERIFY2(pasted.display && SameImage(*image, pasted), ImageModeName(mode));
        }
        // Another program's image comes as standard image data only.
        QImage photo(30, 20, QImage::Format_ARGB32);
        photo.fill(QColor(10, 200, 30));
        auto* other = new QMimeData;
        other->setImageData(photo);
        clipboard->setMimeData(other);
        RasterImage pasted = Imported(clipboard->mimeData(), DocumentKind::Bitmap);
        QCOMPARE(pasted.Mode(), ModeRGB); // opaque: the alpha goes
        QCOMPARE(QImageFromRaster(std::move(pasted)).pixelColor(29, 19), QColor(10, 200, 30));
    }

    void hostileBlocksAreRefused() {
        MessageCatcher messages;
        auto frame = OpenFrame({});
        QVERIFY(frame);
        // A 2 × 2 rectangle with a megabyte of payload reads its 2 × 2 rows and nothing more.
        std::vector<std::uint8_t> block = WritePixMapBlock(*RandomMap(ModeCMYK, 2, 2));
        block.resize(block.size() + (1 << 20), 0xEE);
        auto* data = new QMimeData;
        data->setData(kPixMapMimeType, QByteArray(reinterpret_cast<const char*>(block.data()),
                                                  static_cast<qsizetype>(block.size())));
        QGuiApplication::clipboard()->setMimeData(data);
        QVERIFY(Run(*frame, Command::Import));
        QVERIFY(QTest::qWaitFor([&] { return frame->Area()->subWindowList().size() == 1; },
                                kPatienceMs));
        QCOMPARE(frame->ActiveView()->Document().Width(), 2u);
        // A rectangle its bytes cannot fill is refused before anything of its size is made.
        block[13 + 11] = block[13 + 15] = 0x7F;
        data = new QMimeData;
        data->setData(kPixMapMimeType, QByteArray(reinterpret_cast<const char*>(block.data()),
                                                  static_cast<qsizetype>(block.size())));
        QGuiApplication::clipboard()->setMimeData(data);
        QVERIFY(Run(*frame, Command::Import));
        QVERIFY(QTest::qWaitFor([&] { return !messages.texts.isEmpty(); }, kPatienceMs));
        QCOMPARE(messages.texts.first(), QString(kDamagedImageData));
        QCOMPARE(frame->Area()->subWindowList().size(), 1);
    }

    void psnrBetweenTwoViews() {
        MessageCatcher messages;
        auto frame = OpenFrame({"small.ppm", "other.ppm"});
        QVERIFY(frame);
        const auto windows = frame->Area()->subWindowList();
        frame->Area()->setActiveSubWindow(windows[0]);
        QVERIFY(Run(*frame, Command::ComputePSNR));
        QVERIFY(!frame->Action(Command::ComputePSNR)->isEnabled());
        frame->Area()->setActiveSubWindow(windows[0]); // the same view again: still armed
        QVERIFY(!frame->Action(Command::ComputePSNR)->isEnabled());
        frame->Area()->setActiveSubWindow(windows[1]);
        QVERIFY(QTest::qWaitFor([&] { return !messages.texts.isEmpty(); }, kPatienceMs));
        QVERIFY(messages.texts.first().startsWith("The PSNR is "));
        QVERIFY(messages.texts.first().contains("\n[B: "));
        QVERIFY(frame->Action(Command::ComputePSNR)->isEnabled());

        // Closing the first image disarms the comparison.
        QVERIFY(Run(*frame, Command::ComputePSNR));
        windows[1]->close();
        QVERIFY(QTest::qWaitFor([&] { return frame->Area()->subWindowList().size() == 1; },
                                kPatienceMs));
        QVERIFY(frame->Action(Command::ComputePSNR)->isEnabled());
        QCOMPARE(messages.texts.size(), 1);
    }

    void dropsOfFilesAndImageData() {
        auto frame = OpenFrame({});
        QVERIFY(frame);
        const auto drop = [&frame](QMimeData* data) {
            const QPoint centre = frame->rect().center();
            QDragEnterEvent enter(centre, Qt::CopyAction, data, Qt::LeftButton, {});
            QApplication::sendEvent(frame.get(), &enter);
            if (!enter.isAccepted()) return false;
            QDropEvent dropped(centre, Qt::CopyAction, data, Qt::LeftButton, {});
            QApplication::sendEvent(frame.get(), &dropped);
            return dropped.isAccepted();
        };
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(Path("argb.png"))});
        QVERIFY(drop(&files));
        QVERIFY(QTest::qWaitFor([&] { return frame->Area()->subWindowList().size() == 1; },
                                kPatienceMs));
        QVERIFY(frame->ActiveView()->Title().startsWith("argb.png @ "));
        QMimeData image;
        image.setImageData(QImage(8, 8, QImage::Format_RGB32));
        QVERIFY(drop(&image));
        QVERIFY(QTest::qWaitFor([&] { return frame->Area()->subWindowList().size() == 2; },
                                kPatienceMs));
        QMimeData text;
        text.setText("not an image");
        QVERIFY(!drop(&text));
    }

    void colorTableAndTransparencyFollowTheDocument() {
        auto frame = OpenFrame({"indexed.png"});
        QVERIFY(frame);
        CMyDoc& document = frame->ActiveView()->Document();
        QCOMPARE(document.Mode(), std::uint32_t{ModeIndexed});
        QVERIFY(Run(*frame, Command::ColorTable));
        ColorTableWindow* window = frame->Images().ColorTableOf(document);
        QVERIFY(window && window->isVisible());
        QVERIFY(frame->Action(Command::ColorTable)->isChecked());
        const std::uint8_t* entry = document.Image().display->ColorTable() + 4 * 17;
        const CellRect cell = ColorCellRect(17, window->Grid());
        QCOMPARE(window->TooltipAt({cell.left + 1, cell.top + 1}),
                 QString::fromStdString(ColorCellTooltip(entry[2], entry[1], entry[0])));
        window->resize(5, window->height());
        QCOMPARE(window->Grid().columns, 1);
        QCOMPARE(window->height(), 256 * kColorCellPitch);

        QVERIFY(Run(*frame, Command::ModeRGB24));
        QVERIFY(!window->isVisible());
        QVERIFY(!frame->Action(Command::ColorTable)->isEnabled());
        QVERIFY(Run(*frame, Command::ModeARGB32));
        QTest::keyClick(frame->ActiveView(), Qt::Key_Up, Qt::AltModifier);
        QVERIFY(Idle(*frame));
        QCOMPARE(document.Image().display->TopRow()[3], 255 - 16);
    }

    void changeSizeFieldsFollowEachOther() {
        ChangeSizeDialog dialog(640, 480, ModeRGB);
        QPushButton* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        // What the user types, as one edit.
        const auto type = [](QLineEdit* edit, const QString& text) {
            edit->setText(text);
            emit edit->textEdited(text);
        };
        type(dialog.WidthPercentEdit(), "33.3");
        QCOMPARE(dialog.WidthEdit()->text(), QString("213"));
        QCOMPARE(dialog.HeightEdit()->text(), QString("160"));
        QCOMPARE(dialog.HeightPercentEdit()->text(), QString("33.3"));
        type(dialog.WidthPercentEdit(), "0");
        QCOMPARE(dialog.WidthEdit()->text(), QString("1"));
        QCOMPARE(dialog.HeightEdit()->text(), QString("1"));
        type(dialog.WidthEdit(), "100");
        QCOMPARE(dialog.HeightEdit()->text(), QString("75"));
        QVERIFY(ok->isEnabled());
        type(dialog.WidthEdit(), "99999999999");
        QVERIFY(!ok->isEnabled());
        QCOMPARE(dialog.HeightEdit()->text(), QString("75"));
        dialog.AllowDifferentAspect()->setChecked(true);
        type(dialog.WidthEdit(), "320");
        QCOMPARE(dialog.HeightEdit()->text(), QString("75"));
        QVERIFY(ok->isEnabled());

        // Through the command: OK resizes the document.
        auto frame = OpenFrame({"small.ppm"});
        QVERIFY(frame);
        QTimer::singleShot(0, [] {
            auto* shown = qobject_cast<ChangeSizeDialog*>(QApplication::activeModalWidget());
            if (!shown) return;
            shown->WidthEdit()->selectAll();
            QTest::keyClicks(shown->WidthEdit(), "32");
            shown->accept();
        });
        QVERIFY(Run(*frame, Command::ChangeSize));
        QCOMPARE(frame->ActiveView()->Document().Width(), 32u);
        QCOMPARE(frame->ActiveView()->Document().Height(), 24u);
    }
};

QTEST_MAIN(TstImageMenu)
#include "tst_image_menu.moc"
