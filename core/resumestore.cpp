#include "resumestore.h"

#include "platform/logging.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace {
const QString suffix = QStringLiteral(".resume");
const QString runningMark = QStringLiteral("running");
}

ResumeStore::ResumeStore(const QString &folder)
    : m_folder(folder)
{
    QDir().mkpath(m_folder);
}

QString ResumeStore::filePath(const QString &hash) const
{
    return QDir(m_folder).filePath(hash + suffix);
}

bool ResumeStore::save(const QString &hash, const QByteArray &data) const
{
    QSaveFile file(filePath(hash));
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        qCWarning(lcCore).noquote() << "could not write resume data for" << hash << ":" << file.errorString();
        return false;
    }
    return true;
}

void ResumeStore::remove(const QString &hash) const
{
    QFile::remove(filePath(hash));
}

QList<ResumeStore::Entry> ResumeStore::loadAll() const
{
    QList<Entry> result;
    const QDir dir(m_folder);
    const QStringList names = dir.entryList({ QStringLiteral("*") + suffix }, QDir::Files, QDir::Name);
    for (const QString &name : names) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            qCWarning(lcCore).noquote() << "could not read" << file.fileName();
            continue;
        }
        result.append({ name.chopped(suffix.size()).toLower(), file.readAll() });
    }
    return result;
}

bool ResumeStore::setMayBeStale(bool stale) const
{
    QFile mark(QDir(m_folder).filePath(runningMark));
    const bool was = mark.exists();
    if (!stale)
        mark.remove();
    else if (!was && !mark.open(QIODevice::WriteOnly))
        qCWarning(lcCore).noquote() << "cannot write" << mark.fileName() << mark.errorString();
    return was;
}
