#include "urihandler.h"

#include "assoc/desktopassociations.h"
#include "assoc/registryassociations.h"

#include <QCoreApplication>

bool UriHandler::isUriHandlerRegistered()
{
    return isUriHandlerRegistered(QCoreApplication::applicationFilePath());
}

bool UriHandler::isUriHandlerRegistered(const QString &programPath)
{
#ifdef Q_OS_WIN
    return RegistryAssociations::isUriHandlerRegistered(RegistryStore::nativeRoots(), programPath);
#else
    return DesktopAssociations::isUriHandlerRegistered(
        programPath, DesktopAssociations::Folders::forThisUser());
#endif
}
