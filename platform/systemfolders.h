#pragma once

#include <QString>

// The operating system's per-user folders. The only place that knows how each
// OS names them; everything else asks here.
class SystemFolders
{
public:
    // Per-user local application data: %LOCALAPPDATA% on Windows, the XDG data
    // home ($XDG_DATA_HOME or ~/.local/share) elsewhere. Empty when unknown.
    static QString localAppData();
    // The user's Documents folder, absolute.
    static QString documents();
};
