#pragma once

#include <QString>
#include <QStringList>

// Starts other programs without waiting for them.
class ProgramLauncher
{
public:
    // Starts program detached and without a window. elevated asks for
    // administrator rights where the OS has such a request (Windows "runas");
    // elsewhere it is ignored. Returns false when the program could not start,
    // and sets *cancelled when the user refused elevation.
    static bool startDetached(const QString &program, const QStringList &arguments, bool elevated = false,
        bool *cancelled = nullptr, qint64 *pid = nullptr);
};
