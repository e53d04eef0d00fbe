#include "corelink/coreprocesscontrol.h"

#include "corelink/clientagent.h"
#include "platform/logging.h"
#include "platform/processlist.h"
#include "platform/programlauncher.h"
#include "platform/programnames.h"
#include "protocol/coreprotocol.h"
#include "settings/preferences.h"

#include <QCoreApplication>
#include <QDir>

CoreProcessControl::CoreProcessControl(ClientAgent *agent, QObject *parent)
    : QObject(parent)
    , m_agent(agent)
{ }

QString CoreProcessControl::coreFileName()
{
    return ProgramNames::fileName(ProgramNames::Core);
}

QString CoreProcessControl::defaultChannelName()
{
    return QStringLiteral("MorvaneCore");
}

QString CoreProcessControl::programFolder() const
{
    return m_programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : m_programFolder;
}

QString CoreProcessControl::coreProgramPath() const
{
    return QDir(programFolder()).absoluteFilePath(coreFileName());
}

bool CoreProcessControl::launchProgram(
    const QString &file, const QStringList &arguments, bool elevated, bool inProgramFolder)
{
    const QString path = inProgramFolder ? QDir(programFolder()).absoluteFilePath(file) : file;
    bool cancelled = false;
    if (ProgramLauncher::startDetached(QDir::toNativeSeparators(path), arguments, elevated, &cancelled))
        return true;
    if (!cancelled)
        qCDebug(lcCorelink).noquote() << "****quit***********";
    return false;
}

bool CoreProcessControl::launchProgram(
    const QString &file, const QString &arguments, bool elevated, bool inProgramFolder)
{
    return launchProgram(
        file, arguments.isEmpty() ? QStringList() : QStringList { arguments }, elevated, inProgramFolder);
}

void CoreProcessControl::serverStateCheck(QString newChannelName)
{
    qCDebug(lcCorelink).noquote() << "Ready to check server state... do start/reset server now...";
    if (newChannelName.isEmpty()) {
        qCDebug(lcCorelink).noquote() << "Try to start/reset back-server at MorvaneCore";
        // A failed start shows up as a connection that keeps retrying.
        launchProgram(coreFileName(), defaultChannelName(), false, true);
        return;
    }
    qCDebug(lcCorelink).noquote() << "Try to start/reset back-server at serverName:" << newChannelName;
    // A core that lost us but still runs holds the downloads' lock, and the
    // new one would leave at once: the old one goes first, saving its state.
    ProcessList::stopByPath(coreProgramPath());
    launchProgram(coreFileName(), newChannelName, false, true);
    emit m_agent->_rebuildConnection();
}

void CoreProcessControl::tryToTurnDownServer()
{
    // Only this user's cores of this installation: another user's or another
    // build's core is none of our business. A polite stop first: the core
    // saves what it downloaded since its last save.
    ProcessList::stopByPath(coreProgramPath());
}

void CoreProcessControl::prepQuit()
{
    qCDebug(lcCorelink).noquote() << "prepQuit...";
    Preferences pref;
    if (pref.getPtBackgroundWork()) {
        emit m_agent->_disconnectFromServerBeforeQuit();
        emit closeRequested();
        return;
    }
    qCDebug(lcCorelink).noquote() << "tell back server to prepare to quit..";
    emit m_agent->sessionRequest(CoreProtocol::PrepareQuit, QStringList { QStringLiteral("") });
}

void CoreProcessControl::myQuit()
{
    qCDebug(lcCorelink).noquote() << "try to turn down MorvaneCore.exe..";
    emit m_agent->_disconnectFromServerBeforeQuit();
    tryToTurnDownServer();
    emit closeRequested();
}
