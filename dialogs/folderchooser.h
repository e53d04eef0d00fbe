#pragma once

#include <QString>

class QWidget;

// The download-folder choice shared by the settings dialogs.
class FolderChooser
{
public:
    FolderChooser() = delete;

    // Asks for a folder, starting at current or, when that does not exist
    // yet, at its nearest existing parent. Returns current when cancelled.
    static QString chooseFolder(QWidget *parent, const QString &caption, const QString &current);
};
