#include "desktopassociations.h"

#include "assoc/desktopentry.h"
#include "assoc/mimeappslist.h"
#include "platform/logging.h"
#include "platform/systemfolders.h"

#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QProcess>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>

namespace {

bool isMediaType(const QString &name)
{
    // Containers the desktop files under application/ although they hold video.
    static const QStringList containers = {
        QStringLiteral("application/ogg"),
        QStringLiteral("application/mxf"),
        QStringLiteral("application/gxf"),
        QStringLiteral("application/vnd.ms-asf"),
        QStringLiteral("application/vnd.rn-realmedia"),
        QStringLiteral("application/vnd.rn-realmedia-vbr"),
        QStringLiteral("application/x-matroska"),
    };
    return name.startsWith(QLatin1String("video/")) || name.startsWith(QLatin1String("audio/"))
        || containers.contains(name);
}

// QSettings would read "/" in a key as a group.
QString previousKey(const QString &mimeType)
{
    return QStringLiteral("PreviousDefaults/")
        + QString(mimeType).replace(QLatin1Char('/'), QLatin1Char('|'));
}

void refreshDesktopDatabase(const QString &applications)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
    if (tool.isEmpty())
        return;
    QProcess process;
    process.start(tool, { applications });
    if (!process.waitForFinished(10000)) {
        qCWarning(lcAssoc, "update-desktop-database did not finish");
        process.kill();
        process.waitForFinished(1000);
    }
}

} // namespace

DesktopAssociations::Folders DesktopAssociations::Folders::forThisUser()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return { data + QStringLiteral("/applications"), config + QStringLiteral("/mimeapps.list"),
        SystemFolders::localAppData() + QStringLiteral("/Morvane/mimeapps-previous.ini") };
}

DesktopAssociations::DesktopAssociations(const QString &programFolder)
    : DesktopAssociations(programFolder, Folders::forThisUser())
{ }

DesktopAssociations::DesktopAssociations(const QString &programFolder, Folders folders)
    : m_programFolder(programFolder)
    , m_folders(std::move(folders))
{ }

QString DesktopAssociations::mimeTypeFor(const QString &ext)
{
    QMimeDatabase db;
    const QString name = QStringLiteral("file") + ext;
    const QMimeType primary = db.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    if (isMediaType(primary.name()))
        return primary.name();
    // ".ts" is first a translation source, but a video type claims it too.
    const QList<QMimeType> candidates = db.mimeTypesForFileName(name);
    for (const QMimeType &type : candidates) {
        if (isMediaType(type.name()))
            return type.name();
    }
    return QString();
}

QString DesktopAssociations::programPath() const
{
    return m_programFolder + QStringLiteral("/Morvane");
}

QString DesktopAssociations::desktopFile() const
{
    return m_folders.applications + QLatin1Char('/') + desktopId();
}

bool DesktopAssociations::typeBound(
    const QString &mimeType, const QString &programPath, const Folders &folders)
{
    const MimeAppsList list(folders.mimeApps);
    if (list.defaults(mimeType).value(0) != desktopId())
        return false;
    const QString program = DesktopEntry::programOf(folders.applications + QLatin1Char('/') + desktopId());
    return !program.isEmpty() && program == programPath;
}

bool DesktopAssociations::isUriHandlerRegistered(const QString &programPath, const Folders &folders)
{
    return typeBound(schemeType(), programPath, folders);
}

bool DesktopAssociations::updateEntry(const QString &extra)
{
    const MimeAppsList list(m_folders.mimeApps);
    QStringList types = { torrentType(), magnetType(), schemeType() };
    const QStringList extensions = bindableExtensions();
    for (const QString &ext : extensions) {
        const QString type = mimeTypeFor(ext);
        if (!types.contains(type))
            types.append(type);
    }
    QStringList offered;
    for (const QString &type : std::as_const(types)) {
        if (type == extra || list.defaults(type).value(0) == desktopId())
            offered.append(type);
    }

    const QString path = desktopFile();
    if (offered.isEmpty()) {
        if (QFile::exists(path) && !QFile::remove(path)) {
            qCWarning(lcAssoc).noquote() << "cannot remove" << path;
            return false;
        }
        refreshDesktopDatabase(m_folders.applications);
        return true;
    }

    const QByteArray content = DesktopEntry::render(programPath(), offered);
    QFile current(path);
    if (current.open(QIODevice::ReadOnly) && current.readAll() == content)
        return true;
    current.close();
    QDir().mkpath(m_folders.applications);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit()) {
        qCWarning(lcAssoc).noquote() << "cannot write" << path << file.errorString();
        return false;
    }
    refreshDesktopDatabase(m_folders.applications);
    return true;
}

void DesktopAssociations::bind(const QString &mimeType)
{
    MimeAppsList list(m_folders.mimeApps);
    if (!list.isReadable())
        return;
    // The entry comes first, so the default never names an entry that is not there.
    if (!updateEntry(mimeType))
        return;
    const QStringList current = list.defaults(mimeType);
    QSettings previous(m_folders.previous, QSettings::IniFormat);
    const QString key = previousKey(mimeType);
    const bool hadBackup = previous.contains(key);
    const QString oldBackup = previous.value(key).toString();
    if (current.value(0) != desktopId()) {
        previous.setValue(key, current.join(QLatin1Char(';')));
        previous.sync();
    }
    // The former defaults stay behind ours as fallbacks.
    QStringList wanted = current;
    wanted.removeAll(desktopId());
    wanted.prepend(desktopId());
    list.setDefaults(mimeType, wanted);
    if (!list.save()) {
        if (hadBackup)
            previous.setValue(key, oldBackup);
        else
            previous.remove(key);
        previous.sync();
        updateEntry();
    }
}

void DesktopAssociations::unbind(const QString &mimeType)
{
    MimeAppsList list(m_folders.mimeApps);
    const QStringList current = list.defaults(mimeType);
    if (!current.contains(desktopId()))
        return;
    QSettings previous(m_folders.previous, QSettings::IniFormat);
    const QString key = previousKey(mimeType);
    QStringList wanted = current;
    if (current.constFirst() == desktopId() && previous.contains(key))
        wanted = previous.value(key).toString().split(QLatin1Char(';'), Qt::SkipEmptyParts);
    wanted.removeAll(desktopId());
    list.setDefaults(mimeType, wanted);
    if (list.save()) {
        previous.remove(key);
        previous.sync();
        updateEntry();
    }
}

void DesktopAssociations::set(const QString &mimeType, bool on)
{
    if (on)
        bind(mimeType);
    else
        unbind(mimeType);
}

bool DesktopAssociations::torrentAssociated() const
{
    return typeBound(torrentType(), programPath(), m_folders);
}

void DesktopAssociations::setTorrentAssociation(bool on)
{
    set(torrentType(), on);
}

bool DesktopAssociations::magnetAssociated() const
{
    return typeBound(magnetType(), programPath(), m_folders);
}

void DesktopAssociations::setMagnetAssociation(bool on)
{
    set(magnetType(), on);
}

bool DesktopAssociations::schemeAssociated() const
{
    return typeBound(schemeType(), programPath(), m_folders);
}

void DesktopAssociations::setSchemeAssociation(bool on)
{
    set(schemeType(), on);
}

bool DesktopAssociations::extensionAssociated(const QString &ext) const
{
    const QString type = mimeTypeFor(ext);
    const bool bound = !type.isEmpty() && typeBound(type, programPath(), m_folders);
    if (!bound)
        qCDebug(lcAssoc).noquote() << ext << "needs no unbinding";
    return bound;
}

void DesktopAssociations::associateExtension(const QString &ext)
{
    const QString type = mimeTypeFor(ext);
    if (!type.isEmpty())
        bind(type);
}

void DesktopAssociations::restoreExtension(const QString &ext)
{
    const QString type = mimeTypeFor(ext);
    if (!type.isEmpty())
        unbind(type);
}

QStringList DesktopAssociations::bindableExtensions() const
{
    QStringList extensions;
    for (const QString &ext : videoExtensions()) {
        if (!mimeTypeFor(ext).isEmpty())
            extensions.append(ext);
    }
    return extensions;
}
