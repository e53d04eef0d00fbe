#pragma once

#include <QString>

// Starts the programs that ship beside the player, from the player's own
// folder, asking for administrator rights where the system has such a request.
class ElevatedLauncher
{
public:
    ElevatedLauncher() = delete;

    // The folder the player and its sibling programs are installed in.
    static QString programFolder();
    // Replaces the program folder; an empty folder means the player's own.
    static void setProgramFolder(const QString &folder);

    // File name of the file-association tool on this system.
    static QString associationTool();

    // Starts file from the program folder. Only the parameter "auto" is
    // passed on; anything else starts the program without arguments.
    // A refused elevation returns false without a trace line.
    static bool launchElevated(const QString &file, const QString &parameters);
};
