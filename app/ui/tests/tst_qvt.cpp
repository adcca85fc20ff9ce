// QVT documents and the file dialogs under the offscreen platform: the coarsest level is painted
// before the finer ones are read, files opened together all reach full size, the level
// commands answer their keys and the view keeps the image fitted, the open dialog shows a
// preview and the options that apply to the file under its cursor, and the save dialog's
// options follow the file type.
#include "file_open_dialog.h"
#include "file_save_dialog.h"
#include "frame_fixture.h"
#include "main_window.h"
#include "qvt_document.h"
#include "qvt_view.h"

#include "qt_image_file.h"
#include "qvt_file.h"
#include "test_files.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Records the level a QVT view shows each time it paints.
class PaintLog : public QObject {
public:
    PaintLog() { qApp->installEventFilter(this); }
    ~PaintLog() override { qApp->removeEventFilter(this); }
    QList<int> levels;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            if (auto* view = qobject_cast<CQVTView*>(watched->parent());
                view && watched == view->viewport())
                levels << static_cast<const CQVTDoc&>(view->Document()).ShownLevel();
        return false;
    }
};

const std::vector<FileFilter> kSaveTypes = {
    {"PNG (*.png)", {"*.png"}}, {"QVT (*.QVT)", {"*.QVT"}}, {"PPM (*.PPM)", {"*.PPM"}}};

} // namespace

class TstQvt : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::string Path(const char* name) const { return dir_.filePath(name).toStdString(); }

    static const CQVTDoc& ActiveDocument(CMainFrame& frame) {
        return static_cast<const CQVTDoc&>(frame.ActiveView()->Document());
    }

private slots:
    void initTestCase() {
        // The recent files and the look go to a test folder, not the user's settings.
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(dir_.isValid());
        RasterImage image = GradientImage(1500, 1000); // five levels
        WriteQVTFile(image, Path("a.qvt"));
        WriteQVTFile(image, Path("b.QVT"));
        RasterImage small = GradientImage(64, 48);
        WriteQtImageFile(small, Path("c.bmp"));
    }

    void theCoarsestLevelIsPaintedBeforeTheFinerOnesAreRead() {
        auto frame = ShownFrame();
        QVERIFY(frame);
        PaintLog log;
        frame->App().OpenPaths({Path("a.qvt")});
        QVERIFY(Idle(*frame));
        QVERIFY(!log.levels.isEmpty());
        QCOMPARE(log.levels.front(), 4);
        QCOMPARE(log.levels.back(), 0);
        QCOMPARE(ActiveDocument(*frame).ShownLevel(), 0);
        QVERIFY(!frame->Action(Command::NextLevel)->isEnabled());
        QVERIFY(frame->Action(Command::Level0)->isChecked());
    }

    void filesOpenedTogetherAllReachFullSize() {
        auto frame = ShownFrame();
        QVERIFY(frame);
        frame->App().OpenPaths({Path("a.qvt"), Path("b.QVT")});
        QVERIFY(QTest::qWaitFor([&] { return frame->Area()->subWindowList().size() == 2; },
                                kPatienceMs));
        QVERIFY(Idle(*frame));
        for (const auto& document : frame->App().Documents())
            QCOMPARE(static_cast<const CQVTDoc&>(*document).ShownLevel(), 0);
    }

    void levelCommandsFromTheKeyboard() {
        auto frame = ShownFrame();
        QVERIFY(frame);
        frame->App().Options().thumbnail = true;
        frame->App().Options().progressive = false;
        frame->App().OpenPaths({Path("a.qvt")});
        QVERIFY(QTest::qWaitFor([&] { return frame->ActiveView() != nullptr; }, kPatienceMs));
        CMyView* view = frame->ActiveView();
        QVERIFY(QTest::qWaitFor([&] { return view->Title().contains("@ Level 4"); }, kPatienceMs));
        // The thumbnail (94 x 63) fills the window instead of showing as a speck.
        const double thumbnailZoom = view->Zoom();
        QVERIFY(thumbnailZoom >= 4);
        QVERIFY(frame->Action(Command::Level3)->isEnabled());
        QVERIFY(!frame->Action(Command::Level4)->isEnabled());

        view->setFocus();
        QTest::keyClick(view, Qt::Key_L, Qt::ControlModifier);
        QVERIFY(Idle(*frame));
        QCOMPARE(ActiveDocument(*frame).ShownLevel(), 3);
        QVERIFY(view->Title().contains("@ Level 3"));
        QCOMPARE(view->Zoom(), thumbnailZoom / 2);

        QTest::keyClick(view, Qt::Key_0, Qt::AltModifier);
        QVERIFY(Idle(*frame));
        QCOMPARE(ActiveDocument(*frame).ShownLevel(), 0);
        QVERIFY(!view->Title().contains("Level"));
        const QSize client = view->viewport()->size() * view->devicePixelRatioF();
        QCOMPARE(view->Zoom(), *FitZoom({1500, 1000}, {client.width(), client.height()}));
        QVERIFY(!frame->Action(Command::NextLevel)->isEnabled());
        QVERIFY(frame->Action(Command::Crop)->isEnabled());
    }

    void theOpenDialogShowsThePreviewAndTheOptionsThatApply() {
        CFileOpenDlg dialog(nullptr, {{"All", {"*"}}}, OpenOptions{});
        dialog.setDirectory(dir_.path());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(!dialog.Overview()->isEnabled());

        QSignalSpy shown(&dialog, &CFileOpenDlg::previewShown);
        emit dialog.currentChanged(QString::fromStdString(Path("b.QVT")));
        QVERIFY(shown.wait());
        QVERIFY(!dialog.Preview()->pixmap().isNull());
        QCOMPARE(dialog.Level()->maximum(), 4);
        QVERIFY(dialog.Progressive()->isEnabled());
        QVERIFY(!dialog.RegionEdit(0)->isEnabled()); // stored without regions

        dialog.Thumbnail()->click();
        QVERIFY(!dialog.Progressive()->isChecked() && !dialog.Level()->isEnabled());
        QVERIFY(dialog.Options().thumbnail);

        emit dialog.currentChanged(QString::fromStdString(Path("c.bmp")));
        QVERIFY(dialog.Preview()->pixmap().isNull());
        for (QWidget* control : std::initializer_list<QWidget*>{
                 dialog.Progressive(), dialog.Thumbnail(), dialog.Overview(), dialog.Level(),
                 dialog.Region(), dialog.RegionEdit(3)})
            QVERIFY(!control->isEnabled());

        emit dialog.currentChanged(QString());
        dialog.RegionEdit(2)->setValue(100);
        QCOMPARE(dialog.Options().regionRight, 100u);

        // A name typed into the dialog selects the file without making it current.
        auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
        QVERIFY(name);
        QTest::keyClicks(name, QString::fromStdString(Path("b.QVT")));
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.Preview()->pixmap().isNull(), kPatienceMs);
        QVERIFY(dialog.Thumbnail()->isEnabled());
    }

    void theSaveDialogsOptionsFollowTheFileType() {
        SaveOptions options;
        options.checkBox = false;
        options.levels = 6;
        CFileSaveDlg dialog(nullptr, "Save As", QString::fromStdString(Path("x")), kSaveTypes, 1,
                            options);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.CheckBox()->text(), QString("Compute Levels"));
        QVERIFY(dialog.Levels()->isEnabled());
        QCOMPARE(dialog.Levels()->value(), 6);
        dialog.Quality()->setValue(7);
        dialog.RegionSupport()->click();
        dialog.CheckBox()->click(); // the codec chooses the count
        QVERIFY(!dialog.Levels()->isEnabled());
        QCOMPARE(dialog.Options().quality, 7);
        QVERIFY(dialog.Options().regionSupport);
        QVERIFY(dialog.Options().checkBox);

        dialog.selectNameFilter("PPM (*.PPM)");
        emit dialog.filterSelected("PPM (*.PPM)");
        QCOMPARE(dialog.CheckBox()->text(), QString("Binary"));
        QVERIFY(dialog.CheckBox()->isEnabled() && !dialog.Quality()->isEnabled());
        dialog.selectFile(QString::fromStdString(Path("x")));
        QCOMPARE(dialog.ChosenPath(), QString::fromStdString(Path("x.PPM")));
    }
};

QTEST_MAIN(TstQvt)
#include "tst_qvt.moc"
