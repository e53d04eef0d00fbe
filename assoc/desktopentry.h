#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The player's desktop entry and the rules for its Exec line.
class DesktopEntry
{
public:
    // One argument as it stands in an Exec value in the file: quoted only
    // when it holds a reserved character, "%" doubled, backslashes and
    // control characters escaped for the string type.
    static QString execArgument(const QString &argument);
    // The program an Exec value (as read from the file) starts.
    static QString execProgram(const QString &execValue);
    // The program the file's [Desktop Entry] Exec starts; empty when the file
    // is missing or has none.
    static QString programOf(const QString &desktopFile);

    // The whole entry for the player at programPath, offering mimeTypes.
    static QByteArray render(const QString &programPath, const QStringList &mimeTypes);
};
