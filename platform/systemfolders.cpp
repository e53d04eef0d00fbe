#include "systemfolders.h"

#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <shlobj.h>
#include <windows.h>
#endif

QString SystemFolders::localAppData()
{
#ifdef Q_OS_WIN
    wchar_t buffer[MAX_PATH + 1] = {};
    if (!SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_LOCAL_APPDATA, FALSE))
        return QString();
    return QString::fromWCharArray(buffer);
#else
    // GenericDataLocation is the XDG data home first, then the system dirs.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
#endif
}

QString SystemFolders::documents()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}
