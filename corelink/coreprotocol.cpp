#include "corelink/coreprotocol.h"

#include <QDataStream>
#include <QIODevice>

namespace CoreProtocol {

bool replyHasRows(qint32 type)
{
    switch (type) {
    case AddedTorrents:
    case AddedMagnets:
    case StartupTorrents:
    case StatusList:
    case MagnetDescriptions:
    case AddedUrls:
        return true;
    default:
        return false;
    }
}

QByteArray encodeRequest(qint32 type, const QStringList &arguments)
{
    QByteArray frame;
    QDataStream out(&frame, QIODevice::WriteOnly);
    out.setVersion(StreamVersion);
    out << type << arguments;
    return frame;
}

QByteArray encodeReply(qint32 type, const QList<QStringList> &rows)
{
    QByteArray frame;
    QDataStream out(&frame, QIODevice::WriteOnly);
    out.setVersion(StreamVersion);
    out << type;
    if (replyHasRows(type))
        out << rows;
    return frame;
}

} // namespace CoreProtocol
