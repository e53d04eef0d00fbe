#include "descriptionrequests.h"

#include <QDeadlineTimer>

DescriptionRequests::DescriptionRequests()
    : m_now([] { return QDeadlineTimer::current().deadline(); })
{ }

QStringList DescriptionRequests::due(const QStringList &wanted)
{
    const qint64 now = m_now();
    QHash<QString, Asked> asked;
    QStringList ask;
    for (const QString &hash : wanted) {
        if (asked.contains(hash))
            continue;
        auto it = m_asked.constFind(hash);
        Asked entry = it == m_asked.cend() ? Asked { now, firstWaitMs } : *it;
        if (now >= entry.next) {
            ask << hash;
            entry.next = now + entry.wait;
            entry.wait = qMin(entry.wait * 2, longestWaitMs);
        }
        asked.insert(hash, entry);
    }
    m_asked.swap(asked);
    return ask;
}
