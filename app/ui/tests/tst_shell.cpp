// The shell's wiring under the offscreen platform: several files dropped at once open (links and
// folders are skipped with a word why), documents move into a new tab group and back, the
// groups show windows of their own and tabs again, the properties pane follows the active document,
// its typed crop borders move the tracker and its rows can be listed by name, the chosen look is
// remembered (an unknown stored one gives the desktop's), opened files become recent ones, the
// Windows dialog activates, saves and closes windows, toolbar buttons hidden by the user stay
// hidden, the About box lines up its versions, and a printed page holds the whole image.
#include "about_dialog.h"
#include "about_text.h"
#include "application_looks.h"
#include "frame_fixture.h"
#include "image_mime_data.h"
#include "image_printing.h"
#include "image_view.h"
#include "main_window.h"
#include "message_catcher.h"
#include "properties_window.h"
#include "recent_files_menu.h"
#include "tab_groups.h"
#include "toolbar_customize.h"
#include "windows_dialog.h"

#include "anymap_file.h"
#include "qvt_file.h"
#include "test_files.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMimeData>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QUrl>

#include <algorithm>
#include <functional>

class TstShell : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString Path(const QString& name) const { return dir_.filePath(name); }

    static bool WaitForWindows(CMainFrame& frame, qsizetype count) {
        return QTest::qWaitFor([&] { return frame.Groups().Windows().size() == count; },
                               kPatienceMs);
    }
    static QTreeWidgetItem* Row(CMainFrame& frame, const QString& group, const QString& name) {
        QTreeWidget* tree = frame.Properties()->Tree();
        for (QTreeWidgetItem* item : tree->findItems(name, Qt::MatchExactly | Qt::MatchRecursive))
            for (QTreeWidgetItem* up = item->parent(); up; up = up->parent())
                if (!up->parent() && up->text(0) == group) return item;
        return nullptr;
    }
    static QPushButton* Button(QWidget& dialog, const QString& text) {
        for (QPushButton* button : dialog.findChildren<QPushButton*>())
            if (button->text() == text) return button;
        return nullptr;
    }
    // Runs `check` on the modal dialog of type T the command opens, then closes it.
    template <typename T>
    static bool CheckModal(QAction* command, const std::function<void(T&)>& check) {
        bool seen = false;
        QObject scope; // no check runs once this call has returned
        QTimer::singleShot(0, &scope, [&] {
            if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
                seen = true;
                check(*dialog);
                dialog->reject();
            }
        });
        command->trigger();
        return seen;
    }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QSettings().clear();
        QVERIFY(dir_.isValid());
        RasterImage image = GradientImage(120, 80);
        for (const char* name : {"a.ppm", "b.ppm", "c.ppm"})
            WriteAnymapFile(image, Path(name).toStdString(), true);
        WriteQVTFile(image, Path("d.qvt").toStdString());
        QDir(dir_.path()).mkdir("folder");
    }

    void dropThreeFilesSkippingLinksAndFolders() {
        auto frame = ShownFrame({900, 600});
        QVERIFY(frame);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(Path("a.ppm")), QUrl("http://example.org/x.png"),
                      QUrl::fromLocalFile(Path("b.ppm")), QUrl::fromLocalFile(Path("folder")),
                      QUrl::fromLocalFile(Path("c.ppm"))});
        const QPoint centre = frame->rect().center();
        QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(frame.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(frame.get(), &drop);
        QVERIFY(WaitForWindows(*frame, 3));
        QVERIFY(frame->statusBar()->currentMessage().contains("2 dropped item(s) skipped"));
        // The files opened are the recent ones, most recent first, and are kept.
        const auto& recent = frame->Recent().Files().Entries();
        QCOMPARE(recent.size(), 3u);
        QCOMPARE(QString::fromStdString(recent.front()),
                 QFileInfo(Path("c.ppm")).canonicalFilePath());
        QVERIFY(frame->Recent().Entry(0)->isVisible());
        QVERIFY(!frame->Recent().Entry(3)->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(QSettings().beginReadArray("recentFileList"), 3, kPatienceMs);

        // A recent file that no longer opens leaves the list once chosen.
        QVERIFY(QFile::remove(Path("c.ppm")));
        MessageCatcher catcher;
        frame->Recent().Entry(0)->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(catcher.texts.size(), 1, kPatienceMs);
        QCOMPARE(frame->Recent().Files().Entries().size(), 2u);
    }

    void undecodableImageDataIsReported() {
        // What Qt hands over for image data beyond its allocation limit: a null image.
        auto frame = ShownFrame({900, 600});
        QVERIFY(frame);
        QMimeData data;
        data.setImageData(QImage());
        auto offered = ReadStandardImage(&data);
        QVERIFY(offered);
        MessageCatcher catcher;
        frame->App().OpenUntitled(offered->kind, std::move(offered->make));
        QTRY_COMPARE_WITH_TIMEOUT(catcher.texts, QStringList{"Image creation failed."},
                                  kPatienceMs);
        QVERIFY(frame->Groups().Windows().isEmpty());
    }

    void moveToANewVerticalGroupAndBack() {
        auto frame = ShownFrame({900, 600});
        QVERIFY(frame);
        frame->App().OpenPaths({Path("a.ppm").toStdString(), Path("b.ppm").toStdString()});
        QVERIFY(WaitForWindows(*frame, 2));
        TabGroups& groups = frame->Groups();
        QVERIFY(!frame->Action(Command::MoveToNextTabGroup)->isEnabled());
        CMyView* moved = frame->ActiveView();
        frame->Action(Command::NewVerticalTabGroup)->trigger();
        QCOMPARE(groups.GroupCount(), 2);
        QCOMPARE(groups.orientation(), Qt::Horizontal); // side by side
        QCOMPARE(groups.Group(1)->subWindowList().size(), 1);
        QCOMPARE(frame->ActiveView(), moved);
        // One window per group: no further split, but a way back.
        QVERIFY(!frame->Action(Command::NewHorizontalTabGroup)->isEnabled());
        QVERIFY(frame->Action(Command::MoveToPreviousTabGroup)->isEnabled());

        WindowsDialog dialog(groups, [](QMdiSubWindow*) {});
        QCOMPARE(dialog.List()->count(), 2);

        // A click into the other group's window makes it the active one.
        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame.get()));
        groups.Group(0)->subWindowList().front()->widget()->setFocus();
        QTRY_VERIFY_WITH_TIMEOUT(frame->ActiveView() != moved, kPatienceMs);
        groups.Group(1)->subWindowList().front()->widget()->setFocus();
        QTRY_COMPARE_WITH_TIMEOUT(frame->ActiveView(), moved, kPatienceMs);

        frame->Action(Command::MoveToPreviousTabGroup)->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(groups.GroupCount(), 1, kPatienceMs); // the emptied group goes
        QCOMPARE(groups.Group(0)->subWindowList().size(), 2);
        QCOMPARE(frame->ActiveView(), moved);

        // Windows of their own in every group, a new one too, and back to tabs.
        QVERIFY(frame->Action(Command::TabbedDocuments)->isChecked());
        frame->Action(Command::TabbedDocuments)->trigger();
        QVERIFY(!frame->Action(Command::TabbedDocuments)->isChecked());
        QCOMPARE(groups.Group(0)->viewMode(), QMdiArea::SubWindowView);
        for (QMdiSubWindow* window : groups.Windows())
            QVERIFY(window->isVisible() && !window->isMaximized());
        QCOMPARE(frame->ActiveView(), moved);
        frame->Action(Command::NewVerticalTabGroup)->trigger();
        QCOMPARE(groups.Group(1)->viewMode(), QMdiArea::SubWindowView);
        frame->Action(Command::TabbedDocuments)->trigger();
        for (int i = 0; i < groups.GroupCount(); ++i)
            QCOMPARE(groups.Group(i)->viewMode(), QMdiArea::TabbedView);
        QVERIFY(groups.Windows().front()->isMaximized());
        QCOMPARE(frame->ActiveView(), moved);
    }

    void propertiesFollowTheDocumentAndEditTheCrop() {
        auto frame = ShownFrame({900, 600});
        QVERIFY(frame);
        frame->App().OpenPaths({Path("a.ppm").toStdString(), Path("d.qvt").toStdString()});
        QVERIFY(WaitForWindows(*frame, 2));
        QTRY_VERIFY_WITH_TIMEOUT(Row(*frame, "QVT Header", "Levels"), kPatienceMs);
        frame->Groups().Activate(frame->Groups().Windows().front());
        QTRY_VERIFY_WITH_TIMEOUT(!Row(*frame, "QVT Header", "Levels"), kPatienceMs);
        QVERIFY(Row(*frame, "File", "Name")->text(1).endsWith("a.ppm"));

        CMyView* view = frame->ActiveView();
        frame->Action(Command::Crop)->trigger();
        QVERIFY(view->Cropping());
        QTreeWidgetItem* right = Row(*frame, "Cropped Image Size", "Right");
        QVERIFY(right);
        right->setText(1, "40");
        QCOMPARE(view->CropRect(), (ImageRect{0, 0, 40, 80}));
        QTRY_COMPARE_WITH_TIMEOUT(Row(*frame, "Cropped Image Size", "Width")->text(1),
                                  QString("40"), kPatienceMs);
        // What the user changed is marked.
        QVERIFY(Row(*frame, "Cropped Image Size", "Right")->font(1).bold());
        QVERIFY(!Row(*frame, "Cropped Image Size", "Left")->font(1).bold());
        // Refused: the old value stays and the tracker does not move.
        Row(*frame, "Cropped Image Size", "Left")->setText(1, "12.5");
        QTRY_COMPARE_WITH_TIMEOUT(Row(*frame, "Cropped Image Size", "Left")->text(1), QString("0"),
                                  kPatienceMs);
        Row(*frame, "Cropped Image Size", "Right")->setText(1, "121");
        QTRY_COMPARE_WITH_TIMEOUT(Row(*frame, "Cropped Image Size", "Right")->text(1),
                                  QString("40"), kPatienceMs);
        QCOMPARE(view->CropRect(), (ImageRect{0, 0, 40, 80}));
        // The crop group survives a refresh for another reason while the crop is under way.
        view->SetZoom(2);
        QVERIFY(Row(*frame, "Cropped Image Size", "Right"));

        // By name: no groups, the rows in order, the crop borders still editable.
        QTreeWidget* tree = frame->Properties()->Tree();
        frame->Properties()->ByNameAction()->trigger();
        QVERIFY(tree->topLevelItemCount() > 10);
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            QCOMPARE(tree->topLevelItem(i)->childCount(), 0);
            if (i > 0)
                QVERIFY(tree->topLevelItem(i - 1)->text(0) <= tree->topLevelItem(i)->text(0));
        }
        QTreeWidgetItem* bottom = tree->findItems("Bottom", Qt::MatchExactly).front();
        bottom->setText(1, "60");
        QCOMPARE(view->CropRect(), (ImageRect{0, 0, 40, 60}));
        frame->Properties()->ByGroupAction()->trigger();
        QVERIFY(Row(*frame, "Cropped Image Size", "Bottom")->font(1).bold());

        view->CancelCrop();
        QTRY_VERIFY_WITH_TIMEOUT(!Row(*frame, "Cropped Image Size", "Right"), kPatienceMs);
    }

    void windowsDialogActivatesSavesAndCloses() {
        auto frame = FrameWithFiles(dir_.path(), {"a.ppm", "b.ppm", "d.qvt"});
        QVERIFY(frame);
        const QList<QMdiSubWindow*> windows = frame->Groups().Windows();
        QList<QMdiSubWindow*> saved;
        WindowsDialog dialog(frame->Groups(), [&](QMdiSubWindow* window) { saved << window; });
        QCOMPARE(dialog.List()->count(), 3);
        dialog.List()->setCurrentRow(0);
        Button(dialog, "&Activate")->click();
        QCOMPARE(frame->Groups().ActiveWindow(), windows[0]);

        WindowsDialog again(frame->Groups(), [&](QMdiSubWindow* window) { saved << window; });
        again.List()->item(0)->setSelected(true);
        again.List()->item(2)->setSelected(true);
        QVERIFY(!Button(again, "&Activate")->isEnabled()); // only one window can be activated
        Button(again, "&Save")->click();
        QCOMPARE(saved, (QList<QMdiSubWindow*>{windows[0], windows[2]}));
        again.List()->item(0)->setSelected(true);
        again.List()->item(2)->setSelected(true);
        Button(again, "&Close Window(s)")->click();
        QVERIFY(WaitForWindows(*frame, 1));
        QCOMPARE(frame->Groups().Windows().front(), windows[1]);
        QTRY_COMPARE_WITH_TIMEOUT(again.List()->count(), 1, kPatienceMs);

        // The menu's dialog lists what is open.
        QVERIFY(CheckModal<WindowsDialog>(
            frame->Action(Command::WindowsDialog),
            [](WindowsDialog& shown) { QCOMPARE(shown.List()->count(), 1); }));
    }

    void hiddenToolbarButtonsStayHidden() {
        {
            auto frame = ShownFrame();
            QVERIFY(frame);
            ToolbarCustomizeDialog dialog(frame->StandardButtons());
            const auto found = dialog.List()->findItems("Save", Qt::MatchExactly);
            QCOMPARE(found.size(), 1);
            found.front()->setCheckState(Qt::Unchecked);
            dialog.accept();
            QVERIFY(!frame->StandardBar()->actions().contains(frame->Action(Command::Save)));
            QVERIFY(frame->Action(Command::Save)->isVisible()); // the File menu keeps its entry
        }
        auto frame = ShownFrame();
        QVERIFY(frame);
        const QList<QAction*> shown = frame->StandardBar()->actions();
        QVERIFY(!shown.contains(frame->Action(Command::Save)));
        // The separator after Open and Save stays, one only.
        QVERIFY(shown[0] == frame->Action(Command::Open) && shown[1]->isSeparator() &&
                !shown[2]->isSeparator());
        ToolbarCustomizeDialog dialog(frame->StandardButtons());
        QCOMPARE(dialog.List()->findItems("Save", Qt::MatchExactly).front()->checkState(),
                 Qt::Unchecked);
        Button(dialog, "Restore Defaults")->click();
        dialog.accept();
        QCOMPARE(frame->StandardBar()->actions()[1], frame->Action(Command::Save));
        QTRY_VERIFY_WITH_TIMEOUT(frame->ZoomBox()->isVisibleTo(frame->StandardBar()), kPatienceMs);
    }

    void aboutBoxLinesUpItsVersions() {
        auto frame = ShownFrame();
        QVERIFY(frame);
        QVERIFY(CheckModal<AboutDialog>(frame->Action(Command::About), [](AboutDialog& about) {
            QStringList texts;
            for (const QLabel* label : about.findChildren<QLabel*>())
                texts << label->text();
            // Name and version each in their own column, not one text aligned by tabs.
            for (const char* text :
                 {"QVT 32-Bit Codec Version:", "7.21.02", "KLDExt Codec Version:", "3.21.02",
                  "PixMap Version:", "2.21.02"})
                QVERIFY2(texts.contains(text), text);
            const QString architecture = QString::fromStdString(
                ArchitectureName(QSysInfo::buildCpuArchitecture().toStdString()));
            QVERIFY(std::any_of(texts.begin(), texts.end(), [&](const QString& text) {
                return text.startsWith("Version ") && text.contains(architecture);
            }));
        }));
    }

    void looksAreRememberedAndDarkLooksDarkenTheViews() {
        QSettings().setValue("ApplicationLook", 999);
        QCOMPARE(StoredLook(), kDesktopLook);
        {
            auto frame = ShownFrame({900, 600});
            QVERIFY(frame);
            frame->SetLook(216);
            StoreLook(216);
            QVERIFY(IsDark(QApplication::palette()));
            QCOMPARE(frame->App().Background(), ViewBackgroundFor(QApplication::palette()));
            frame->SetLook(215);
            QVERIFY(!IsDark(QApplication::palette()));
            QCOMPARE(frame->App().Background(), (Rgb{0x80, 0x80, 0xFF}));
        }
        QCOMPARE(StoredLook(), 216);
        auto again = ShownFrame({900, 600});
        QVERIFY(IsDark(QApplication::palette()));
        again->SetLook(kDesktopLook);
        QSettings().remove("ApplicationLook");
    }

    void fullScreenKeepsTheZoom() {
        auto frame = ShownFrame({900, 600});
        QVERIFY(frame);
        frame->App().OpenPaths({Path("a.ppm").toStdString()});
        QVERIFY(WaitForWindows(*frame, 1));
        frame->ActiveView()->SetZoom(2);
        frame->Action(Command::FullScreen)->trigger();
        QVERIFY(frame->isFullScreen());
        QVERIFY(frame->Action(Command::FullScreen)->isChecked());
        QCOMPARE(frame->ActiveView()->Zoom(), 2.0);
        frame->Action(Command::FullScreen)->trigger();
        QVERIFY(!frame->isFullScreen());
    }

    void aPrintedPageHoldsTheWholeImage() {
        // A tall image, blue at its bottom, on a page of A4's proportions.
        QImage tall(100, 1000, QImage::Format_RGB32);
        tall.fill(Qt::red);
        QPainter(&tall).fillRect(0, 990, 100, 10, Qt::blue);
        QImage page(210, 297, QImage::Format_RGB32);
        page.fill(Qt::white);
        {
            QPainter painter(&page);
            DrawPrintedImage(painter, page.size(), 72, 72, tall);
        }
        QCOMPARE(page.pixel(5, 296), qRgb(0, 0, 255));  // the bottom row is on the page
        QCOMPARE(page.pixel(28, 100), qRgb(255, 0, 0)); // 29.7 dots wide: 29
        QCOMPARE(page.pixel(29, 100), qRgb(255, 255, 255));

        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(Path("page.pdf"));
        printer.setResolution(300);
        QVERIFY(PrintImage(printer, tall));
        QFile pdf(Path("page.pdf"));
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        const QByteArray bytes = pdf.readAll();
        QVERIFY(bytes.startsWith("%PDF"));
        QVERIFY(bytes.contains("/Count 1"));

        // The page setup of the PDF printer holds for its next print.
        PageSetupDialog setup(printer);
        setup.PaperSize()->setCurrentText(QPageSize::name(QPageSize::A5));
        setup.Orientation()->setCurrentIndex(1);
        setup.accept();
        QCOMPARE(printer.pageLayout().pageSize().id(), QPageSize::A5);
        QCOMPARE(printer.pageLayout().orientation(), QPageLayout::Landscape);
        QCOMPARE(PageSetupDialog(printer).Orientation()->currentIndex(), 1);
    }
};

QTEST_MAIN(TstShell)
#include "tst_shell.moc"
