#pragma once

#include <QString>
#include <QStringList>

// The desktop's default application for a kind of media (freedesktop: the
// desktop entry xdg-mime names), started with an address instead of a file.
class DefaultPlayer
{
public:
    // The desktop entry id the desktop opens mimeType with; empty when none.
    static QString desktopIdFor(const QString &mimeType);
    // The Exec value of a desktop file's [Desktop Entry] group, as written.
    static QString execOf(const QString &desktopFile);
    // The program and arguments that open url with an Exec value: its field
    // codes expanded (the url for %u %U %f %F, appended when it has none);
    // empty when the value cannot be used.
    static QStringList command(const QString &execValue, const QString &url);
    // Starts the default application for mimeType with url. False when
    // there is none, it is this player, or it did not start: the caller has
    // another way.
    static bool open(const QString &mimeType, const QString &url);
};
