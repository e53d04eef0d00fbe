// From a link handed to a running player to the first frame, stalls while
// playing, a seek into a missing region, and another program (ffmpeg)
// reading the same download through the core's stream: the real Morvane and
// MorvaneCore on a private X server, fed by local seeds whose upload is
// shaped in the kernel (a private network namespace with only loopback).
//
//   bench_e2e [--rounds N] [--play S] [--clips DIR] [--peer]   full run (root: unshare, tc)
//   bench_e2e --smoke                                            one short, unshaped pass
//
// --peer also runs ../shared/peer-bench (its own namespace) and prints its
// figures beside ours.
#include "bench/e2e/screenwatch.h"
#include "protocol/coreprotocol.h"
#include "settings/preferences.h"
#include "tests/core/coreprocess.h"
#include "tests/core/coretestclient.h"
#include "tests/e2e/playersession.h"
#include "tests/support/httpfetch.h"
#include "tests/support/seedprocess.h"
#include "tests/support/temporaryhome.h"
#include "tests/support/testmedia.h"
#include "tests/support/xvfbserver.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

constexpr qint64 kPieceSize = 256 * 1024;
constexpr const char *kNamespaceMark = "MORVANE_BENCH_NETNS";

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

bool run(const QString &program, const QStringList &arguments, int timeoutMs = 600000)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool ok = process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
    if (!ok)
        out() << program << ' ' << arguments.join(QLatin1Char(' ')) << ": " << process.readAll() << Qt::endl;
    return ok;
}

// The reference clip with its index at the front, and the same streams
// remuxed to MKV; kept in folder for the next run.
bool makeClips(const QString &folder, int seconds, QSize size, QString *mp4, QString *mkv)
{
    QDir().mkpath(folder);
    const QString name = QStringLiteral("clip-%1x%2-%3").arg(size.width()).arg(size.height()).arg(seconds);
    *mp4 = QDir(folder).filePath(name + QStringLiteral(".mp4"));
    *mkv = QDir(folder).filePath(name + QStringLiteral(".mkv"));
    if (!QFileInfo::exists(*mp4)) {
        const QString partial = *mp4 + QStringLiteral(".part.mp4");
        if (!TestMedia::make(TestMedia::reference(size, seconds), partial, 600000)
            || !QFile::rename(partial, *mp4))
            return false;
    }
    if (!QFileInfo::exists(*mkv)) {
        const QString partial = *mkv + QStringLiteral(".part.mkv");
        if (!TestMedia::remux(*mp4, partial, 600000) || !QFile::rename(partial, *mkv))
            return false;
    }
    return true;
}

// Kernel shaping of everything the seeds send (matched on their ports).
class Shaper
{
public:
    bool setUp(const QList<int> &ports, qint64 bytesPerSecond)
    {
        if (!run(QStringLiteral("tc"),
                QStringLiteral("qdisc add dev lo root handle 1: htb default 99").split(QLatin1Char(' '))))
            return false;
        if (!run(QStringLiteral("tc"), classArguments(QStringLiteral("add"), bytesPerSecond)))
            return false;
        for (int port : ports)
            if (!run(QStringLiteral("tc"),
                    QStringLiteral(
                        "filter add dev lo parent 1: protocol ip prio 1 u32 match ip sport %1 0xffff "
                        "flowid 1:20")
                        .arg(port)
                        .split(QLatin1Char(' '))))
                return false;
        return true;
    }
    bool setRate(qint64 bytesPerSecond)
    {
        return run(QStringLiteral("tc"), classArguments(QStringLiteral("change"), bytesPerSecond));
    }

private:
    static QStringList classArguments(const QString &verb, qint64 bytesPerSecond)
    {
        return QStringLiteral("class %1 dev lo parent 1: classid 1:20 htb rate %2bit burst 64k")
            .arg(verb)
            .arg(bytesPerSecond * 8)
            .split(QLatin1Char(' '));
    }
};

// A .torrent carries no peer hint, and nothing on loopback would find the
// seed: a tracker that names it, written into a copy of the .torrent (the
// announce key lies outside the info dictionary, so the hash is the same).
class LoopbackTracker
{
public:
    LoopbackTracker() { m_context.moveToThread(&m_thread); }
    ~LoopbackTracker()
    {
        if (m_thread.isRunning())
            QMetaObject::invokeMethod(
                &m_context, [this] { delete m_server; }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    // Answers on a thread of its own: the bench's own thread spends its
    // time in blocking waits, and an announce left unanswered there is
    // retried by the core only many seconds later.
    bool start(int seedPort)
    {
        m_seedPort = seedPort;
        m_thread.start();
        bool listening = false;
        QMetaObject::invokeMethod(
            &m_context, [this, &listening] { listening = listen(); }, Qt::BlockingQueuedConnection);
        return listening;
    }
    // A copy of torrent with this tracker; empty on failure.
    QString announce(const QString &torrent, const QString &copy) const
    {
        QFile in(torrent);
        QFile out(copy);
        if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return QString();
        const QByteArray data = in.readAll();
        const QByteArray url = "http://127.0.0.1:" + QByteArray::number(m_port) + "/announce";
        if (!data.startsWith('d'))
            return QString();
        out.write("d8:announce" + QByteArray::number(url.size()) + ':' + url + data.mid(1));
        return copy;
    }

private:
    // On the tracker's thread.
    bool listen()
    {
        m_server = new QTcpServer;
        QObject::connect(m_server, &QTcpServer::newConnection, m_server, [this] {
            while (QTcpSocket *socket = m_server->nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->peek(8192).contains("\r\n\r\n"))
                        return;
                    socket->readAll();
                    QByteArray peer(6, 0);
                    qToBigEndian<quint32>(0x7f000001, peer.data());
                    qToBigEndian<quint16>(quint16(m_seedPort), peer.data() + 4);
                    const QByteArray body = "d8:intervali1800e5:peers6:" + peer + "e";
                    socket->write("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: "
                        + QByteArray::number(body.size()) + "\r\n\r\n" + body);
                    socket->disconnectFromHost();
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        if (!m_server->listen(QHostAddress::LocalHost))
            return false;
        m_port = m_server->serverPort();
        return true;
    }

    QThread m_thread;
    QObject m_context;
    QTcpServer *m_server = nullptr; // lives on m_thread
    int m_seedPort = 0;
    quint16 m_port = 0;
};

struct StartFigures
{
    qint64 metadata = -1; // link handed over → files known to the player
    qint64 head = -1; // → the player saw the head and started the engine
    qint64 frame = -1; // → the engine reports a playing time
    // → the engine's first decoded picture. The engine reports a playing
    // time only with its first position event, some 350 ms after the
    // picture even when the whole file is on disk.
    qint64 picture = -1;
    // → that picture on the screen (the window grabbed from the X server).
    qint64 screen = -1;
    qint64 grabUs = -1; // the grabs' pace: the on-screen figure's resolution
    qint64 seek = -1; // seek click → playback resumed past the target
    qint64 seekPicture = -1; // seek click → first picture at the target
};

struct StallFigures
{
    int stalls = -1;
    qint64 stallMs = -1;
    qint64 playedMs = -1;
    qint64 seek = -1; // seek click → playing past the target
    qint64 complete = -1; // link handed over → every file downloaded
};

void writeSettings(const QString &savePath)
{
    Preferences settings;
    settings.setSavePath(savePath);
    // Stamped by the updater on a real install; with the handler registered
    // too, start-up goes straight to the window.
    settings.setValue(QStringLiteral("/config/time"), QDateTime::currentDateTime().toString(Qt::ISODate));
    settings.setPtBackgroundWork(false);
    settings.sync();
}

// A fresh user with a running player that has connected to its core.
struct Player
{
    TemporaryHome home;
    std::unique_ptr<PlayerSession> session;

    QString savePath() const { return QDir(home.path()).filePath(QStringLiteral("downloads")); }

    bool start(const QString &display)
    {
        writeSettings(savePath());
        session = std::make_unique<PlayerSession>(home.environment(), display);
        if (!session->isValid() || !session->registerHandler() || !session->start({}))
            return false;
        if (session->waitForLine(QStringLiteral(" success.."), 30000) < 0)
            return false;
        // The window is up and ticking before the link comes.
        return session->waitForScreen([](const PlayerSession::Screen &s) { return s.valid; }, 20000) >= 0;
    }
};

// MORVANE_BENCH_LOGS=<folder>: every run's player and core log is kept
// there, to see where a slow start or a stall spent its time.
void keepLog(PlayerSession &s, const QString &what)
{
    const QString folder = qEnvironmentVariable("MORVANE_BENCH_LOGS");
    if (folder.isEmpty())
        return;
    static int run = 0;
    QDir().mkpath(folder);
    QFile file(
        QDir(folder).filePath(QStringLiteral("%1-%2.log").arg(++run, 3, 10, QLatin1Char('0')).arg(what)));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(s.log().toUtf8());
}

qint64 since(qint64 at, qint64 from)
{
    return at < 0 || from < 0 ? -1 : at - from;
}

// Seeks to percent of the clip once the player allows seeking (the last
// piece is there); the time from the click until the engine plays past the
// target, or -1. *resumedAt: when, on the session's clock.
qint64 seekTo(PlayerSession &s, int percent, qint64 t0, qint64 *resumedAt, qint64 *clickedAt = nullptr)
{
    if (s.waitForScreen(
            [](const PlayerSession::Screen &sc) { return sc.seekEnabled && sc.total > 0; }, 30000, t0)
        < 0)
        return -1;
    const PlayerSession::Screen before = s.screen();
    const QPoint target(
        before.slider.x() + before.slider.width() * percent / 100, before.slider.center().y());
    const qint64 clickAt = s.now();
    if (clickedAt)
        *clickedAt = clickAt;
    if (!s.click(target))
        return -1;
    // Resumed: the engine reports a time past percent - 5 % of the clip, after the click.
    const qint64 threshold = qint64(before.total) * 1000 * (percent - 5) / 100;
    const QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired()) {
        const QStringList lines = s.log().split(QLatin1Char('\n'));
        for (const QString &line : lines) {
            const qint64 at = line.section(QLatin1Char(' '), 0, 0).toLongLong();
            const int mark = int(line.indexOf(QLatin1String("ui: playing at ")));
            if (at < clickAt || mark < 0)
                continue;
            if (line.mid(mark + 15).trimmed().toLongLong() >= threshold) {
                if (resumedAt)
                    *resumedAt = at;
                return at - clickAt;
            }
        }
        s.waitForLine(QStringLiteral("ui: playing at"), 100, s.now());
    }
    return -1;
}

bool sameContent(const QString &a, const QString &b)
{
    QFile left(a);
    QFile right(b);
    if (!left.open(QIODevice::ReadOnly) || !right.open(QIODevice::ReadOnly) || left.size() != right.size())
        return false;
    while (!left.atEnd()) {
        if (left.read(1 << 20) != right.read(1 << 20))
            return false;
    }
    return true;
}

std::optional<StartFigures> measureStart(const QString &display, const QString &link, bool magnet, bool seek)
{
    Player player;
    if (!player.start(display)) {
        out() << "  player did not come up" << Qt::endl;
        if (player.session)
            out() << player.session->log() << Qt::endl;
        return std::nullopt;
    }
    PlayerSession &s = *player.session;
    const auto keep = qScopeGuard([&s] { keepLog(s, QStringLiteral("start")); });
    ScreenWatch watch(display, s.screen().video, [&s] { return s.now(); });
    const qint64 t0 = s.now();
    if (!s.secondStart({ link })) {
        out() << "  second start failed" << Qt::endl;
        return std::nullopt;
    }
    StartFigures figures;
    figures.frame = since(s.waitForLine(QStringLiteral("ui: playing at"), 60000, t0), t0);
    const QDeadlineTimer shown(5000);
    while (watch.pictureAt() < 0 && !shown.hasExpired())
        QThread::msleep(10);
    figures.screen = since(watch.pictureAt(), t0);
    figures.grabUs = qRound64(watch.grabInterval() * 1000);
    if (magnet)
        figures.metadata
            = since(s.lineTime(QStringLiteral("ready to rebuild item for magnetUri_refreshed.."), t0), t0);
    figures.head = since(s.lineTime(QStringLiteral("ui: message finsh.."), t0), t0);
    figures.picture = since(s.lineTime(QStringLiteral(" first picture of this open"), t0), t0);
    if (figures.frame < 0) {
        out() << s.log() << Qt::endl;
        return figures;
    }
    if (!seek)
        return figures;

    qint64 clickAt = -1;
    figures.seek = seekTo(s, 75, t0, nullptr, &clickAt);
    // A seek into a missing stretch reopens the media there.
    figures.seekPicture = since(s.lineTime(QStringLiteral(" first picture of this open"), clickAt), clickAt);
    return figures;
}

// A bare core in a fresh home is given the .torrent; from that request to
// the first byte another program reads through the core's stream, or (with
// ffmpeg) to ffmpeg's first decoded frame, its own start included. -1 on
// failure.
qint64 measureStream(const QString &torrent, bool withFfmpeg)
{
    TemporaryHome home;
    writeSettings(QDir(home.path()).filePath(QStringLiteral("downloads")));
    static int serial = 0;
    const QString channel
        = QStringLiteral("MorvaneBenchStream-%1-%2").arg(QCoreApplication::applicationPid()).arg(++serial);
    QProcessEnvironment environment = home.environment();
    environment.insert(QStringLiteral("MORVANE_NETWORK"), QStringLiteral("loopback"));
    CoreProcess core(channel, environment);
    CoreTestClient client;
    if (!core.start() || !client.connectTo(channel))
        return -1;
    client.send(CoreProtocol::ExtendedReplies, { QString() });
    const std::optional<CoreReply> address = client.waitFor(CoreProtocol::StreamAddress, 10000);
    if (!address) {
        out() << "  the core named no stream address" << Qt::endl;
        return -1;
    }
    const QUrl base(address->rows.value(0).value(0));
    QElapsedTimer clock;
    clock.start();
    const int from = client.mark();
    client.send(CoreProtocol::AddTorrentFile, { torrent });
    const std::optional<CoreReply> added = client.waitFor(CoreProtocol::AddedTorrents, 10000, {}, from);
    if (!added || added->rows.isEmpty())
        return -1;
    const QString file = added->rows.first().value(0) + QStringLiteral("/0");
    if (!withFfmpeg) {
        HttpFetch fetch(quint16(base.port()),
            "GET " + (base.path() + file).toLatin1() + " HTTP/1.1\r\nHost: 127.0.0.1", 1);
        return fetch.waitDone(60000) && !fetch.body().isEmpty() ? clock.elapsed() : -1;
    }
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::MergedChannels);
    ffmpeg.start(QStringLiteral("ffmpeg"),
        { QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-nostdin"), QStringLiteral("-i"),
            base.toString() + file, QStringLiteral("-frames:v"), QStringLiteral("1"), QStringLiteral("-f"),
            QStringLiteral("null"), QStringLiteral("-") });
    // Waiting in the event loop: the tracker that names the seed lives in it.
    QEventLoop loop;
    QObject::connect(&ffmpeg, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    if (ffmpeg.state() != QProcess::NotRunning)
        loop.exec();
    if (ffmpeg.state() != QProcess::NotRunning || ffmpeg.exitCode() != 0) {
        out() << "  ffmpeg: " << ffmpeg.readAll() << Qt::endl;
        ffmpeg.kill();
        ffmpeg.waitForFinished(5000);
        return -1;
    }
    return clock.elapsed();
}

struct PlayCase
{
    int playSeconds = 30;
    int seekPercent = 0; // 0: no seek; else stalls count from the seek on
    // Files to wait for after playing: source → path under the save folder.
    QList<QPair<QString, QString>> downloads;
};

// Plays from a link for playSeconds of wall time after the first frame (or
// after a seek); stall time is the wall time the clip did not advance.
std::optional<StallFigures> measurePlay(const QString &display, const QString &link, const PlayCase &play)
{
    Player player;
    if (!player.start(display))
        return std::nullopt;
    PlayerSession &s = *player.session;
    const auto keep = qScopeGuard([&s] { keepLog(s, QStringLiteral("play")); });
    const qint64 t0 = s.now();
    if (!s.secondStart({ link }))
        return std::nullopt;
    qint64 first = s.waitForLine(QStringLiteral("ui: playing at"), 60000, t0);
    if (first < 0) {
        out() << "  no first frame; the player's last lines:\n"
              << s.log()
                     .split(QLatin1Char('\n'))
                     .mid(qMax(0, int(s.log().count(QLatin1Char('\n'))) - 25))
                     .join(QLatin1Char('\n'))
              << Qt::endl;
        return std::nullopt;
    }
    StallFigures figures;
    if (play.seekPercent > 0) {
        figures.seek = seekTo(s, play.seekPercent, t0, &first);
        if (figures.seek < 0)
            return figures;
    }
    const qint64 end = first + play.playSeconds * 1000;
    s.waitForLine(QStringLiteral("bench: never printed"), int(qMax<qint64>(0, end - s.now())), s.now());
    figures.stalls = 0;
    qint64 firstMedia = -1;
    qint64 lastMedia = -1;
    qint64 lastWall = -1;
    const QStringList lines = s.log().split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const qint64 at = line.section(QLatin1Char(' '), 0, 0).toLongLong();
        if (at < first || at > end)
            continue;
        if (line.contains(QLatin1String("ui: message data caching..")))
            ++figures.stalls;
        const int mark = int(line.indexOf(QLatin1String("ui: playing at ")));
        if (mark >= 0) {
            const qint64 media = line.mid(mark + 15).trimmed().toLongLong();
            if (firstMedia < 0)
                firstMedia = media;
            lastMedia = media;
            lastWall = at;
        }
    }
    figures.playedMs = lastMedia - firstMedia;
    figures.stallMs = qMax<qint64>(0, (lastWall - first) - figures.playedMs);

    if (!play.downloads.isEmpty()) {
        const QDeadlineTimer deadline(600000);
        const QDir saved(player.savePath());
        while (!deadline.hasExpired()) {
            const bool all = std::all_of(
                play.downloads.begin(), play.downloads.end(), [&](const QPair<QString, QString> &d) {
                    return sameContent(d.first, saved.filePath(d.second));
                });
            if (all) {
                figures.complete = s.now() - t0;
                break;
            }
            s.waitForLine(QStringLiteral("bench: never printed"), 250, s.now());
        }
    }
    return figures;
}

// A two-file torrent whose second file is the clip: the first, not a
// video, competes for the link.
QString makePack(const QString &clip)
{
    const QFileInfo info(clip);
    const QString folder
        = info.absolutePath() + QStringLiteral("/pack-") + info.completeBaseName() + '-' + info.suffix();
    const QString extras = folder + QStringLiteral("/a-extras.dat");
    const QString video = folder + QStringLiteral("/b-") + info.fileName();
    QDir().mkpath(folder);
    if (!QFileInfo::exists(extras)) {
        QFile file(extras + QStringLiteral(".part"));
        if (!file.open(QIODevice::WriteOnly))
            return QString();
        QRandomGenerator generator(7);
        QByteArray block(1 << 20, Qt::Uninitialized);
        for (int i = 0; i < 24; ++i) {
            generator.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
            file.write(block);
        }
        file.close();
        if (!QFile::rename(extras + QStringLiteral(".part"), extras))
            return QString();
    }
    if (!QFileInfo::exists(video) && !QFile::copy(clip, video))
        return QString();
    return folder;
}

QString runs(const QList<qint64> &values)
{
    QStringList p;
    for (qint64 v : values)
        p << QString::number(v);
    return p.join(QLatin1Char(' '));
}

qint64 median(QList<qint64> values)
{
    values.removeAll(-1);
    if (values.isEmpty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

QString ms(qint64 value)
{
    return value < 0 ? QStringLiteral("   -  ") : QStringLiteral("%1").arg(double(value) / 1000.0, 6, 'f', 2);
}

QString list(const QList<qint64> &values)
{
    QStringList parts;
    for (qint64 v : values)
        parts << ms(v).trimmed();
    return parts.join(QLatin1Char(' '));
}

// For the outer process, which compares with the peer after the inner run.
void writeSummary(const QMap<QString, qint64> &summary)
{
    const QString path = qEnvironmentVariable("MORVANE_BENCH_SUMMARY");
    if (path.isEmpty())
        return;
    QJsonObject object;
    for (auto it = summary.cbegin(); it != summary.cend(); ++it)
        object.insert(it.key(), it.value());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(QJsonDocument(object).toJson());
}

// Runs ../shared/peer-bench (it makes its own namespace and shaping) at the
// same rates and prints its medians beside ours.
bool runPeer(int rounds, const QString &summaryPath)
{
    const QString script
        = QDir(QStringLiteral(MORVANE_SOURCE_DIR)).filePath(QStringLiteral("../shared/peer-bench/run.sh"));
    const QString home = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
                             .filePath(QStringLiteral("peer-bench"));
    out() << "peer: " << QDir::cleanPath(script) << " (a few minutes)" << Qt::endl;
    QProcess peer;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("RATES"), QStringLiteral("2000000 1000000"));
    env.insert(QStringLiteral("CONTAINERS"), QStringLiteral("mp4 mkv"));
    env.insert(QStringLiteral("LIMITERS"), QStringLiteral("tc"));
    env.insert(QStringLiteral("REPS"), QString::number(rounds));
    env.insert(QStringLiteral("PEER_BENCH_HOME"), home);
    peer.setProcessEnvironment(env);
    peer.setProcessChannelMode(QProcess::MergedChannels);
    peer.setStandardOutputFile(home + QStringLiteral(".log"));
    peer.start(QStringLiteral("bash"), { script });
    if (!peer.waitForFinished(3600000) || peer.exitCode() != 0) {
        out() << "peer: run failed, see " << home << ".log" << Qt::endl;
        return false;
    }
    QMap<QString, QList<qint64>> cells;
    QFile raw(home + QStringLiteral("/out/raw/webtorrent.jsonl"));
    if (!raw.open(QIODevice::ReadOnly))
        return false;
    while (!raw.atEnd()) {
        const QJsonObject line = QJsonDocument::fromJson(raw.readLine()).object();
        const QJsonObject r = line.value(QStringLiteral("r")).toObject();
        const QString cell = QStringLiteral("%1 MB/s %2")
                                 .arg(line.value(QStringLiteral("rate")).toDouble() / 1e6)
                                 .arg(line.value(QStringLiteral("container")).toString().toUpper());
        for (const QString &key : { QStringLiteral("metadata_ms"), QStringLiteral("first_frame_ms"),
                 QStringLiteral("seek_frame_ms"), QStringLiteral("done_ms") })
            cells[cell + ' ' + key] << (r.contains(key) ? qint64(r.value(key).toDouble()) : -1);
    }
    QFile ours(summaryPath);
    const QJsonObject summary
        = ours.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(ours.readAll()).object() : QJsonObject();
    const auto ratio = [](qint64 a, qint64 b) {
        return a > 0 && b > 0 ? QString::number(double(a) / double(b), 'f', 2) : QStringLiteral("-");
    };
    for (const QString &cell : { QStringLiteral("2 MB/s MP4"), QStringLiteral("2 MB/s MKV"),
             QStringLiteral("1 MB/s MP4"), QStringLiteral("1 MB/s MKV") }) {
        const qint64 frame = median(cells.value(cell + QStringLiteral(" first_frame_ms")));
        const qint64 seek = median(cells.value(cell + QStringLiteral(" seek_frame_ms")));
        const qint64 ourFrame = qint64(summary.value(cell + QStringLiteral(" first frame")).toDouble(-1));
        const qint64 ourSeek = qint64(summary.value(cell + QStringLiteral(" seek")).toDouble(-1));
        out() << QStringLiteral(
            "peer %1: metadata %2  first frame %3  seek to 90 s decoded %4  full download %5"
            "   runs: %6   ours/peer: first frame %7, seek %8")
                     .arg(cell, ms(median(cells.value(cell + QStringLiteral(" metadata_ms")))), ms(frame),
                         ms(seek), ms(median(cells.value(cell + QStringLiteral(" done_ms")))),
                         list(cells.value(cell + QStringLiteral(" first_frame_ms"))), ratio(ourFrame, frame),
                         ratio(ourSeek, seek))
              << Qt::endl;
        out() << QStringLiteral("peer %1 beside our first picture: ours/peer: first frame %2, seek %3")
                     .arg(cell,
                         ratio(qint64(summary.value(cell + QStringLiteral(" first picture")).toDouble(-1)),
                             frame),
                         ratio(qint64(summary.value(cell + QStringLiteral(" seek picture")).toDouble(-1)),
                             seek))
              << Qt::endl;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const bool smoke = arguments.contains(QStringLiteral("--smoke"));
    const auto option = [&arguments](const QString &name, const QString &fallback) {
        const qsizetype at = arguments.indexOf(name);
        return at >= 0 && at + 1 < arguments.size() ? arguments[at + 1] : fallback;
    };
    const int rounds = smoke ? 1 : qMax(1, option(QStringLiteral("--rounds"), QStringLiteral("3")).toInt());
    const int playSeconds = option(QStringLiteral("--play"), QStringLiteral("30")).toInt();
    // --cases start,stream,stalls,pack,seek,full: a subset, for a quick look.
    const QStringList cases
        = option(QStringLiteral("--cases"), QStringLiteral("start,stream,stalls,pack,seek,full"))
              .split(QLatin1Char(','));
    const QString clips = option(QStringLiteral("--clips"),
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
            .filePath(QStringLiteral("morvane-bench")));

    // Shaping needs a network of our own; the same program again inside one.
    if (!smoke && !qEnvironmentVariableIsSet(kNamespaceMark)) {
        qputenv(kNamespaceMark, "1");
        QTemporaryFile summary;
        summary.open();
        qputenv("MORVANE_BENCH_SUMMARY", summary.fileName().toLocal8Bit());
        QProcess inner;
        inner.setProcessChannelMode(QProcess::ForwardedChannels);
        inner.start(QStringLiteral("unshare"),
            QStringList {
                QStringLiteral("-n"), QStringLiteral("--"), QCoreApplication::applicationFilePath() }
                + arguments.mid(1));
        if (!inner.waitForStarted()) {
            out() << "bench_e2e: unshare did not start (needs root)" << Qt::endl;
            return 1;
        }
        inner.waitForFinished(-1);
        if (arguments.contains(QStringLiteral("--peer")) && !runPeer(rounds, summary.fileName()))
            return 1;
        return inner.exitCode();
    }

    // A new namespace's loopback is down: up before anything listens on it
    // (a seed that listened on a downed loopback is never reached).
    if (!smoke
        && !run(QStringLiteral("ip"),
            { QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"), QStringLiteral("up") })) {
        out() << "bench_e2e: cannot bring loopback up" << Qt::endl;
        return 1;
    }

    QString mp4, mkv;
    if (!makeClips(clips, smoke ? 8 : 120, smoke ? QSize(640, 360) : QSize(1280, 720), &mp4, &mkv)) {
        out() << "bench_e2e: could not make the clips" << Qt::endl;
        return 1;
    }
    QCoreApplication::setApplicationName(QStringLiteral("Morvane"));
    XvfbServer xvfb;
    if (!xvfb.start()) {
        out() << "bench_e2e: Xvfb did not start" << Qt::endl;
        return 1;
    }

    struct Clip
    {
        QString name;
        QString path;
        std::unique_ptr<SeedProcess> seed;
        std::unique_ptr<LoopbackTracker> tracker;
        QString torrent;
        std::unique_ptr<SeedProcess> packSeed;
    };
    QList<Clip *> clipList;
    Clip mp4Clip { QStringLiteral("MP4"), mp4, nullptr, nullptr, QString(), nullptr };
    Clip mkvClip { QStringLiteral("MKV"), mkv, nullptr, nullptr, QString(), nullptr };
    clipList << &mp4Clip;
    if (!smoke)
        clipList << &mkvClip;
    QList<int> ports;
    // This run's own copies: two runs at once must not announce to each
    // other's trackers.
    QTemporaryDir tracked;
    for (Clip *clip : clipList) {
        clip->seed = std::make_unique<SeedProcess>(
            clip->path, QStringList { QStringLiteral("--piece-size"), QString::number(kPieceSize) });
        if (!clip->seed->start()) {
            out() << "bench_e2e: seed failed: " << clip->seed->output() << Qt::endl;
            return 1;
        }
        ports << clip->seed->port();
        clip->tracker = std::make_unique<LoopbackTracker>();
        if (clip->tracker->start(clip->seed->port()))
            clip->torrent = clip->tracker->announce(
                clip->seed->torrentPath(), tracked.filePath(QFileInfo(clip->seed->torrentPath()).fileName()));
        if (clip->torrent.isEmpty()) {
            out() << "bench_e2e: no tracked .torrent" << Qt::endl;
            return 1;
        }
        if (smoke)
            continue;
        const QString pack = makePack(clip->path);
        clip->packSeed = std::make_unique<SeedProcess>(
            pack, QStringList { QStringLiteral("--piece-size"), QString::number(kPieceSize) });
        if (pack.isEmpty() || !clip->packSeed->start()) {
            out() << "bench_e2e: pack seed failed: " << clip->packSeed->output() << Qt::endl;
            return 1;
        }
        ports << clip->packSeed->port();
    }
    Shaper shaper;
    if (!smoke && !shaper.setUp(ports, 2000000)) {
        out() << "bench_e2e: shaping failed" << Qt::endl;
        return 1;
    }

    const QList<qint64> rates = smoke ? QList<qint64> { 0 } : QList<qint64> { 2000000, 1000000 };
    QMap<QString, qint64> summary; // medians in ms, for the peer's comparison
    out() << "first frame after a link is handed to a running player (s; median of " << rounds << ")"
          << Qt::endl;
    bool complete = true;
    for (qint64 rate : cases.contains(QStringLiteral("start")) ? rates : QList<qint64> {}) {
        if (rate > 0 && !shaper.setRate(rate))
            return 1;
        for (Clip *clip : std::as_const(clipList)) {
            for (bool magnet : { true, false }) {
                QList<qint64> meta, head, frame, seek, picture, screen, grab, seekPicture;
                for (int round = 0; round < rounds; ++round) {
                    const bool withSeek = magnet && (smoke || rate == 2000000);
                    const auto figures = measureStart(
                        xvfb.display(), magnet ? clip->seed->magnet() : clip->torrent, magnet, withSeek);
                    if (!figures || figures->frame < 0) {
                        complete = false;
                        continue;
                    }
                    meta << figures->metadata;
                    head << figures->head;
                    frame << figures->frame;
                    picture << figures->picture;
                    screen << figures->screen;
                    grab << figures->grabUs;
                    if (withSeek) {
                        seek << figures->seek;
                        seekPicture << figures->seekPicture;
                    }
                }
                const qint64 bound = rate > 0 ? 2 * kPieceSize * 1000 / rate : -1;
                if (magnet && rate > 0) {
                    const QString cell = QStringLiteral("%1 MB/s %2").arg(double(rate) / 1e6).arg(clip->name);
                    summary.insert(cell + QStringLiteral(" first frame"), median(frame));
                    summary.insert(cell + QStringLiteral(" first picture"), median(picture));
                    if (!seek.isEmpty()) {
                        summary.insert(cell + QStringLiteral(" seek"), median(seek));
                        summary.insert(cell + QStringLiteral(" seek picture"), median(seekPicture));
                    }
                }
                out() << QStringLiteral(
                    "%1 %2 %3: metadata %4  head %5  decoder %6  first frame %7  (rate bound %8)")
                             .arg(rate > 0 ? QStringLiteral("%1 MB/s").arg(double(rate) / 1e6)
                                           : QStringLiteral("unshaped"),
                                 clip->name, magnet ? QStringLiteral("magnet ") : QStringLiteral("torrent"))
                             .arg(ms(median(meta)))
                             .arg(ms(median(head) - qMax<qint64>(0, median(meta))))
                             .arg(ms(median(frame) - median(head)))
                             .arg(ms(median(frame)))
                             .arg(ms(bound))
                      << "   runs: " << list(frame) << Qt::endl;
                const QString rateText = rate > 0 ? QStringLiteral("%1 MB/s").arg(double(rate) / 1e6)
                                                  : QStringLiteral("unshaped");
                out() << QStringLiteral("%1 %2 %3: first picture %4   runs: %5")
                             .arg(rateText, clip->name,
                                 magnet ? QStringLiteral("magnet ") : QStringLiteral("torrent"),
                                 ms(median(picture)), list(picture))
                      << Qt::endl;
                out() << QStringLiteral("%1 %2 %3: on screen %4   runs: %5   (a grab every %6 ms)")
                             .arg(rateText, clip->name,
                                 magnet ? QStringLiteral("magnet ") : QStringLiteral("torrent"),
                                 ms(median(screen)), list(screen))
                             .arg(double(median(grab)) / 1000, 0, 'f', 1)
                      << Qt::endl;
                if (!seek.isEmpty()) {
                    out() << QStringLiteral("%1 %2 seek to 75%: resumed after %3   runs: %4")
                                 .arg(rateText, clip->name, ms(median(seek)), list(seek))
                          << Qt::endl;
                    out() << QStringLiteral("%1 %2 seek to 75%: first picture after %3   runs: %4")
                                 .arg(rateText, clip->name, ms(median(seekPicture)), list(seekPicture))
                          << Qt::endl;
                }
            }
        }
    }

    // Another program reads the same download through the core's stream:
    // beside the player's first picture from the .torrent above.
    for (qint64 rate : cases.contains(QStringLiteral("stream")) ? rates : QList<qint64> {}) {
        if (rate > 0 && !shaper.setRate(rate))
            return 1;
        const QString rateText
            = rate > 0 ? QStringLiteral("%1 MB/s").arg(double(rate) / 1e6) : QStringLiteral("unshaped");
        for (Clip *clip : std::as_const(clipList)) {
            QList<qint64> firstByte, frame;
            for (int round = 0; round < rounds; ++round) {
                const qint64 byte = measureStream(clip->torrent, false);
                const qint64 decoded = measureStream(clip->torrent, true);
                if (byte < 0 || decoded < 0)
                    complete = false;
                if (byte >= 0)
                    firstByte << byte;
                if (decoded >= 0)
                    frame << decoded;
            }
            out() << QStringLiteral(
                "%1 %2 torrent, stream: first byte %3  ffmpeg first frame %4   runs: %5 / %6")
                         .arg(rateText, clip->name, ms(median(firstByte)), ms(median(frame)), list(firstByte),
                             list(frame))
                  << Qt::endl;
        }
    }

    if (!smoke) {
        // 1.5 times the clip's mean bitrate.
        for (Clip *clip : cases.contains(QStringLiteral("stalls")) ? clipList : QList<Clip *> {}) {
            const qint64 rate = QFileInfo(clip->path).size() * 3 / 2 / 120;
            if (!shaper.setRate(rate))
                return 1;
            QList<qint64> stalls, stallMs;
            for (int round = 0; round < rounds; ++round) {
                const auto figures
                    = measurePlay(xvfb.display(), clip->seed->magnet(), { playSeconds, 0, {} });
                if (!figures) {
                    complete = false;
                    continue;
                }
                stalls << figures->stalls;
                stallMs << figures->stallMs;
            }
            out() << QStringLiteral(
                "%1 at %2 kB/s (1.5x bitrate), %3 s played: stalls %4 (runs %5), stall time %6 s "
                "(runs %7)")
                         .arg(clip->name)
                         .arg(rate / 1000)
                         .arg(playSeconds)
                         .arg(median(stalls))
                         .arg(runs(stalls))
                         .arg(ms(median(stallMs)).trimmed(), list(stallMs))
                  << Qt::endl;
        }

        // The second file of a pack, and a seek to the middle followed by
        // 30 s of play, at the same rate.
        for (Clip *clip : std::as_const(clipList)) {
            const qint64 rate = QFileInfo(clip->path).size() * 3 / 2 / 120;
            if (!shaper.setRate(rate))
                return 1;
            for (const bool pack : { true, false }) {
                if (!cases.contains(pack ? QStringLiteral("pack") : QStringLiteral("seek")))
                    continue;
                SeedProcess *seed = pack ? clip->packSeed.get() : clip->seed.get();
                QList<qint64> stalls, stallMs, seek;
                for (int round = 0; round < rounds; ++round) {
                    const auto figures = measurePlay(
                        xvfb.display(), seed->magnet(), { pack ? playSeconds : 30, pack ? 0 : 50, {} });
                    if (!figures || figures->stalls < 0) {
                        complete = false;
                        continue;
                    }
                    stalls << figures->stalls;
                    stallMs << figures->stallMs;
                    seek << figures->seek;
                }
                const QString figures = QStringLiteral("stalls %1 (runs %2), stall time %3 s (runs %4)")
                                            .arg(median(stalls))
                                            .arg(runs(stalls))
                                            .arg(ms(median(stallMs)).trimmed(), list(stallMs));
                if (pack)
                    out() << QStringLiteral(
                        "%1 second file of two at %2 kB/s (1.5x bitrate), %3 s played: %4")
                                 .arg(clip->name)
                                 .arg(rate / 1000)
                                 .arg(playSeconds)
                                 .arg(figures)
                          << Qt::endl;
                else
                    out() << QStringLiteral(
                        "%1 seek to 50% at %2 kB/s (1.5x bitrate): resumed after %3 (runs %4), then 30 s "
                        "played: %5")
                                 .arg(clip->name)
                                 .arg(rate / 1000)
                                 .arg(ms(median(seek)).trimmed(), list(seek), figures)
                          << Qt::endl;
                summary.insert(
                    clip->name + (pack ? QStringLiteral(" pack stalls") : QStringLiteral(" seek50 stalls")),
                    median(stalls));
            }
        }

        // The whole download while it plays, against what the link allows.
        if (cases.contains(QStringLiteral("full"))) {
            if (!shaper.setRate(2000000))
                return 1;
            QList<qint64> done;
            for (int round = 0; round < rounds; ++round) {
                const auto figures = measurePlay(xvfb.display(), mp4Clip.seed->magnet(),
                    { 10, 0, { { mp4Clip.path, QFileInfo(mp4Clip.path).fileName() } } });
                if (!figures || figures->complete < 0) {
                    complete = false;
                    continue;
                }
                done << figures->complete;
            }
            const qint64 bound = QFileInfo(mp4Clip.path).size() * 1000 / 2000000;
            out() << QStringLiteral(
                "2 MB/s MP4 full download while playing: %1 s (runs %2), link bound %3 s, ratio %4")
                         .arg(ms(median(done)).trimmed(), list(done), ms(bound).trimmed())
                         .arg(median(done) > 0 ? double(median(done)) / double(bound) : -1.0, 0, 'f', 2)
                  << Qt::endl;
            summary.insert(QStringLiteral("MP4 full download"), median(done));
        }
    }
    for (Clip *clip : std::as_const(clipList)) {
        clip->seed->stop();
        if (clip->packSeed)
            clip->packSeed->stop();
    }
    writeSummary(summary);
    xvfb.stop();
    if (!complete)
        out() << "bench_e2e: some runs did not reach a first frame" << Qt::endl;
    return complete ? 0 : 1;
}
