#include "processlist.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#ifdef Q_OS_WIN
#include <psapi.h>
#include <tlhelp32.h>
#include <windows.h>
#else
#include <QDirIterator>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
struct Process
{
    qint64 pid;
    QString executable; // absolute path
};

QList<Process> currentUserProcesses()
{
    QList<Process> result;
#ifdef Q_OS_WIN
    // A process of another user cannot be opened for its image name, which
    // keeps the list to what this user may stop.
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return result;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL ok = Process32FirstW(snapshot, &entry); ok; ok = Process32NextW(snapshot, &entry)) {
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        if (!process)
            continue;
        wchar_t path[MAX_PATH * 4];
        DWORD size = DWORD(std::size(path));
        if (QueryFullProcessImageNameW(process, 0, path, &size))
            result.append({ qint64(entry.th32ProcessID),
                QDir::fromNativeSeparators(QString::fromWCharArray(path, int(size))) });
        CloseHandle(process);
    }
    CloseHandle(snapshot);
#else
    const uid_t me = getuid();
    const QDir proc(QStringLiteral("/proc"));
    const QStringList entries = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric)
            continue;
        struct stat info;
        const QByteArray dir = QFile::encodeName(proc.filePath(entry));
        if (stat(dir.constData(), &info) != 0 || info.st_uid != me)
            continue;
        QString executable = QFile::symLinkTarget(proc.filePath(entry) + QStringLiteral("/exe"));
        if (executable.isEmpty())
            continue; // kernel thread, or gone meanwhile
        // A program replaced on disk while running still names its old file.
        const QString deleted = QStringLiteral(" (deleted)");
        if (executable.endsWith(deleted))
            executable.chop(deleted.size());
        result.append({ pid, executable });
    }
#endif
    return result;
}

Qt::CaseSensitivity fileNameCase()
{
#ifdef Q_OS_WIN
    return Qt::CaseInsensitive;
#else
    return Qt::CaseSensitive;
#endif
}
}

QList<qint64> ProcessList::findByName(const QString &fileName)
{
    QList<qint64> pids;
    for (const Process &process : currentUserProcesses()) {
        if (QFileInfo(process.executable).fileName().compare(fileName, fileNameCase()) == 0)
            pids.append(process.pid);
    }
    return pids;
}

QList<qint64> ProcessList::findByPath(const QString &executablePath)
{
    const QString wanted = QFileInfo(executablePath).canonicalFilePath();
    QList<qint64> pids;
    if (wanted.isEmpty())
        return pids;
    for (const Process &process : currentUserProcesses()) {
        if (QFileInfo(process.executable).absoluteFilePath().compare(wanted, fileNameCase()) == 0)
            pids.append(process.pid);
    }
    return pids;
}

int ProcessList::killByPath(const QString &executablePath)
{
    int killed = 0;
    for (const qint64 pid : findByPath(executablePath)) {
#ifdef Q_OS_WIN
        HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, DWORD(pid));
        if (process) {
            if (TerminateProcess(process, 1))
                ++killed;
            CloseHandle(process);
        }
#else
        if (::kill(pid_t(pid), SIGKILL) == 0)
            ++killed;
#endif
    }
    return killed;
}

int ProcessList::stopByPath(const QString &executablePath, int graceMs)
{
    const QList<qint64> pids = findByPath(executablePath);
    if (pids.isEmpty())
        return 0;
#ifdef Q_OS_WIN
    // No polite stop reaches a windowless Qt program there: terminate.
    Q_UNUSED(graceMs);
    return killByPath(executablePath);
#else
    for (const qint64 pid : pids)
        ::kill(pid_t(pid), SIGTERM);
    // A zombie has no executable left, so findByPath no longer lists it.
    const QDeadlineTimer deadline(graceMs);
    while (!findByPath(executablePath).isEmpty() && !deadline.hasExpired())
        QThread::msleep(20);
    if (!findByPath(executablePath).isEmpty())
        killByPath(executablePath);
    return int(pids.size());
#endif
}
