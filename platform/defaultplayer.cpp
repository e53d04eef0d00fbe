#include "defaultplayer.h"

#include "logging.h"
#include "programlauncher.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace {
constexpr int queryTimeoutMs = 3000;
// Our own entry (Kelvora writes it): the player would take an http address
// for a torrent's, and it is not "another" player anyway.
const char *const ownDesktopId = "morvane.desktop";

// Splits an Exec value into arguments: double quotes group, and inside them
// a backslash takes the next character literally.
bool splitExec(const QString &value, QStringList *arguments)
{
    QString current;
    bool quoted = false;
    bool any = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < value.size())
                current += value.at(++i);
            else if (c == QLatin1Char('"'))
                quoted = false;
            else
                current += c;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
            any = true;
        } else if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            if (any || !current.isEmpty())
                arguments->append(current);
            current.clear();
            any = false;
        } else {
            current += c;
        }
    }
    if (quoted)
        return false;
    if (any || !current.isEmpty())
        arguments->append(current);
    return true;
}
}

QString DefaultPlayer::desktopIdFor(const QString &mimeType)
{
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), { QStringLiteral("query"), QStringLiteral("default"), mimeType });
    if (!query.waitForFinished(queryTimeoutMs) || query.exitCode() != 0) {
        query.kill();
        query.waitForFinished(queryTimeoutMs);
        return QString();
    }
    const QString id = QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed();
    return id.endsWith(QLatin1String(".desktop")) && !id.contains(QLatin1Char('/')) ? id : QString();
}

QString DefaultPlayer::execOf(const QString &desktopFile)
{
    QFile file(desktopFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    bool inEntry = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inEntry = line == QLatin1String("[Desktop Entry]");
        else if (inEntry && line.startsWith(QLatin1String("Exec")))
            if (const qsizetype equals = line.indexOf(QLatin1Char('='));
                equals > 0 && line.left(equals).trimmed() == QLatin1String("Exec"))
                return line.mid(equals + 1).trimmed();
    }
    return QString();
}

QStringList DefaultPlayer::command(const QString &execValue, const QString &url)
{
    // The string type's escapes come first, then the Exec quoting.
    QString value = execValue;
    value.replace(QLatin1String("\\\\"), QLatin1String("\\"));
    QStringList arguments;
    if (!splitExec(value, &arguments) || arguments.isEmpty())
        return {};
    QStringList command;
    bool placed = false;
    for (const QString &argument : std::as_const(arguments)) {
        static const QStringList urlCodes { QStringLiteral("%u"), QStringLiteral("%U"), QStringLiteral("%f"),
            QStringLiteral("%F") };
        if (urlCodes.contains(argument)) {
            if (!placed)
                command.append(url);
            placed = true;
            continue;
        }
        // Codes for the icon, the name and the file's own place, and ones
        // long deprecated: dropped.
        if (argument.size() == 2 && argument.startsWith(QLatin1Char('%')) && argument != QLatin1String("%%"))
            continue;
        QString expanded;
        for (qsizetype i = 0; i < argument.size(); ++i) {
            if (argument.at(i) == QLatin1Char('%') && i + 1 < argument.size()) {
                if (argument.at(++i) == QLatin1Char('%'))
                    expanded += QLatin1Char('%');
                continue;
            }
            expanded += argument.at(i);
        }
        command.append(expanded);
    }
    if (command.isEmpty())
        return {};
    if (!placed)
        command.append(url);
    return command;
}

bool DefaultPlayer::open(const QString &mimeType, const QString &url)
{
    const QString id = desktopIdFor(mimeType);
    if (id.isEmpty() || id == QLatin1String(ownDesktopId))
        return false;
    const QString file = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, id);
    const QStringList command = DefaultPlayer::command(execOf(file), url);
    if (command.isEmpty()) {
        qCWarning(lcPlatform).noquote() << "no usable Exec line in" << id;
        return false;
    }
    qCInfo(lcPlatform).noquote() << "opening" << url << "with" << id;
    return ProgramLauncher::startDetached(command.first(), command.mid(1));
}
