#include "misc.h"

#include "platform/systemfolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QUrl>

namespace {
const QString magnetPrefix = QStringLiteral("magnet:?xt=urn:btih:");
}

QString misc::dataLocation()
{
    return dataLocation(QCoreApplication::applicationName());
}

QString misc::backupLocation()
{
    return backupLocation(QCoreApplication::applicationName());
}

QString misc::dataLocation(const QString &appName)
{
    const QString separator = QDir::separator();
    QString location = SystemFolders::localAppData();
    if (!appName.isEmpty())
        location += separator + appName;
    if (!location.endsWith(separator))
        location += separator;
    return location;
}

QString misc::backupLocation(const QString &applicationName)
{
    const QString location
        = QDir::cleanPath(dataLocation(applicationName) + QDir::separator() + QStringLiteral("BT_backup"));
    QDir dir(location);
    if (!dir.exists())
        dir.mkpath(QStringLiteral("."));
    return location;
}

QString misc::defaultSavePath()
{
    return QDir(SystemFolders::documents()).absoluteFilePath(tr("Downloads"));
}

bool misc::isUrl(const QString &text)
{
    static const QRegularExpression web(QRegularExpression::anchoredPattern(QStringLiteral("http[s]?|ftp")),
        QRegularExpression::CaseInsensitiveOption);
    return web.match(QUrl(text, QUrl::TolerantMode).scheme()).hasMatch();
}

QString misc::magnetFromBcLink(QString link)
{
    const QByteArray encoded = link.toUtf8().mid(8);
    const QString decoded = QString::fromLatin1(QByteArray::fromBase64(encoded));
    const QStringList fields = decoded.split(QLatin1Char('/'));
    if (fields.size() != 5)
        return QString();
    return magnetPrefix + fields.at(3) + QStringLiteral("&dn=") + fields.at(1);
}

QString misc::magnetFromPipeLink(QString link)
{
    // One character per UTF-8 byte: the form the links were always sent in.
    const QString bytes = QString::fromLatin1(link.toUtf8());
    const QStringList fields = bytes.split(QLatin1Char('|'));
    if (fields.size() < 3)
        return QString();
    QString magnet = magnetPrefix + fields.at(1) + QStringLiteral("&dn=") + fields.at(2);
    if (fields.size() >= 4)
        magnet += QStringLiteral("&tr=") + fields.at(3);
    if (fields.size() >= 5)
        magnet += QStringLiteral("&tr=") + fields.at(4);
    return magnet;
}
