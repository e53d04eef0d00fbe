#include "qinisettings.h"

QIniSettings::QIniSettings(const QString &fileName, Format format, QObject *parent)
    : QSettings(fileName, format, parent)
{ }

QVariant QIniSettings::value(const QString &key, const QVariant &defaultValue) const
{
    const QVariant stored = QSettings::value(key);
    return stored.isNull() ? defaultValue : stored;
}

void QIniSettings::setValue(const QString &key, const QVariant &value)
{
    QString nativeKey = key;
    if (format() == QSettings::NativeFormat)
        nativeKey.replace(QLatin1Char('/'), QLatin1Char('\\'));
    QSettings::setValue(nativeKey, value);
}
