#include "recordingtool.h"

#include "dialogs/elevatedlauncher.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTest>

RecordingTool::RecordingTool()
{
    if (!m_dir.isValid())
        return;
    QFile script(m_dir.filePath(ElevatedLauncher::associationTool()));
    if (!script.open(QIODevice::WriteOnly))
        return;
    // One printf per start: a single short append, so lines never interleave.
    script.write("#!/bin/sh\n"
                 "printf '%s\\n' \"$#:$*\" >> \"$(dirname \"$0\")/calls.log\"\n");
    script.close();
    m_valid = script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QStringList RecordingTool::calls() const
{
    QFile log(m_dir.filePath(QStringLiteral("calls.log")));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(log.readAll());
    QStringList lines = text.split(QLatin1Char('\n'));
    lines.removeLast(); // the part after the last newline is not complete yet
    return lines;
}

bool RecordingTool::waitForCalls(int n, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    while (calls().size() < n) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(10);
    }
    return true;
}
