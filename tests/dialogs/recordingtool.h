#pragma once

#include <QStringList>
#include <QTemporaryDir>

// A program folder holding a stand-in association tool that writes the
// arguments of every start to a file, one start per line.
class RecordingTool
{
public:
    RecordingTool();
    bool isValid() const { return m_valid; }
    QString folder() const { return m_dir.path(); }

    // Every start recorded so far: the arguments of each, joined by blanks,
    // behind the count of arguments ("1:auto", "0:").
    QStringList calls() const;
    // Waits until at least n starts are recorded.
    bool waitForCalls(int n, int timeoutMs = 5000) const;

private:
    QTemporaryDir m_dir;
    bool m_valid = false;
};
