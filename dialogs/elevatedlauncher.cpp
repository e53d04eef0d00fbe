#include "elevatedlauncher.h"

#include "platform/logging.h"
#include "platform/programlauncher.h"
#include "platform/programnames.h"

#include <QCoreApplication>
#include <QDir>

namespace {
QString &folderOverride()
{
    static QString folder;
    return folder;
}
}

QString ElevatedLauncher::programFolder()
{
    const QString folder = folderOverride();
    return folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder;
}

void ElevatedLauncher::setProgramFolder(const QString &folder)
{
    folderOverride() = folder;
}

QString ElevatedLauncher::associationTool()
{
    return ProgramNames::fileName(ProgramNames::AssociationTool);
}

bool ElevatedLauncher::launchElevated(const QString &file, const QString &parameters)
{
    const QString program = QDir(programFolder()).filePath(file);
    QStringList arguments;
    if (parameters == QLatin1String("auto"))
        arguments << parameters;
    bool cancelled = false;
    if (ProgramLauncher::startDetached(program, arguments, true, &cancelled))
        return true;
    if (!cancelled)
        qCDebug(lcDialogs, "****quit***********");
    return false;
}
