// Drops on the main window: local files (what file managers offer) open as documents, several
// at once without progressive loading; image data (the program's pixel-map block, or standard
// image data) becomes a new untitled document. A view does not take a drag it started itself.
#pragma once

#include <QObject>

#include <string>
#include <vector>

class CPictorApp;
class QDropEvent;
class QMimeData;
class QWidget;

class ImageDrops : public QObject {
    Q_OBJECT

public:
    // Makes `window` accept drops and watches its drop events.
    ImageDrops(QWidget* window, CPictorApp& app);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static bool Offers(const QDropEvent& event);
    bool OverItsSource(const QDropEvent& event) const;
    void ShowSkipped(int count) const;

    QWidget* window_;
    CPictorApp& app_;
};

// The local files among the data's URLs, and how many others (links to other places, folders)
// are left out.
struct DroppedUrls {
    std::vector<std::string> files;
    int skipped = 0;
};
DroppedUrls LocalFilesOf(const QMimeData* data);
