// The type lists of the file dialogs in Qt's filter syntax.
#pragma once

#include "desktop_services.h"

#include <QString>

// "PNM (*.PBM *.PGM *.PPM)": the description's label with the patterns.
QString FilterText(const FileFilter& filter);
// Every entry, separated as Qt's file dialog wants them.
QString FiltersText(const std::vector<FileFilter>& filters);
