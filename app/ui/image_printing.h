// Printing an image: the print dialog (whose printers include a PDF file, so printing works
// without a printer), the print preview, and the page itself.
#pragma once

#include <QDialog>
#include <QImage>

class QComboBox;
class QPainter;
class QPrinter;
class QWidget;

// Draws `image` on a page of `page` dots at the given resolutions, at the painter's origin:
// as large as the page allows with its aspect ratio kept, reduced to that size first.
void DrawPrintedImage(QPainter& painter, QSize page, double dpiX, double dpiY, const QImage& image);

// Draws `image` on one page: as large as the printable area allows with its aspect ratio kept,
// at the top left, reduced to the printed size first so that a huge image makes a page of the
// printer's size rather than of the image's. False when the printer cannot be used.
bool PrintImage(QPrinter& printer, const QImage& image);

// Asks for a printer and prints on `printer`, which keeps the choices made for the next print;
// false when the printer failed (not when the user cancelled).
bool PrintWithDialog(QPrinter& printer, const QImage& image, const QString& title, QWidget* parent);
// The page setup: the platform's dialog for the system's printers, this one (paper size and
// orientation) for the PDF file printer, which the platform's dialog refuses.
void RunPageSetup(QPrinter& printer, QWidget* parent);

class PageSetupDialog : public QDialog {
    Q_OBJECT

public:
    PageSetupDialog(QPrinter& printer, QWidget* parent = nullptr);

    QComboBox* PaperSize() const { return size_; }
    QComboBox* Orientation() const { return orientation_; }

    // Sets up the printer's page as chosen.
    void accept() override;

private:
    QPrinter& printer_;
    QComboBox* size_;
    QComboBox* orientation_;
};

void ShowPrintPreview(QPrinter& printer, const QImage& image, const QString& title,
                      QWidget* parent);
