#pragma once

#include <QList>
#include <QPair>
#include <QSignalSpy>
#include <QStringList>

// What a QSignalSpy on a sessionRequest(type, arguments) signal recorded.
using Requests = QList<QPair<int, QStringList>>;

inline Requests requestsIn(const QSignalSpy &spy)
{
    Requests requests;
    for (const QList<QVariant> &call : spy)
        requests.append({ call.at(0).toInt(), call.at(1).toStringList() });
    return requests;
}

// The arguments of every request of one type, in order.
inline QList<QStringList> requestsOf(const QSignalSpy &spy, int type)
{
    QList<QStringList> found;
    for (const QList<QVariant> &call : spy) {
        if (call.at(0).toInt() == type)
            found << call.at(1).toStringList();
    }
    return found;
}
