#include "webenginesandbox.h"

#include <QByteArray>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

bool WebEngineSandbox::relaxForRoot()
{
#ifdef Q_OS_WIN
    return false;
#else
    if (geteuid() != 0 || qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        return false;
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", QByteArrayLiteral("1"));
    return true;
#endif
}
