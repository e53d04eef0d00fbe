#include "parameterpaths.h"

#include "settings/misc.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSysInfo>
#include <QUrl>

bool ParameterPaths::isLink(const QString &parameter)
{
    // "morvane:" and "bc:" without their slashes are our links written
    // badly, still not files.
    for (const char *prefix : { "magnet:", "morvane:", "bc:" })
        if (parameter.startsWith(QLatin1String(prefix), Qt::CaseInsensitive))
            return true;
    if (misc::isUrl(parameter))
        return true;
    // Two letters at least: "C:/..." is a Windows path, not a scheme.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+://"));
    return scheme.match(parameter).hasMatch()
        && !parameter.startsWith(QLatin1String("file:"), Qt::CaseInsensitive);
}

QString ParameterPaths::localPath(const QString &parameter, bool *ok)
{
    if (ok)
        *ok = true;
    if (!parameter.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        return parameter;
    QUrl url(parameter, QUrl::TolerantMode);
    const QString host = url.host();
#ifdef Q_OS_WIN
    // Another machine's share is a path there too (\\server\share).
    const bool reachable = true;
#else
    const bool reachable = host.isEmpty()
        || host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0
        || host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) == 0;
    if (reachable)
        url.setHost(QString());
#endif
    if (!url.isValid() || !reachable || url.path().isEmpty()) {
        if (ok)
            *ok = false;
        return QString();
    }
    return url.toLocalFile();
}

QStringList ParameterPaths::absolute(const QStringList &arguments, const QString &folder)
{
    QStringList result;
    result.reserve(arguments.size());
    const QDir base(folder);
    for (const QString &argument : arguments) {
        const QString trimmed = argument.trimmed();
        if (trimmed.isEmpty() || argument.startsWith(QLatin1String("--")) || isLink(trimmed)) {
            result << argument;
            continue;
        }
        bool local = true;
        const QString path = localPath(trimmed, &local);
        if (!local) {
            result << argument;
            continue;
        }
        result << (QFileInfo(path).isRelative() ? QDir::cleanPath(base.absoluteFilePath(path)) : path);
    }
    return result;
}
