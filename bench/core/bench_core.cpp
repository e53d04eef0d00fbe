// MorvaneCore benchmarks on loopback. Run from the build folder:
//   MORVANE_NETWORK=loopback build/bench/bench_core [streaming|throughput|magnet|idle|rows|all] [--quick]
// Every core and seed here listens on 127.0.0.1 only.
#include "coreprocess.h"
#include "coretestclient.h"

#include "core/rowbuilder.h"
#include "core/statuscache.h"
#include "protocol/coreprotocol.h"

#include "tests/support/seedprocess.h"
#include "tests/support/temporaryhome.h"
#include "tools/localseeder.h"

#include <libtorrent/alert_types.hpp>
#include <libtorrent/bencode.hpp>
#include <libtorrent/create_torrent.hpp>
#include <libtorrent/session.hpp>
#include <libtorrent/session_params.hpp>
#include <libtorrent/torrent_info.hpp>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSettings>
#include <QTcpServer>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <memory>

#include <malloc.h>
#include <unistd.h>

namespace {
bool quick = false;

void say(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

int freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool writeRandomFile(const QString &path, qint64 size)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (qint64 written = 0; written < size; written += chunk.size()) {
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(chunk.data()), chunk.size() / 4);
        file.write(chunk.constData(), qMin<qint64>(chunk.size(), size - written));
    }
    return true;
}

int ones(const QString &bits, int from, int to)
{
    int n = 0;
    for (int i = from; i <= to && i < bits.size(); ++i)
        n += bits.at(i) == QLatin1Char('1');
    return n;
}

// One user with a core on a known port, and a player connection to it.
struct CoreRun
{
    explicit CoreRun(int statusIntervalMs = 0)
    {
        channel
            = QStringLiteral("MorvaneCoreBench-%1-%2").arg(QCoreApplication::applicationPid()).arg(++serial);
        savePath = QDir(home.path()).filePath(QStringLiteral("downloads"));
        port = freePort();
        QSettings ini(
            home.dataHome() + QStringLiteral("/Morvane/BT_backup/data/Morvane.ini"), QSettings::IniFormat);
        ini.setValue(QStringLiteral("Preferences/Downloads/SavePath"), savePath);
        ini.setValue(QStringLiteral("/config/portcheckbox"), true);
        ini.setValue(QStringLiteral("/config/portlineEdit"), QString::number(port));
        ini.sync();
        QProcessEnvironment env = home.environment();
        if (statusIntervalMs > 0)
            env.insert(QStringLiteral("MORVANE_CORE_STATUS_INTERVAL_MS"), QString::number(statusIntervalMs));
        core = std::make_unique<CoreProcess>(channel, env);
    }

    bool start() { return core->start() && client.connectTo(channel); }

    // Row of hash in the next status list that satisfies match.
    QStringList waitStatus(
        const QString &hash, const std::function<bool(const QStringList &)> &match, int timeoutMs)
    {
        QStringList row;
        client.waitFor(
            13, timeoutMs,
            [&](const CoreReply &reply) {
                row = CoreTestClient::statusRow(reply, hash);
                return !row.isEmpty() && match(row);
            },
            client.mark());
        return row;
    }

    static inline int serial = 0;
    TemporaryHome home;
    QString channel;
    QString savePath;
    int port = 0;
    std::unique_ptr<CoreProcess> core;
    CoreTestClient client;
};

// Time from the start of a download (first piece in) to pieces
// [wanted, wanted+4], with or without request 11 for them.
double streamingRun(const QString &file, bool withRequest, int &wanted, int *piecesMeanwhile)
{
    CoreRun run(50);
    SeedProcess seeder(
        file, { "--rate", "2000000", "--piece-size", "262144", "--peer", QString::number(run.port) });
    if (!seeder.start() || !run.start())
        return -1;
    run.client.send(0, { seeder.torrentPath() });
    const QString hash = seeder.hash();
    const QStringList started = run.waitStatus(
        hash, [](const QStringList &r) { return r.value(8).contains('1'); }, 30000);
    if (started.isEmpty())
        return -1;
    // Five pieces from three quarters in that have not arrived yet.
    while (wanted + 4 < started.value(9).toInt() && ones(started.value(8), wanted, wanted + 4) > 0)
        ++wanted;
    QElapsedTimer clock;
    clock.start();
    if (withRequest)
        run.client.send(
            11, { hash, "0", QString::number(wanted), QString::number(started.value(9).toInt() - 1) });
    const QStringList done = run.waitStatus(
        hash, [&](const QStringList &r) { return ones(r.value(8), wanted, wanted + 4) == 5; }, 120000);
    if (done.isEmpty())
        return -1;
    *piecesMeanwhile = int(done.value(8).count('1'));
    return clock.elapsed() / 1000.0;
}

void benchStreaming()
{
    TemporaryHome scratch;
    const qint64 size = quick ? 16 << 20 : 32 << 20;
    const QString file = QDir(scratch.path()).filePath(QStringLiteral("src/stream.bin"));
    writeRandomFile(file, size);
    const int pieces = int(size / 262144);
    int wantedWith = pieces * 3 / 4;
    int wantedWithout = wantedWith;
    int withCount = 0;
    int withoutCount = 0;
    const double with = streamingRun(file, true, wantedWith, &withCount);
    const double without = streamingRun(file, false, wantedWithout, &withoutCount);
    const double bound = 5 * 262144.0 / 2000000.0;
    say(QStringLiteral(
        "streaming: %1 MiB, %2 pieces of 256 KiB, seed limited to 2 MB/s; clock starts at the first piece")
            .arg(size >> 20)
            .arg(pieces));
    say(QStringLiteral("  with request 11:    pieces %1-%2 in %3 s (%4 pieces in by then)")
            .arg(wantedWith)
            .arg(wantedWith + 4)
            .arg(with, 0, 'f', 2)
            .arg(withCount));
    say(QStringLiteral("  without request 11: pieces %1-%2 in %3 s (%4 pieces in by then)")
            .arg(wantedWithout)
            .arg(wantedWithout + 4)
            .arg(without, 0, 'f', 2)
            .arg(withoutCount));
    say(QStringLiteral("  rate bound (5 pieces / 2 MB/s): %1 s").arg(bound, 0, 'f', 2));
}

// A plain libtorrent session set up as the core's loopback mode.
double plainDownload(const QString &torrentPath, const QString &file, const QString &savePath)
{
    const int port = freePort();
    SeedProcess seeder(file, { "--torrent", torrentPath + ".plain", "--peer", QString::number(port) });
    lt::settings_pack pack = LocalSeeder::loopbackSettings(port);
    pack.set_int(lt::settings_pack::alert_mask, lt::alert_category::status);
    lt::session session { lt::session_params(pack) };
    if (!seeder.start())
        return -1;
    lt::add_torrent_params params;
    params.ti = std::make_shared<lt::torrent_info>(seeder.torrentPath().toStdString());
    params.save_path = savePath.toStdString();
    QElapsedTimer clock;
    clock.start();
    session.add_torrent(params);
    while (clock.elapsed() < 300000) {
        session.wait_for_alert(std::chrono::milliseconds(100));
        std::vector<lt::alert *> alerts;
        session.pop_alerts(&alerts);
        for (lt::alert *a : alerts) {
            if (lt::alert_cast<lt::torrent_finished_alert>(a))
                return clock.elapsed() / 1000.0;
        }
    }
    return -1;
}

double coreDownload(const QString &file)
{
    CoreRun run(50);
    SeedProcess seeder(file, { "--peer", QString::number(run.port) });
    if (!seeder.start() || !run.start())
        return -1;
    QElapsedTimer clock;
    clock.start();
    run.client.send(0, { seeder.torrentPath() });
    const QStringList done = run.waitStatus(
        seeder.hash(), [](const QStringList &r) { return r.value(7) == "1"; }, 300000);
    return done.isEmpty() ? -1 : clock.elapsed() / 1000.0;
}

void benchThroughput()
{
    TemporaryHome scratch;
    const qint64 size = quick ? 50 << 20 : 200 << 20;
    const QString file = QDir(scratch.path()).filePath(QStringLiteral("src/big.bin"));
    writeRandomFile(file, size);
    const double core = coreDownload(file);
    const double plain = plainDownload(
        file + QStringLiteral(".torrent"), file, QDir(scratch.path()).filePath(QStringLiteral("plain")));
    const double mib = double(size) / (1 << 20);
    say(QStringLiteral("throughput: %1 MiB over loopback TCP, unlimited seed").arg(mib, 0, 'f', 0));
    say(QStringLiteral("  MorvaneCore:             %1 s = %2 MiB/s (request 0 to finished status)")
            .arg(core, 0, 'f', 2)
            .arg(mib / core, 0, 'f', 1));
    say(QStringLiteral("  plain libtorrent session: %1 s = %2 MiB/s (add to torrent_finished_alert)")
            .arg(plain, 0, 'f', 2)
            .arg(mib / plain, 0, 'f', 1));
    say(QStringLiteral("  core / plain time: %1").arg(core / plain, 0, 'f', 2));
}

void benchMagnet()
{
    TemporaryHome scratch;
    CoreRun run;
    if (!run.start())
        return;
    QList<double> times;
    const int rounds = quick ? 3 : 7;
    for (int i = 0; i < rounds; ++i) {
        const QString file = QDir(scratch.path()).filePath(QStringLiteral("src/m%1.mkv").arg(i));
        writeRandomFile(file, 4 << 20);
        SeedProcess seeder(file, { "--piece-size", "262144" });
        if (!seeder.start())
            return;
        // Do as the player does: ask for descriptions whenever a status
        // list carries the hash, until they come.
        QElapsedTimer clock;
        clock.start();
        int from = run.client.mark();
        run.client.send(1, { seeder.magnet() });
        std::optional<CoreReply> described;
        while (!described && clock.elapsed() < 30000) {
            (void)QTest::qWaitFor([&] { return run.client.mark() > from; }, 30000);
            for (; from < run.client.mark(); ++from) {
                const CoreReply &reply = run.client.replies().at(from);
                if (reply.type == 14) {
                    described = reply;
                    break;
                }
                if (reply.type == 13 && !CoreTestClient::statusRow(reply, seeder.hash()).isEmpty())
                    run.client.send(14, { seeder.hash() });
            }
        }
        if (!described)
            return;
        times.append(clock.elapsed());
        run.client.send(2, { seeder.hash() });
    }
    std::sort(times.begin(), times.end());
    say(QStringLiteral("magnet: request 1 (seed as peer hint) to reply 14 rows, %1 rounds").arg(rounds));
    say(QStringLiteral("  median %1 ms, min %2 ms, max %3 ms")
            .arg(times.at(times.size() / 2))
            .arg(times.first())
            .arg(times.last()));
}

struct Usage
{
    double cpuSeconds;
    qint64 rssKb;
};

Usage usageOf(qint64 pid)
{
    Usage usage { 0, 0 };
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        // utime and stime are fields 14 and 15 of the whole line
        usage.cpuSeconds
            = double(fields.value(11).toLongLong() + fields.value(12).toLongLong()) / sysconf(_SC_CLK_TCK);
    }
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                usage.rssKb = line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return usage;
}

void benchIdle()
{
    CoreRun run;
    const int count = 100;
    QStringList torrents;
    for (int i = 0; i < count; ++i) {
        const QString file = QDir(run.savePath).filePath(QStringLiteral("idle%1.bin").arg(i));
        writeRandomFile(file, 256 * 1024);
        lt::file_storage files;
        lt::add_files(files, file.toStdString());
        lt::create_torrent maker(files);
        lt::set_piece_hashes(maker, run.savePath.toStdString());
        std::vector<char> bytes;
        lt::bencode(std::back_inserter(bytes), maker.generate());
        QFile out(file + QStringLiteral(".torrent"));
        out.open(QIODevice::WriteOnly);
        out.write(bytes.data(), qint64(bytes.size()));
        torrents.append(out.fileName());
    }
    if (!run.start())
        return;
    run.client.send(0, torrents);
    const bool allDone = QTest::qWaitFor(
        [&] {
            const auto status = run.client.waitFor(13, 0, {}, qMax(0, run.client.mark() - 1));
            return status && status->rows.size() == count
                && std::all_of(status->rows.cbegin(), status->rows.cend(),
                    [](const QStringList &r) { return r.value(7) == "1"; });
        },
        120000);
    if (!allDone)
        return;
    const qint64 pid = run.core->process().processId();
    const int windowMs = quick ? 5000 : 30000;
    auto measure = [&] {
        const Usage before = usageOf(pid);
        QElapsedTimer clock;
        clock.start();
        QTest::qWait(windowMs); // a measuring window, not a wait for an event
        const Usage after = usageOf(pid);
        return std::pair<double, qint64> {
            100.0 * (after.cpuSeconds - before.cpuSeconds) / (clock.elapsed() / 1000.0), after.rssKb
        };
    };
    const auto connected = measure();
    run.client.disconnectFromCore();
    const auto alone = measure();
    say(QStringLiteral("idle: %1 finished downloads, no peers, %2 s windows")
            .arg(count)
            .arg(windowMs / 1000));
    say(QStringLiteral("  player connected (status list every second): %1 % of one core, RSS %2 MiB")
            .arg(connected.first, 0, 'f', 2)
            .arg(connected.second / 1024.0, 0, 'f', 1));
    say(QStringLiteral("  no player:                                   %1 % of one core, RSS %2 MiB")
            .arg(alone.first, 0, 'f', 2)
            .arg(alone.second / 1024.0, 0, 'f', 1));
}
}

// Heap bytes in use (glibc): what a structure really holds, unlike RSS,
// which reuses what earlier steps freed.
qint64 heapBytes()
{
    return qint64(mallinfo2().uordblks);
}

// What one download's status row costs the core per reply, by file count:
// built from nothing, rebuilt when nothing changed, rebuilt after one piece,
// and encoded into a frame. Paths of ~190 characters, 16 KiB pieces.
void benchRows()
{
    say(QStringLiteral("rows: files, first build ms, unchanged ms, one piece ms, encode ms, frame bytes, "
                       "cache KiB (heap)"));
    std::vector<std::unique_ptr<StatusCache>> kept;
    for (const int count : { 10000, 40000, 100000 }) {
        lt::file_storage files;
        const std::string folder
            = "Some.Long.Series.Name.Complete.Collection.1080p.BluRay/" + std::string(50, 'd') + "/";
        for (int i = 0; i < count; ++i)
            files.add_file(folder + std::string(70, 'e') + "-" + std::to_string(i) + ".mkv", 20000);
        lt::create_torrent maker(files, 16 * 1024, lt::create_torrent::v1_only);
        for (const lt::piece_index_t piece : maker.piece_range())
            maker.set_hash(piece, lt::sha1_hash("any twenty bytes...."));
        std::vector<char> bytes;
        lt::bencode(std::back_inserter(bytes), maker.generate());
        auto info = std::make_shared<const lt::torrent_info>(lt::span<char const>(bytes), lt::from_span);
        lt::torrent_status status;
        status.torrent_file = info;
        status.state = lt::torrent_status::downloading;
        status.pieces.resize(info->num_pieces(), false);
        for (int i = 0; i < info->num_pieces(); i += 3)
            status.pieces.set_bit(lt::piece_index_t(i));

        const QString key(40, QLatin1Char('a'));
        const qint64 heapBefore = heapBytes();
        StatusCache &cache = *kept.emplace_back(std::make_unique<StatusCache>());
        QElapsedTimer clock;
        clock.start();
        cache.update(key, status);
        const qint64 first = clock.nsecsElapsed();
        clock.restart();
        cache.update(key, status);
        const qint64 unchanged = clock.nsecsElapsed();
        status.pieces.set_bit(lt::piece_index_t(1));
        clock.restart();
        cache.update(key, status);
        const qint64 onePiece = clock.nsecsElapsed();
        clock.restart();
        const QByteArray frame = CoreProtocol::encodeReply(13, cache.rows());
        const qint64 encode = clock.nsecsElapsed();
        const qint64 heapAfter = heapBytes() - frame.size();
        say(QStringLiteral("rows: %1 files: %2 ms, %3 ms, %4 ms, %5 ms, %6 bytes, %7 KiB")
                .arg(count)
                .arg(first / 1e6, 0, 'f', 1)
                .arg(unchanged / 1e6, 0, 'f', 2)
                .arg(onePiece / 1e6, 0, 'f', 2)
                .arg(encode / 1e6, 0, 'f', 1)
                .arg(frame.size())
                .arg((heapAfter - heapBefore) / 1024));
    }
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    quick = args.removeAll(QStringLiteral("--quick")) > 0;
    const QString which = args.value(0, QStringLiteral("all"));
    if (qEnvironmentVariable("MORVANE_NETWORK") != QLatin1String("loopback"))
        qputenv("MORVANE_NETWORK", "loopback");
    if (!qEnvironmentVariableIsSet("QT_LOGGING_RULES"))
        qputenv("QT_LOGGING_RULES", "morvane.core.debug=false;morvane.core.info=false");
    if (which == QLatin1String("streaming") || which == QLatin1String("all"))
        benchStreaming();
    if (which == QLatin1String("throughput") || which == QLatin1String("all"))
        benchThroughput();
    if (which == QLatin1String("magnet") || which == QLatin1String("all"))
        benchMagnet();
    if (which == QLatin1String("idle") || which == QLatin1String("all"))
        benchIdle();
    if (which == QLatin1String("rows") || which == QLatin1String("all"))
        benchRows();
    return 0;
}
