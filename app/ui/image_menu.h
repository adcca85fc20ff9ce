// The commands of the Image and Edit menus that need more than the active view: mode changes,
// the size dialog, transparency, the colour-table windows, the PSNR comparison, copy and import;
// and the facts about them that the command table reads (whether a colour-table window shows,
// whether a comparison is armed, whether the clipboard offers an image).
#pragma once

#include "commands.h"
#include "pictor_app.h"
#include "psnr_pairing.h"

#include <QObject>

#include <map>
#include <memory>

class CMyView;
class ColorTableWindow;
class QWidget;

class ImageMenu : public QObject {
    Q_OBJECT

public:
    // `window` parents the dialogs and the colour-table windows.
    ImageMenu(QWidget* window, CPictorApp& app);
    ~ImageMenu() override;

    // Runs a command of these menus on the active view (null without one); other commands do
    // nothing here.
    void Run(Command command, CMyView* view);
    void AddFacts(CommandFacts& facts, const CMyView* view) const;

    // The active view changed: the second image of an armed comparison.
    void ViewActivated(CMyView* view);
    void DocumentClosing(CMyDoc& document);
    // Colour-table windows follow their documents: refilled when the table changed, hidden when
    // the image is no longer Indexed.
    void FollowDocuments();
    // Reads whether the clipboard offers an image (on a change of the clipboard, when the program
    // gets the focus, before a menu shows: some desktops let a program read the clipboard only
    // while it has the focus).
    void RefreshClipboard();

    ColorTableWindow* ColorTableOf(const CMyDoc& document) const;

signals:
    // Something the command table reads changed.
    void stateChanged();

private:
    void Copy(CMyView& view);
    void Import();
    void ToggleColorTable(CMyDoc& document);
    void AskSize(CMyDoc& document);
    void CompareNow();

    QWidget* window_;
    CPictorApp& app_;
    PSNRPairing pairing_;
    std::map<const CMyDoc*, std::unique_ptr<ColorTableWindow>> colorTables_;
    bool clipboardOffersImage_ = false;
};
