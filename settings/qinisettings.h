#pragma once

#include <QSettings>

// QSettings that treats an absent value as "use the caller's default" and, on
// the native (registry) format, writes keys with "\" separators.
class QIniSettings : public QSettings
{
    Q_OBJECT

public:
    QIniSettings(const QString &fileName, Format format, QObject *parent = nullptr);

    QVariant value(const QString &key, const QVariant &defaultValue = QVariant()) const;
    void setValue(const QString &key, const QVariant &value);
};
