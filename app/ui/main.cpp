// pictor: the desktop program. Starts with no document, or opens every file named on the
// command line.
#include "main_window.h"
#include "passive_openmp.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>

#include <malloc.h>

int main(int argc, char** argv) {
    EnsurePassiveOpenMP(argv);
    // Buffers of a mebibyte and more (decoded files, strips of reduced copies, made on worker
    // threads) are mapped and given back when freed; left to its default the threshold rises
    // after the first large free, and worker threads' heaps then keep tens of megabytes.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    QApplication application(argc, argv);
    QApplication::setOrganizationName("Tarvik");
    QApplication::setApplicationName("Pictor");
    // Desktops match the windows to the installed entry by this name.
    QGuiApplication::setDesktopFileName("org.tarvik.Pictor");
    QIcon icon;
    for (const char* size : {"48x48", "256x256"})
        icon.addFile(QString(":/icons/%1/org.tarvik.Pictor.png").arg(size));
    QApplication::setWindowIcon(QIcon::fromTheme("org.tarvik.Pictor", icon));
    CMainFrame frame;
    frame.resize(1280, 860);
    frame.show();
    std::vector<std::string> paths;
    // Named from the folder the program started in: the documents show and save their full path.
    for (const QString& argument : QApplication::arguments().mid(1))
        paths.push_back(QFileInfo(argument).absoluteFilePath().toStdString());
    frame.App().OpenPaths(paths);
    return QApplication::exec();
}
