#pragma once

#include <QString>

// Asks the system's package manager about installed files.
class PackageManager
{
public:
    // True when an installed package owns the file: such an installation
    // is updated through the package manager, never by an installer of ours.
    static bool owns(const QString &path);
};
