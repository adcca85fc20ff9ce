#include "qt_services.h"

#include "file_open_dialog.h"
#include "file_save_dialog.h"

#include <QApplication>
#include <QColorDialog>
#include <QLabel>
#include <QMessageBox>
#include <QMetaObject>
#include <QProgressBar>

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

} // namespace

QtServices::QtServices(QWidget* window, QLabel* message, QProgressBar* progress)
    : window_(window), message_(message), progress_(progress) {}

void QtServices::ShowMessage(const std::string& text, MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::Information   ? QMessageBox::Information
                    : icon == MessageIcon::Exclamation ? QMessageBox::Warning
                                                       : QMessageBox::Critical,
                    QApplication::applicationName(), Text(text), QMessageBox::Ok, window_);
    box.exec();
}

Answer QtServices::Ask(const std::string& question, bool withCancel) {
    QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No;
    if (withCancel) buttons |= QMessageBox::Cancel;
    switch (
        QMessageBox::question(window_, QApplication::applicationName(), Text(question), buttons)) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return withCancel ? Answer::Cancel : Answer::No;
    }
}

void QtServices::ShowStatus(const std::string& text) { message_->setText(Text(text)); }

void QtServices::BeginWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }

void QtServices::EndWaitCursor() { QApplication::restoreOverrideCursor(); }

void QtServices::BeginProgress(const std::string& message) {
    message_->setText(Text(message));
    // A busy bar until the work says how far it is.
    progress_->setRange(0, 0);
    progress_->show();
}

void QtServices::StepProgress(int percent) {
    progress_->setRange(0, 100);
    progress_->setValue(percent);
}

void QtServices::EndProgress() {
    progress_->hide();
    message_->setText(QObject::tr("Ready"));
}

std::vector<std::string> QtServices::AskOpenPaths(const std::vector<FileFilter>& filters,
                                                  OpenOptions& options) {
    CFileOpenDlg dialog(window_, filters, options);
    if (dialog.exec() != QDialog::Accepted) return {};
    options = dialog.Options();
    std::vector<std::string> paths;
    for (const QString& name : dialog.selectedFiles())
        paths.push_back(name.toStdString());
    return paths;
}

std::optional<std::string> QtServices::AskSavePath(const std::string& title,
                                                   const std::string& proposed,
                                                   const std::vector<FileFilter>& filters,
                                                   int selectedFilter, SaveOptions& options) {
    CFileSaveDlg dialog(window_, Text(title), Text(proposed), filters, selectedFilter, options);
    if (dialog.exec() != QDialog::Accepted || dialog.ChosenPath().isEmpty()) return {};
    options = dialog.Options();
    return dialog.ChosenPath().toStdString();
}

std::optional<Rgb> QtServices::AskColor(Rgb initial) {
    const QColor color =
        QColorDialog::getColor(QColor(initial.red, initial.green, initial.blue), window_);
    if (!color.isValid()) return {};
    return Rgb{static_cast<std::uint8_t>(color.red()), static_cast<std::uint8_t>(color.green()),
               static_cast<std::uint8_t>(color.blue())};
}

void QtServices::PostToUi(std::function<void()> task) {
    QMetaObject::invokeMethod(qApp, std::move(task), Qt::QueuedConnection);
}
