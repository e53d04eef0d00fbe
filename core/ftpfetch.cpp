#include "ftpfetch.h"

#include <QRegularExpression>
#include <QTcpSocket>

FtpFetch::FtpFetch(const QUrl &url, qint64 maxBytes, int timeoutMs, QObject *parent)
    : QObject(parent)
    , m_url(url)
    , m_maxBytes(maxBytes)
    , m_control(new QTcpSocket(this))
{
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(timeoutMs);
    connect(&m_timeout, &QTimer::timeout, this, [this] { fail(QStringLiteral("FTP transfer timed out")); });
    connect(m_control, &QTcpSocket::readyRead, this, &FtpFetch::readControl);
    connect(m_control, &QTcpSocket::errorOccurred, this, [this] {
        if (m_step != Step::Done)
            fail(m_control->errorString());
    });
}

void FtpFetch::start()
{
    m_timeout.start();
    m_control->connectToHost(m_url.host(), quint16(m_url.port(21)));
}

void FtpFetch::readControl()
{
    m_lineBuffer += m_control->readAll();
    if (m_lineBuffer.size() > 64 * 1024) {
        fail(QStringLiteral("FTP server talks too much"));
        return;
    }
    qsizetype end;
    while (m_step != Step::Done && (end = m_lineBuffer.indexOf('\n')) >= 0) {
        const QString line = QString::fromLatin1(m_lineBuffer.left(end)).trimmed();
        m_lineBuffer.remove(0, end + 1);
        // "123-" continues a reply; "123 " (or a bare code) ends it.
        static const QRegularExpression final(QStringLiteral("^(\\d{3})(?: (.*))?$"));
        const QRegularExpressionMatch match = final.match(line);
        if (match.hasMatch())
            reply(match.captured(1).toInt(), match.captured(2));
    }
}

void FtpFetch::command(const QByteArray &line, Step next)
{
    m_step = next;
    m_control->write(line + "\r\n");
}

void FtpFetch::reply(int code, const QString &text)
{
    switch (m_step) {
    case Step::Greeting:
        if (code != 220)
            return fail(QStringLiteral("FTP greeting %1 %2").arg(code).arg(text));
        command("USER " + (m_url.userName().isEmpty() ? QByteArray("anonymous") : m_url.userName().toUtf8()),
            Step::User);
        break;
    case Step::User:
        if (code == 230)
            command("TYPE I", Step::Type);
        else if (code == 331)
            command(
                "PASS " + (m_url.password().isEmpty() ? QByteArray("anonymous@") : m_url.password().toUtf8()),
                Step::Password);
        else
            fail(QStringLiteral("FTP login refused: %1 %2").arg(code).arg(text));
        break;
    case Step::Password:
        if (code != 230 && code != 202)
            return fail(QStringLiteral("FTP login refused: %1 %2").arg(code).arg(text));
        command("TYPE I", Step::Type);
        break;
    case Step::Type:
        if (code != 200)
            return fail(QStringLiteral("FTP binary mode refused: %1 %2").arg(code).arg(text));
        command("PASV", Step::Passive);
        break;
    case Step::Passive:
        if (code != 227)
            return fail(QStringLiteral("FTP passive mode refused: %1 %2").arg(code).arg(text));
        openData(text);
        break;
    case Step::Retrieve:
        if (code == 150 || code == 125) {
            m_step = Step::Transfer;
        } else if (code == 226 || code == 250) {
            m_transferConfirmed = true;
            m_step = Step::Transfer;
            finishIfComplete();
        } else {
            fail(QStringLiteral("FTP retrieve failed: %1 %2").arg(code).arg(text));
        }
        break;
    case Step::Transfer:
        if (code == 226 || code == 250) {
            m_transferConfirmed = true;
            finishIfComplete();
        } else if (code >= 400) {
            fail(QStringLiteral("FTP transfer failed: %1 %2").arg(code).arg(text));
        }
        break;
    case Step::Done:
        break;
    }
}

void FtpFetch::openData(const QString &text)
{
    static const QRegularExpression numbers(QStringLiteral("(\\d+),(\\d+),(\\d+),(\\d+),(\\d+),(\\d+)"));
    const QRegularExpressionMatch match = numbers.match(text);
    const int port = match.hasMatch() ? match.captured(5).toInt() * 256 + match.captured(6).toInt() : 0;
    if (port <= 0 || port > 65535)
        return fail(QStringLiteral("FTP passive reply without a port: ") + text);
    m_data = new QTcpSocket(this);
    connect(m_data, &QTcpSocket::readyRead, this, &FtpFetch::readData);
    connect(m_data, &QTcpSocket::disconnected, this, [this] {
        readData();
        m_dataClosed = true;
        finishIfComplete();
    });
    connect(m_data, &QTcpSocket::connected, this, [this] {
        QString path = m_url.path(QUrl::FullyEncoded);
        path = QUrl::fromPercentEncoding(path.toLatin1());
        command("RETR " + path.toUtf8(), Step::Retrieve);
    });
    connect(m_data, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::RemoteHostClosedError && m_step != Step::Done)
            fail(m_data->errorString());
    });
    m_data->connectToHost(m_control->peerAddress(), quint16(port));
}

void FtpFetch::readData()
{
    if (!m_data || m_step == Step::Done)
        return;
    m_received += m_data->readAll();
    if (m_received.size() > m_maxBytes)
        fail(QStringLiteral("file too large for a torrent"));
}

void FtpFetch::finishIfComplete()
{
    if (m_step == Step::Done || !m_dataClosed || !m_transferConfirmed)
        return;
    m_step = Step::Done;
    m_timeout.stop();
    m_control->write("QUIT\r\n");
    m_control->disconnectFromHost();
    emit finished(m_received, QString());
}

void FtpFetch::fail(const QString &error)
{
    if (m_step == Step::Done)
        return;
    m_step = Step::Done;
    m_timeout.stop();
    if (m_data)
        m_data->abort();
    m_control->abort();
    emit finished(QByteArray(), error);
}
