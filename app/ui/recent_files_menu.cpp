#include "recent_files_menu.h"

#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>

namespace {

const char* const kList = "recentFileList";
const char* const kKey = "file";

std::vector<std::string> LoadList() {
    QSettings settings;
    std::vector<std::string> paths;
    const int size = settings.beginReadArray(kList);
    for (int i = 0; i < size; ++i) {
        settings.setArrayIndex(i);
        paths.push_back(settings.value(kKey).toString().toStdString());
    }
    settings.endArray();
    return paths;
}

} // namespace

RecentFilesMenu::RecentFilesMenu(QMenu* menu, QAction* before) : QObject(menu), files_(LoadList()) {
    for (std::size_t i = 0; i < actions_.size(); ++i) {
        actions_[i] = new QAction(this);
        menu->insertAction(before, actions_[i]);
        connect(actions_[i], &QAction::triggered, this, [this, i] {
            if (i >= files_.Entries().size()) return;
            const std::string path = files_.Entries()[i];
            files_.Remove(path);
            Store();
            emit openRequested(path);
        });
    }
    separator_ = menu->insertSeparator(before);
    writer_.setMaxThreadCount(1);
    Show();
}

RecentFilesMenu::~RecentFilesMenu() { writer_.waitForDone(); }

void RecentFilesMenu::Add(const std::string& path) {
    files_.Add(path);
    Store();
}

void RecentFilesMenu::Store() {
    QStringList paths;
    for (const std::string& path : files_.Entries())
        paths.push_back(QString::fromStdString(path));
    writer_.start([paths = std::move(paths)] {
        QSettings settings;
        settings.beginWriteArray(kList, static_cast<int>(paths.size()));
        for (int i = 0; i < paths.size(); ++i) {
            settings.setArrayIndex(i);
            settings.setValue(kKey, paths[i]);
        }
        settings.endArray();
    });
    Show();
}

void RecentFilesMenu::Show() {
    const auto& entries = files_.Entries();
    for (std::size_t i = 0; i < actions_.size(); ++i) {
        const bool used = i < entries.size();
        actions_[i]->setVisible(used);
        if (!used) continue;
        const QString path = QString::fromStdString(entries[i]);
        actions_[i]->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName()));
        actions_[i]->setToolTip(QDir::toNativeSeparators(path));
        actions_[i]->setStatusTip(QDir::toNativeSeparators(path));
    }
    separator_->setVisible(!entries.empty());
}
