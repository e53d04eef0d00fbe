#include "desktopentry.h"

#include <QFile>

#include <algorithm>

namespace {

bool isReserved(QChar c)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    return reserved.contains(c);
}

// The string type's escapes, as a reader undoes them.
QString unescapeString(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case 's':
            out += QLatin1Char(' ');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        case '\\':
            out += QLatin1Char('\\');
            break;
        default:
            out += c;
            out += next;
            break;
        }
    }
    return out;
}

} // namespace

QString DesktopEntry::execArgument(const QString &argument)
{
    QString arg = argument;
    if (std::any_of(arg.cbegin(), arg.cend(), isReserved)) {
        QString quoted;
        for (const QChar c : std::as_const(arg)) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$')
                || c == QLatin1Char('\\'))
                quoted += QLatin1Char('\\');
            quoted += c;
        }
        arg = QLatin1Char('"') + quoted + QLatin1Char('"');
    }
    arg.replace(QLatin1Char('%'), QStringLiteral("%%"));

    QString escaped;
    for (const QChar c : std::as_const(arg)) {
        switch (c.unicode()) {
        case '\\':
            escaped += QStringLiteral("\\\\");
            break;
        case '\n':
            escaped += QStringLiteral("\\n");
            break;
        case '\t':
            escaped += QStringLiteral("\\t");
            break;
        case '\r':
            escaped += QStringLiteral("\\r");
            break;
        default:
            escaped += c;
            break;
        }
    }
    return escaped;
}

QString DesktopEntry::execProgram(const QString &execValue)
{
    const QString exec = unescapeString(execValue);
    qsizetype i = 0;
    while (i < exec.size() && (exec.at(i) == QLatin1Char(' ') || exec.at(i) == QLatin1Char('\t')))
        ++i;
    QString program;
    if (i < exec.size() && exec.at(i) == QLatin1Char('"')) {
        for (++i; i < exec.size() && exec.at(i) != QLatin1Char('"'); ++i) {
            if (exec.at(i) == QLatin1Char('\\') && i + 1 < exec.size())
                ++i;
            program += exec.at(i);
        }
        if (i >= exec.size())
            return QString(); // unterminated quote: no valid command
    } else {
        for (; i < exec.size() && exec.at(i) != QLatin1Char(' ') && exec.at(i) != QLatin1Char('\t'); ++i)
            program += exec.at(i);
    }
    program.replace(QStringLiteral("%%"), QStringLiteral("%"));
    return program;
}

QString DesktopEntry::programOf(const QString &desktopFile)
{
    QFile file(desktopFile);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    bool inEntry = false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.startsWith('[')) {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry)
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals > 0 && line.left(equals).trimmed() == "Exec")
            return execProgram(QString::fromUtf8(line.mid(equals + 1)).trimmed());
    }
    return QString();
}

QByteArray DesktopEntry::render(const QString &programPath, const QStringList &mimeTypes)
{
    QString text = QStringLiteral("[Desktop Entry]\n"
                                  "Type=Application\n"
                                  "Name=Morvane\n"
                                  "GenericName=Torrent Video Player\n"
                                  "GenericName[zh_CN]=种子视频播放器\n"
                                  "Comment=Play videos from BitTorrent while they download\n"
                                  "Comment[zh_CN]=边下载边播放 BitTorrent 视频\n");
    // One link or file per start, as the player takes a single parameter.
    text += QStringLiteral("Exec=") + execArgument(programPath) + QStringLiteral(" %u\n");
    text += QStringLiteral("Icon=morvane\n"
                           "Terminal=false\n"
                           "Categories=AudioVideo;Video;Player;Network;P2P;\n");
    if (!mimeTypes.isEmpty())
        text += QStringLiteral("MimeType=") + mimeTypes.join(QLatin1Char(';')) + QStringLiteral(";\n");
    return text.toUtf8();
}
