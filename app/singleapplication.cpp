#include "singleapplication.h"

#include "platform/logging.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

namespace {
constexpr char ack = '\x06';

QString userName()
{
    QString name = qEnvironmentVariable("USER");
    if (name.isEmpty())
        name = qEnvironmentVariable("USERNAME");
    return name + QLatin1Char('@') + QDir::homePath();
}

QString lockFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder;
}
}

SingleApplication::SingleApplication(int &argc, char **argv)
    : QApplication(argc, argv)
    , m_key(instanceKey(applicationFilePath()))
{
    m_lock = std::make_unique<QLockFile>(lockFolder() + QLatin1Char('/') + m_key + QStringLiteral(".lock"));
    // Only a dead owner makes the lock stale: a long-running first instance
    // must never look stale because of its age.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) {
        serve();
    } else {
        m_running = true;
    }
}

SingleApplication::~SingleApplication()
{
    if (m_server)
        m_server->close();
}

bool SingleApplication::isRunning() const
{
    return m_running;
}

QString SingleApplication::instanceKey(const QString &programPath)
{
    const QByteArray identity = (QDir::cleanPath(programPath) + QLatin1Char('\n') + userName()).toUtf8();
    return QStringLiteral("morvane-")
        + QString::fromLatin1(QCryptographicHash::hash(identity, QCryptographicHash::Sha1).toHex().left(16));
}

QString SingleApplication::instanceMessage(const QStringList &arguments)
{
    QString message;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments.at(i).startsWith(QStringLiteral("--")))
            continue;
        message += arguments.at(i);
        if (i != arguments.size() - 1)
            message += QLatin1Char('|');
    }
    return message;
}

void SingleApplication::serve()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A crashed owner leaves its socket file behind; we hold the lock, so it is ours.
    QLocalServer::removeServer(m_key);
    if (!m_server->listen(m_key)) {
        qCWarning(lcApp).noquote() << "single instance: cannot listen on" << m_key << m_server->errorString();
        return;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readMessage(socket); });
            readMessage(socket);
        }
    });
}

void SingleApplication::readMessage(QLocalSocket *socket)
{
    QDataStream in(socket);
    in.startTransaction();
    QString message;
    in >> message;
    if (!in.commitTransaction())
        return;
    socket->write(&ack, 1);
    socket->flush();
    qCDebug(lcApp).noquote() << "message from a second start:" << message;
    emit messageReceived(message);
}

bool SingleApplication::sendMessage(const QString &message, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    // The first instance may still be starting: retry until the deadline.
    for (;;) {
        socket.connectToServer(m_key);
        if (socket.waitForConnected(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
        if (deadline.hasExpired())
            return false;
    }
    QByteArray frame;
    QDataStream out(&frame, QIODevice::WriteOnly);
    out << message;
    socket.write(frame);
    if (!socket.waitForBytesWritten(int(qMax<qint64>(1, deadline.remainingTime()))))
        return false;
    while (socket.bytesAvailable() < 1) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            return false;
    }
    return socket.read(1).at(0) == ack;
}
