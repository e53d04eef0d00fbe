#include "packagemanager.h"

#include "platform/logging.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

namespace {

// Exit code of tool with arguments, or -1 when it is missing or hangs.
int run(const QString &tool, const QStringList &arguments)
{
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        return -1;
    QProcess process;
    // Only the exit code counts; "no path found" is no news to the user.
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForFinished(10000)) {
        qCWarning(lcPlatform).noquote() << tool << "did not answer";
        process.kill();
        process.waitForFinished(1000);
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace

bool PackageManager::owns(const QString &path)
{
    // Both tools read their argument as a pattern; an installed program's
    // path holds no pattern characters, anything else is no package's.
    static const QString patternCharacters = QStringLiteral("*?[]\\");
    if (!path.startsWith(QLatin1Char('/')))
        return false;
    for (const QChar c : path) {
        if (patternCharacters.contains(c))
            return false;
    }
    if (run(QStringLiteral("dpkg-query"), { QStringLiteral("--search"), path }) == 0)
        return true;
    return run(QStringLiteral("rpm"), { QStringLiteral("--query"), QStringLiteral("--file"), path }) == 0;
}
