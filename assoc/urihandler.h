#pragma once

#include <QString>

// Whether the morvane:// scheme is registered to this very program, as the
// association tool leaves it.
class UriHandler
{
public:
    // For the running program (QCoreApplication::applicationFilePath()).
    static bool isUriHandlerRegistered();
    // For the program at programPath.
    static bool isUriHandlerRegistered(const QString &programPath);
};
