// morvane-seed: shares a file or folder on 127.0.0.1 until its input closes.
#include "localseeder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>

#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Makes a torrent of a file or folder and seeds it on 127.0.0.1. Prints the .torrent path, "
        "the magnet link (with the seed as peer hint), the info-hash and the port, then seeds until "
        "its standard input closes or it is terminated. Prints \"sent: N\" each second the payload "
        "sent grew, and \"uploaded: N\" at the end."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("path"), QStringLiteral("File or folder to share."));
    const QCommandLineOption rate(QStringLiteral("rate"), QStringLiteral("Upload limit in bytes per second."),
        QStringLiteral("bytes"), QStringLiteral("0"));
    const QCommandLineOption port(QStringLiteral("port"),
        QStringLiteral("Listen port (default: any free one)."), QStringLiteral("port"), QStringLiteral("0"));
    const QCommandLineOption torrent(QStringLiteral("torrent"),
        QStringLiteral("Where to write the .torrent (default: path + .torrent)."), QStringLiteral("file"));
    const QCommandLineOption pieceSize(QStringLiteral("piece-size"), QStringLiteral("Piece size in bytes."),
        QStringLiteral("bytes"), QStringLiteral("0"));
    const QCommandLineOption v1(
        QStringLiteral("v1"), QStringLiteral("Make a v1-only torrent (default: hybrid)."));
    const QCommandLineOption peer(QStringLiteral("peer"),
        QStringLiteral("Offer the torrent to a peer on 127.0.0.1 at this port (repeatable)."),
        QStringLiteral("port"));
    const QCommandLineOption address(QStringLiteral("address"),
        QStringLiteral("Loopback address to listen and call from (default: 127.0.0.1)."),
        QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption unchecked(QStringLiteral("unchecked"),
        QStringLiteral("Seed the existing .torrent given with --torrent from the files as they are, "
                       "never checking them (a copy that differs sends bad data)."));
    const QCommandLineOption makeOnly(
        QStringLiteral("make-only"), QStringLiteral("Write the .torrent and exit."));
    parser.addOptions({ rate, port, torrent, pieceSize, v1, peer, address, unchecked, makeOnly });
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    if (parser.positionalArguments().size() != 1) {
        err << "morvane-seed: give one file or folder\n";
        return 2;
    }
    LocalSeeder::Options options;
    options.path = QFileInfo(parser.positionalArguments().first()).absoluteFilePath();
    options.torrentPath
        = parser.isSet(torrent) ? parser.value(torrent) : options.path + QStringLiteral(".torrent");
    options.uploadRate = parser.value(rate).toLongLong();
    options.port = parser.value(port).toInt();
    options.pieceSize = parser.value(pieceSize).toInt();
    options.v1Only = parser.isSet(v1);
    for (const QString &value : parser.values(peer))
        options.peerPorts.append(value.toInt());

    options.address = parser.value(address);
    options.unchecked = parser.isSet(unchecked);

    QString error;
    if (!options.unchecked && !LocalSeeder::makeTorrent(options, &error)) {
        err << "morvane-seed: " << error << "\n";
        return 1;
    }
    out << "torrent: " << QFileInfo(options.torrentPath).absoluteFilePath() << "\n";
    if (parser.isSet(makeOnly))
        return 0;

    LocalSeeder seeder(options);
    if (!seeder.start(&error)) {
        err << "morvane-seed: " << error << "\n";
        return 1;
    }
    out << "magnet: " << seeder.magnet() << "\n"
        << "hash: " << seeder.hash() << "\n"
        << "port: " << seeder.port() << "\n"
        << "seeding" << Qt::endl;

    QTimer ticks;
    // What was sent so far, whenever it grew: a test sees a peer stop taking
    // data while the seed still runs.
    qint64 reported = 0;
    QObject::connect(&ticks, &QTimer::timeout, &app, [&seeder, &out, &reported] {
        seeder.tick();
        const qint64 sent = seeder.uploaded();
        if (sent != reported) {
            reported = sent;
            out << "sent: " << sent << Qt::endl;
        }
    });
    ticks.start(1000);
    seeder.tick();

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&app, &input] {
        char buffer[256];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
            input.setEnabled(false);
            app.quit();
        }
    });
    const int status = app.exec();
    out << "uploaded: " << seeder.uploaded() << Qt::endl;
    return status;
}
