#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

// When a download's resume data is saved while pieces come: at its first
// piece at once, then at most every few seconds while it makes progress.
// A core killed mid-download loses no more than those seconds.
class SaveSchedule : public QObject
{
    Q_OBJECT

public:
    explicit SaveSchedule(QObject *parent = nullptr);

    void setInterval(int milliseconds);
    void pieceWritten(const QString &key);
    void forget(const QString &key);

signals:
    void due(const QString &key);

private:
    void saveWaiting();

    int m_interval;
    QElapsedTimer m_clock;
    QHash<QString, qint64> m_savedAt;
    QSet<QString> m_waiting;
    QTimer m_tick;
};
