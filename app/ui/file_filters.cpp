#include "file_filters.h"

#include <QStringList>

QString FilterText(const FileFilter& filter) {
    QStringList patterns;
    for (const std::string& pattern : filter.patterns)
        patterns << QString::fromStdString(pattern);
    const QString description = QString::fromStdString(filter.description);
    // Descriptions that already list their patterns ("PNM (*.PBM;*.PGM;*.PPM)") keep their label;
    // Qt takes the patterns from the parentheses, so they are given in its separator.
    const qsizetype open = description.indexOf('(');
    const QString label = open < 0 ? description : description.left(open).trimmed();
    return label + " (" + patterns.join(' ') + ")";
}

QString FiltersText(const std::vector<FileFilter>& filters) {
    QStringList entries;
    for (const FileFilter& filter : filters)
        entries << FilterText(filter);
    return entries.join(";;");
}
