#pragma once

#include <QList>
#include <QString>

// The current user's running programs, found by their executable.
class ProcessList
{
public:
    // Process ids of the current user's processes whose executable file name
    // (without folder) is fileName; compared case-insensitively on Windows.
    static QList<qint64> findByName(const QString &fileName);
    // Process ids of the current user's processes running exactly this
    // executable (absolute path).
    static QList<qint64> findByPath(const QString &executablePath);
    // Kills every process findByPath returns; returns how many were killed.
    static int killByPath(const QString &executablePath);
    // Asks every process findByPath returns to stop (SIGTERM, so it can save
    // its state), waits up to graceMs for them to go, then kills the rest.
    // Returns how many were running. Blocks the caller for up to graceMs.
    static int stopByPath(const QString &executablePath, int graceMs = 5000);
};
