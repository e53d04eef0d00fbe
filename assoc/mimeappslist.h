#pragma once

#include <QByteArrayList>
#include <QString>
#include <QStringList>

// The user's mimeapps.list, edited in place: only the lines of the types we
// set change; every other line, section and byte stays as it was, even when
// it is malformed or not UTF-8.
class MimeAppsList
{
public:
    explicit MimeAppsList(QString path);

    // The desktop entries listed as default for a MIME type, in order.
    QStringList defaults(const QString &mimeType) const;
    // Sets the default entries of a type; an empty list removes its line.
    void setDefaults(const QString &mimeType, const QStringList &desktopIds);

    // False when the file could not be read: then it is never written.
    bool isReadable() const { return m_readable; }
    // Writes the file atomically when something changed. Refuses a file that
    // could not be read or that its owner made read-only.
    bool save();

private:
    // Index range [begin, end) of the section's lines after its header; -1 when absent.
    qsizetype sectionStart() const;
    qsizetype sectionEnd(qsizetype start) const;
    static QByteArray keyOf(const QByteArray &line);

    QString m_path;
    QByteArrayList m_lines;
    bool m_readable = true;
    bool m_changed = false;
    bool m_endsWithNewline = true;
};
