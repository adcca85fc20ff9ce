#include "image_printing.h"

#include "print_layout.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include <algorithm>

namespace {

// Fine enough for photographs, and a page stays a few tens of megapixels whatever the printer
// (a PDF file would otherwise be made at 1200 dots per inch).
constexpr int kResolution = 300;

void Prepare(QPrinter& printer, const QString& title) {
    printer.setResolution(kResolution);
    printer.setDocName(title);
}

} // namespace

void DrawPrintedImage(QPainter& painter, QSize page, double dpiX, double dpiY,
                      const QImage& image) {
    const Size printed =
        PrintedSize({image.width(), image.height()}, {page.width(), page.height()}, dpiX, dpiY);
    const QSize size(static_cast<int>(printed.width), static_cast<int>(printed.height));
    const QImage reduced = size.width() < image.width() || size.height() < image.height()
                               ? image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                               : image;
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRect(QPoint(0, 0), size), reduced);
}

bool PrintImage(QPrinter& printer, const QImage& image) {
    if (image.isNull()) return false;
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    // The painter's origin is already the printable area's top left.
    DrawPrintedImage(painter, printer.pageLayout().paintRectPixels(printer.resolution()).size(),
                     printer.logicalDpiX(), printer.logicalDpiY(), image);
    return painter.end();
}

bool PrintWithDialog(QPrinter& printer, const QImage& image, const QString& title,
                     QWidget* parent) {
    Prepare(printer, title);
    QPrintDialog dialog(&printer, parent);
    if (dialog.exec() != QDialog::Accepted) return true;
    return PrintImage(printer, image);
}

void RunPageSetup(QPrinter& printer, QWidget* parent) {
    if (printer.outputFormat() == QPrinter::NativeFormat) {
        QPageSetupDialog dialog(&printer, parent);
        dialog.exec();
        return;
    }
    PageSetupDialog dialog(printer, parent);
    dialog.exec();
}

PageSetupDialog::PageSetupDialog(QPrinter& printer, QWidget* parent)
    : QDialog(parent), printer_(printer) {
    setWindowTitle(tr("Page Setup"));
    size_ = new QComboBox;
    for (const QPageSize::PageSizeId id : {QPageSize::A3, QPageSize::A4, QPageSize::A5,
                                           QPageSize::Letter, QPageSize::Legal, QPageSize::Tabloid})
        size_->addItem(QPageSize::name(id), static_cast<int>(id));
    size_->setCurrentIndex(
        std::max(0, size_->findData(static_cast<int>(printer.pageLayout().pageSize().id()))));
    orientation_ = new QComboBox;
    orientation_->addItem(tr("Portrait"), static_cast<int>(QPageLayout::Portrait));
    orientation_->addItem(tr("Landscape"), static_cast<int>(QPageLayout::Landscape));
    orientation_->setCurrentIndex(printer.pageLayout().orientation() == QPageLayout::Landscape);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* form = new QFormLayout(this);
    form->addRow(tr("Paper &size:"), size_);
    form->addRow(tr("&Orientation:"), orientation_);
    form->addRow(buttons);
}

void PageSetupDialog::accept() {
    printer_.setPageSize(
        QPageSize(static_cast<QPageSize::PageSizeId>(size_->currentData().toInt())));
    printer_.setPageOrientation(
        static_cast<QPageLayout::Orientation>(orientation_->currentData().toInt()));
    QDialog::accept();
}

void ShowPrintPreview(QPrinter& printer, const QImage& image, const QString& title,
                      QWidget* parent) {
    Prepare(printer, title);
    QPrintPreviewDialog preview(&printer, parent);
    preview.resize(900, 700);
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                     [&image](QPrinter* target) { PrintImage(*target, image); });
    preview.exec();
}
