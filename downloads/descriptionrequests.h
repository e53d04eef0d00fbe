#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

// Which downloads without metadata to ask the core about now. A download is
// asked about at once, then again after waits that double up to a ceiling,
// for as long as it stays without a description; one that is no longer
// listed (described or gone) starts afresh.
class DescriptionRequests
{
public:
    static constexpr qint64 firstWaitMs = 1000;
    static constexpr qint64 longestWaitMs = 32000;

    DescriptionRequests();
    // Tests replace the clock (milliseconds, only differences count).
    void setClock(std::function<qint64()> now) { m_now = std::move(now); }

    // wanted: every download that lacks a description in this status list.
    QStringList due(const QStringList &wanted);

private:
    struct Asked
    {
        qint64 next = 0;
        qint64 wait = firstWaitMs;
    };
    std::function<qint64()> m_now;
    QHash<QString, Asked> m_asked;
};
