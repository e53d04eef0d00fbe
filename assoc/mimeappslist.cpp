#include "mimeappslist.h"

#include "platform/logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {
const QByteArray defaultsHeader = QByteArrayLiteral("[Default Applications]");
}

MimeAppsList::MimeAppsList(QString path)
    : m_path(std::move(path))
{
    QFile file(m_path);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcAssoc).noquote() << "cannot read" << m_path << file.errorString();
        m_readable = false;
        return;
    }
    const QByteArray content = file.readAll();
    if (!content.isEmpty()) {
        m_lines = content.split('\n');
        // split() leaves an empty last piece for a file that ends with a newline.
        if (content.endsWith('\n'))
            m_lines.removeLast();
        else
            m_endsWithNewline = false;
    }
}

QByteArray MimeAppsList::keyOf(const QByteArray &line)
{
    const qsizetype equals = line.indexOf('=');
    return equals < 0 ? QByteArray() : line.left(equals).trimmed();
}

qsizetype MimeAppsList::sectionStart() const
{
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (m_lines.at(i).trimmed() == defaultsHeader)
            return i + 1;
    }
    return -1;
}

qsizetype MimeAppsList::sectionEnd(qsizetype start) const
{
    qsizetype i = start;
    while (i < m_lines.size() && !m_lines.at(i).trimmed().startsWith('['))
        ++i;
    return i;
}

QStringList MimeAppsList::defaults(const QString &mimeType) const
{
    const qsizetype start = sectionStart();
    if (start < 0)
        return {};
    const QByteArray key = mimeType.toUtf8();
    const qsizetype end = sectionEnd(start);
    for (qsizetype i = start; i < end; ++i) {
        const QByteArray &line = m_lines.at(i);
        if (keyOf(line) != key)
            continue;
        const QString value = QString::fromUtf8(line.mid(line.indexOf('=') + 1)).trimmed();
        QStringList ids = value.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString &id : ids)
            id = id.trimmed();
        ids.removeAll(QString());
        return ids;
    }
    return {};
}

void MimeAppsList::setDefaults(const QString &mimeType, const QStringList &desktopIds)
{
    if (defaults(mimeType) == desktopIds)
        return;
    const QByteArray key = mimeType.toUtf8();
    const QByteArray line = key + '=' + desktopIds.join(QLatin1Char(';')).toUtf8() + ';';

    qsizetype start = sectionStart();
    if (start < 0) {
        if (desktopIds.isEmpty())
            return;
        if (!m_lines.isEmpty() && !m_lines.constLast().trimmed().isEmpty())
            m_lines.append(QByteArray());
        m_lines.append(defaultsHeader);
        start = m_lines.size();
        m_endsWithNewline = true;
    }
    qsizetype end = sectionEnd(start);
    qsizetype found = -1;
    for (qsizetype i = start; i < end;) {
        if (keyOf(m_lines.at(i)) != key) {
            ++i;
            continue;
        }
        if (found < 0) {
            found = i++;
        } else {
            // A second line for the same type would disagree with ours.
            m_lines.removeAt(i);
            --end;
        }
    }
    if (found >= 0) {
        if (desktopIds.isEmpty())
            m_lines.removeAt(found);
        else
            m_lines[found] = line;
    } else if (!desktopIds.isEmpty()) {
        // After the section's last line with content, before blank lines.
        qsizetype at = end;
        while (at > start && m_lines.at(at - 1).trimmed().isEmpty())
            --at;
        if (at == m_lines.size())
            m_endsWithNewline = true;
        m_lines.insert(at, line);
    }
    m_changed = true;
}

bool MimeAppsList::save()
{
    if (!m_changed)
        return true;
    if (!m_readable)
        return false;
    const QFileInfo info(m_path);
    if (info.exists() && !(info.permissions() & QFileDevice::WriteOwner)) {
        qCWarning(lcAssoc).noquote() << m_path << "is read-only, left as it is";
        return false;
    }
    QDir().mkpath(info.absolutePath());
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        qCWarning(lcAssoc).noquote() << "cannot write" << m_path << file.errorString();
        return false;
    }
    QByteArray content = m_lines.join('\n');
    if (!m_lines.isEmpty() && m_endsWithNewline)
        content += '\n';
    file.write(content);
    if (!file.commit()) {
        qCWarning(lcAssoc).noquote() << "cannot write" << m_path << file.errorString();
        return false;
    }
    m_changed = false;
    return true;
}
