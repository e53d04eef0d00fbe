#include "programlauncher.h"

#include <QProcess>

#ifdef Q_OS_WIN
#include <shellapi.h>
#include <windows.h>
#endif

bool ProgramLauncher::startDetached(
    const QString &program, const QStringList &arguments, bool elevated, bool *cancelled, qint64 *pid)
{
    if (cancelled)
        *cancelled = false;
#ifdef Q_OS_WIN
    QString native = program;
    native.replace(QLatin1Char('/'), QLatin1Char('\\'));
    QStringList quoted;
    for (const QString &argument : arguments)
        quoted << (argument.contains(QLatin1Char(' ')) ? QLatin1Char('"') + argument + QLatin1Char('"')
                                                       : argument);
    const QString parameters = quoted.join(QLatin1Char(' '));
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = elevated ? L"runas" : nullptr;
    info.lpFile = reinterpret_cast<LPCWSTR>(native.utf16());
    info.lpParameters = parameters.isEmpty() ? nullptr : reinterpret_cast<LPCWSTR>(parameters.utf16());
    info.nShow = SW_HIDE;
    if (!ShellExecuteExW(&info)) {
        if (cancelled)
            *cancelled = GetLastError() == ERROR_CANCELLED;
        return false;
    }
    if (pid)
        *pid = info.hProcess ? qint64(GetProcessId(info.hProcess)) : 0;
    if (info.hProcess)
        CloseHandle(info.hProcess);
    return true;
#else
    // No elevation on this platform: the programs we start need none.
    Q_UNUSED(elevated);
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    return process.startDetached(pid);
#endif
}
