#pragma once

#include <QString>

// The file names of the programs that ship together, spelt once. Windows
// names end in ".exe"; the registry always holds the Windows names.
class ProgramNames
{
public:
    enum Program { Player, Core, AssociationTool, Updater, Installer };

    // The name of the program's file on this system.
    static QString fileName(Program program);
    static QString windowsFileName(Program program);
};
