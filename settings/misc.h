#pragma once

#include <QObject>
#include <QString>

// Stateless helpers: where the program keeps its per-user data, the default
// download folder, and the conversions of foreign links into magnet URIs.
// A QObject only for its translation context; never instantiated.
class misc : public QObject
{
    Q_OBJECT

public:
    misc() = delete;

    // Per-user data folder named after the application, always ending with a
    // separator.
    static QString dataLocation();
    // dataLocation() + "BT_backup", cleaned; created with its parents.
    static QString backupLocation();
    // The same for a program named applicationName (empty: none).
    static QString dataLocation(const QString &applicationName);
    static QString backupLocation(const QString &applicationName);
    // The player's application name, which names its data folder.
    static QString playerApplicationName() { return QStringLiteral("Morvane"); }
    // Documents + "/" + the translated word "Downloads"; not created here.
    static QString defaultSavePath();

    static bool isUrl(const QString &text);
    static QString magnetFromBcLink(QString link);
    static QString magnetFromPipeLink(QString link);
};
