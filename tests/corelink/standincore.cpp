// Stands in for MorvaneCore in process-control tests: appends its arguments
// as one line to "launches.log" beside itself, then waits to be killed (and
// gives up on its own after two minutes so that nothing is left behind).
// With MORVANE_STANDIN_LISTENS set it also listens on its channel and appends
// each request as "channel<TAB>type<TAB>arguments..." to "requests.log",
// answering the start-up list with an empty one.
#include "protocol/coreprotocol.h"
#include "protocol/requestreader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>

#include <memory>
#include <unistd.h>

namespace {

void appendLine(const QString &file, const QString &line)
{
    QFile log(QDir(QCoreApplication::applicationDirPath()).filePath(file));
    if (log.open(QIODevice::Append))
        log.write((line + QLatin1Char('\n')).toUtf8());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    appendLine(QStringLiteral("launches.log"), arguments.join(QLatin1Char('\t')));
    alarm(120);
    if (!qEnvironmentVariableIsSet("MORVANE_STANDIN_LISTENS") || arguments.isEmpty())
        return app.exec();

    const QString channel = arguments.first();
    QLocalServer server;
    QLocalServer::removeServer(CoreProtocol::socketName(channel));
    if (!server.listen(CoreProtocol::socketName(channel)))
        return 1;
    QObject::connect(&server, &QLocalServer::newConnection, &server, [&server, channel] {
        QLocalSocket *client = server.nextPendingConnection();
        auto reader = std::make_shared<RequestReader>();
        QObject::connect(client, &QLocalSocket::readyRead, client, [client, reader, channel] {
            reader->append(client->readAll());
            CoreRequest request;
            while (reader->next(request) == FrameReader::FrameReady) {
                QStringList fields { channel, QString::number(request.type) };
                fields += request.arguments;
                appendLine(QStringLiteral("requests.log"), fields.join(QLatin1Char('\t')));
                // An empty list, as a core without downloads answers.
                if (request.type == CoreProtocol::StartupList)
                    client->write(CoreProtocol::encodeReply(CoreProtocol::StartupTorrents, {}));
            }
        });
    });
    return app.exec();
}
