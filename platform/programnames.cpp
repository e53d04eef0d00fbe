#include "programnames.h"

namespace {

QString baseName(ProgramNames::Program program)
{
    switch (program) {
    case ProgramNames::Player:
        return QStringLiteral("Morvane");
    case ProgramNames::Core:
        return QStringLiteral("MorvaneCore");
    case ProgramNames::AssociationTool:
        return QStringLiteral("Kelvora");
    case ProgramNames::Updater:
        return QStringLiteral("updater");
    case ProgramNames::Installer:
        return QStringLiteral("MorvaneSetup");
    }
    return QString();
}

} // namespace

QString ProgramNames::fileName(Program program)
{
#ifdef Q_OS_WIN
    return windowsFileName(program);
#else
    return baseName(program);
#endif
}

QString ProgramNames::windowsFileName(Program program)
{
    return baseName(program) + QStringLiteral(".exe");
}
