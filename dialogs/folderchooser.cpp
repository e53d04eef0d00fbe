#include "folderchooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

QString FolderChooser::chooseFolder(QWidget *parent, const QString &caption, const QString &current)
{
    // A missing start folder would be offered as a name to create, which the
    // dialog then refuses; start where something exists.
    QString start = current.isEmpty() ? QDir::homePath() : QDir::cleanPath(current);
    while (!QFileInfo(start).isDir()) {
        const QString parentPath = QFileInfo(start).path();
        if (parentPath == start) {
            start = QDir::homePath();
            break;
        }
        start = parentPath;
    }
    const QString folder = QFileDialog::getExistingDirectory(
        parent, caption, start, QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    // A cancelled dialog answers empty: keep the folder that was there.
    return folder.isEmpty() ? current : folder;
}
