#include "protocol/coreprotocol.h"

#include <QDataStream>
#include <QIODevice>
#include <QStandardPaths>

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
    case AddFailed:
    case PieceFinished:
    case StreamAddress:
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

QString CoreProtocol::socketName(const QString &channel)
{
#ifdef Q_OS_WIN
    return channel;
#else
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty())
        return channel;
    return runtime + QLatin1Char('/') + channel;
#endif
}
