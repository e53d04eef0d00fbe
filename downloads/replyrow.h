#pragma once

#include <QString>
#include <QStringList>

// Named fields over one row of the core's replies. A view: it reads the row
// it was given and must not outlive it. Numbers that are not numbers read
// as 0.
//
//   magnet row:       hash
//   description row:  hash, name, size, save directory, finished, then the
//                     one file's path (6 fields) or name, size, directory,
//                     path per file (5 + 4k fields)
//   status row:       hash, download rate, upload rate, progress, seeds,
//                     peers, state, finished, piece string, piece count,
//                     piece length, uploaded, then progress, finished, first
//                     piece, last piece per file (12 + 4k fields)
class ReplyRow
{
public:
    explicit ReplyRow(const QStringList &row)
        : m_row(row)
    { }

    bool isMagnet() const { return m_row.size() == 1; }
    // 6 is not of the form 5 + 4k, so the two forms cannot be confused.
    bool isSingleFile() const { return m_row.size() == 6; }
    bool isMultiFile() const { return m_row.size() >= 5 && (m_row.size() - 5) % 4 == 0; }
    bool isDescription() const { return isSingleFile() || isMultiFile(); }
    bool isStatus() const { return m_row.size() >= 12 && (m_row.size() - 12) % 4 == 0; }

    const QString &hash() const { return m_row.at(0); }

    // Description rows.
    const QString &name() const { return m_row.at(1); }
    double size() const { return m_row.at(2).toDouble(); }
    const QString &saveDirectory() const { return m_row.at(3); }
    const QString &finished() const { return m_row.at(4); }
    const QString &singleFilePath() const { return m_row.at(5); }
    int fileCount() const { return isMultiFile() ? int(m_row.size() - 5) / 4 : 0; }
    const QString &fileName(int i) const { return m_row.at(5 + 4 * i); }
    double fileSize(int i) const { return m_row.at(6 + 4 * i).toDouble(); }
    const QString &fileDirectory(int i) const { return m_row.at(7 + 4 * i); }
    const QString &filePath(int i) const { return m_row.at(8 + 4 * i); }

    // Status rows.
    double downloadRate() const { return number(m_row.at(1)); }
    double uploadRate() const { return number(m_row.at(2)); }
    const QString &progress() const { return m_row.at(3); }
    const QString &seeds() const { return m_row.at(4); }
    const QString &peers() const { return m_row.at(5); }
    int state() const { return integer(m_row.at(6)); }
    const QString &statusFinished() const { return m_row.at(7); }
    const QString &bitField() const { return m_row.at(8); }
    int pieceCount() const { return integer(m_row.at(9)); }
    int pieceLength() const { return integer(m_row.at(10)); }
    double uploaded() const { return number(m_row.at(11)); }
    int fileStatusCount() const { return isStatus() ? int(m_row.size() - 12) / 4 : 0; }
    const QString &fileProgress(int i) const { return m_row.at(12 + 4 * i); }
    const QString &fileFinished(int i) const { return m_row.at(13 + 4 * i); }
    int fileFirstPiece(int i) const { return integer(m_row.at(14 + 4 * i)); }
    int fileLastPiece(int i) const { return integer(m_row.at(15 + 4 * i)); }

    static double number(const QString &text);
    static int integer(const QString &text);

private:
    const QStringList &m_row;
};
