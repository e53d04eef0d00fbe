#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class ClientAgent;

// Starts, restarts and stops MorvaneCore for the player window, which owns
// one of these and calls it from its slots of the same names:
//   agent serverStateCheck(QString) -> window serverStateCheck -> serverStateCheck
//   agent serverReadyToClose()      -> window myQuit           -> myQuit
//   closeRequested()                -> window close()
class CoreProcessControl : public QObject
{
    Q_OBJECT

public:
    explicit CoreProcessControl(ClientAgent *agent, QObject *parent = nullptr);

    // "MorvaneCore" with the platform's program suffix.
    static QString coreFileName();
    // The channel a freshly started player hands its core.
    static QString defaultChannelName();

    // Where the player's sibling programs live; the player's own folder
    // unless set (tests point it at a folder with a stand-in core).
    void setProgramFolder(const QString &folder) { m_programFolder = folder; }
    QString programFolder() const;
    QString coreProgramPath() const;

    // Starts file detached and hidden, without waiting; inProgramFolder
    // looks for it in programFolder(), otherwise on the search path.
    bool launchProgram(
        const QString &file, const QStringList &arguments, bool elevated, bool inProgramFolder);
    // One argument, or none when arguments is empty.
    bool launchProgram(const QString &file, const QString &arguments, bool elevated, bool inProgramFolder);

    // Closing the window: leaves the core working when background work is on
    // (and asks for closeRequested() at once), otherwise asks the core to
    // prepare; its answer arrives as the agent's serverReadyToClose(). The
    // window hides its information pop-up before calling this.
    void prepQuit();

public slots:
    void serverStateCheck(QString newChannelName);
    void tryToTurnDownServer();
    void myQuit();

signals:
    void closeRequested();

private:
    ClientAgent *m_agent;
    QString m_programFolder;
};
