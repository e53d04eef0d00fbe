// The core's arithmetic and parsing, without a swarm.
#include "core/coresettings.h"
#include "core/statuscache.h"
#include "core/streamingplan.h"
#include "core/torrentfetcher.h"
#include "core/torrentsession.h"

#include <QRandomGenerator>
#include <QTest>

#include <libtorrent/bencode.hpp>
#include <libtorrent/create_torrent.hpp>
#include <limits>

Q_DECLARE_METATYPE(QList<StreamingPlan::Deadline>)

class TestCoreLogic : public QObject
{
    Q_OBJECT

private slots:
    void portFrom_data();
    void portFrom();
    void bytesPerSecond_data();
    void bytesPerSecond();
    void listenInterfaces_data();
    void listenInterfaces();
    void splitComment_data();
    void splitComment();
    void loopbackHost_data();
    void loopbackHost();
    void isHash_data();
    void isHash();
    void startPlan_data();
    void startPlan();
    void windowPlan();
    void statusRowsFollowChangedPieces();
};

void TestCoreLogic::portFrom_data()
{
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("port");
    QTest::newRow("ticked valid") << true << "6881" << 6881;
    QTest::newRow("blanks around") << true << " 51413 " << 51413;
    QTest::newRow("unticked") << false << "6881" << 0;
    QTest::newRow("empty") << true << "" << 0;
    QTest::newRow("zero") << true << "0" << 0;
    QTest::newRow("too large") << true << "65536" << 0;
    QTest::newRow("largest") << true << "65535" << 65535;
    QTest::newRow("negative") << true << "-5" << 0;
    QTest::newRow("words") << true << "port" << 0;
}

void TestCoreLogic::portFrom()
{
    QFETCH(bool, ticked);
    QFETCH(QString, text);
    QFETCH(int, port);
    QCOMPARE(CoreSettings::portFrom(ticked, text), port);
}

void TestCoreLogic::bytesPerSecond_data()
{
    QTest::addColumn<uint>("kib");
    QTest::addColumn<int>("bytes");
    QTest::newRow("none") << 0u << 0;
    QTest::newRow("usual") << 300u << 300 * 1024;
    QTest::newRow("largest that fits") << 2097151u << 2097151 * 1024;
    // A wrapped product would be negative or tiny: no limit, or a crawl.
    QTest::newRow("one more") << 2097152u << std::numeric_limits<int>::max() - 1;
    QTest::newRow("largest in the file")
        << std::numeric_limits<uint>::max() << std::numeric_limits<int>::max() - 1;
}

void TestCoreLogic::bytesPerSecond()
{
    QFETCH(uint, kib);
    QFETCH(int, bytes);
    QCOMPARE(CoreSettings::bytesPerSecond(kib), bytes);
}

void TestCoreLogic::listenInterfaces_data()
{
    QTest::addColumn<bool>("loopback");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("ipv6");
    QTest::addColumn<QString>("interfaces");
    QTest::newRow("loopback ignores ipv6") << true << 0 << true << "127.0.0.1:0";
    QTest::newRow("loopback with port") << true << 7000 << false << "127.0.0.1:7000";
    QTest::newRow("open default port") << false << 0 << true << "0.0.0.0:6881,[::]:6881";
    QTest::newRow("open ipv4 only") << false << 7000 << false << "0.0.0.0:7000";
}

void TestCoreLogic::listenInterfaces()
{
    QFETCH(bool, loopback);
    QFETCH(int, port);
    QFETCH(bool, ipv6);
    QFETCH(QString, interfaces);
    CoreSettings settings;
    settings.loopback = loopback;
    settings.port = port;
    settings.ipv6 = ipv6;
    QCOMPARE(settings.listenInterfaces(), interfaces);
}

void TestCoreLogic::splitComment_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("download");
    QTest::addColumn<QString>("comment");
    QTest::newRow("plain") << "http://h/download.php?id=1"
                           << "http://h/download.php?id=1"
                           << "";
    QTest::newRow("with comment")
        << "http://h/download.php?id=42&passkey=k@http://h/details.php?id=42&cmtpage=1"
        << "http://h/download.php?id=42&passkey=k"
        << "http://h/details.php?id=42&cmtpage=1";
    QTest::newRow("user info stays") << "ftp://user:pw@h/a.torrent"
                                     << "ftp://user:pw@h/a.torrent"
                                     << "";
    QTest::newRow("user info and comment") << "https://u@h/a.torrent@https://h/c"
                                           << "https://u@h/a.torrent"
                                           << "https://h/c";
}

void TestCoreLogic::splitComment()
{
    QFETCH(QString, text);
    QFETCH(QString, download);
    QFETCH(QString, comment);
    QString gotDownload;
    QString gotComment;
    TorrentFetcher::splitComment(text, &gotDownload, &gotComment);
    QCOMPARE(gotDownload, download);
    QCOMPARE(gotComment, comment);
}

void TestCoreLogic::loopbackHost_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("loopback");
    QTest::newRow("127.0.0.1") << "127.0.0.1" << true;
    QTest::newRow("127.8.9.10") << "127.8.9.10" << true;
    QTest::newRow("localhost") << "localhost" << true;
    QTest::newRow("::1") << "::1" << true;
    QTest::newRow("private") << "192.168.1.2" << false;
    QTest::newRow("name") << "example.org" << false;
    QTest::newRow("prefix trick") << "127.0.0.1.example.org" << false;
}

void TestCoreLogic::loopbackHost()
{
    QFETCH(QString, host);
    QFETCH(bool, loopback);
    QCOMPARE(TorrentFetcher::isLoopbackHost(host), loopback);
}

void TestCoreLogic::isHash_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("hash");
    QTest::newRow("lower") << QString(40, 'a') << true;
    QTest::newRow("upper") << QString(40, 'F') << true;
    QTest::newRow("short") << QString(39, 'a') << false;
    QTest::newRow("long") << QString(41, 'a') << false;
    QTest::newRow("not hex") << QString(40, 'g') << false;
    QTest::newRow("empty") << QString() << false;
}

void TestCoreLogic::isHash()
{
    QFETCH(QString, text);
    QFETCH(bool, hash);
    QCOMPARE(TorrentSession::isHash(text), hash);
}

void TestCoreLogic::startPlan_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<qint64>("pieceLength");
    QTest::addColumn<QString>("have"); // '1' present, by torrent piece
    QTest::addColumn<QList<int>>("order");

    // 4 MiB pieces: five head pieces, one tail piece.
    QTest::newRow("head then tail") << 10 << 40 << qint64(4 << 20) << QString()
                                    << QList<int> { 10, 11, 12, 13, 14, 40 };
    QTest::newRow("present pieces skipped")
        << 10 << 40 << qint64(4 << 20) << QString(11, '0') + "1" + QString(40, '0')
        << QList<int> { 10, 12, 13, 14, 40 };
    QTest::newRow("small file, no repeats")
        << 3 << 5 << qint64(4 << 20) << QString() << QList<int> { 3, 4, 5 };
    // 512 KiB pieces: a two-piece tail (1 MiB).
    QTest::newRow("two tail pieces") << 0 << 20 << qint64(512 << 10) << QString()
                                     << QList<int> { 0, 1, 2, 3, 4, 19, 20 };
}

void TestCoreLogic::startPlan()
{
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(qint64, pieceLength);
    QFETCH(QString, have);
    QFETCH(QList<int>, order);
    QBitArray bits(have.size());
    for (int i = 0; i < have.size(); ++i)
        bits.setBit(i, have.at(i) == '1');
    const QList<StreamingPlan::Deadline> plan = StreamingPlan::forStart(first, last, pieceLength, bits);
    QList<int> pieces;
    int previous = -1;
    for (const StreamingPlan::Deadline &d : plan) {
        pieces.append(d.piece);
        QVERIFY(d.milliseconds > previous); // earlier pieces are due earlier
        previous = d.milliseconds;
    }
    QCOMPARE(pieces, order);
}

void TestCoreLogic::windowPlan()
{
    // 256 KiB pieces: a 1 MiB window would be 4 pieces; the player checks 5.
    QList<StreamingPlan::Deadline> plan = StreamingPlan::forWindow(100, 400, 256 * 1024, QBitArray());
    QCOMPARE(plan.size(), 5);
    for (int i = 0; i < plan.size(); ++i) {
        QCOMPARE(plan.at(i).piece, 100 + i);
        if (i > 0)
            QVERIFY(plan.at(i).milliseconds > plan.at(i - 1).milliseconds);
    }
    // 64 KiB pieces: 16 pieces make the megabyte.
    QCOMPARE(StreamingPlan::forWindow(0, 400, 64 * 1024, QBitArray()).size(), 16);

    // Present pieces are skipped; the window stops at the file's end.
    QBitArray have(400);
    have.setBit(101);
    plan = StreamingPlan::forWindow(100, 102, 256 * 1024, have);
    QCOMPARE(plan.size(), 2);
    QCOMPARE(plan.at(0).piece, 100);
    QCOMPARE(plan.at(1).piece, 102);

    // Nonsense ranges plan nothing.
    QVERIFY(StreamingPlan::forWindow(10, 5, 256 * 1024, QBitArray()).isEmpty());
    QVERIFY(StreamingPlan::forStart(-1, 5, 256 * 1024, QBitArray()).isEmpty());
}

// Rebuilding only the files a changed piece touches must give the row a
// full build gives: files spanning pieces, sharing pieces, of no bytes.
void TestCoreLogic::statusRowsFollowChangedPieces()
{
    lt::file_storage files;
    for (const std::int64_t size : { 1, 40000, 5, 0, 100000, 3, 16384, 70000 })
        files.add_file("show/f" + std::to_string(files.num_files()), size);
    lt::create_torrent maker(files, 16 * 1024, lt::create_torrent::v1_only);
    for (const lt::piece_index_t piece : maker.piece_range())
        maker.set_hash(piece, lt::sha1_hash("any twenty bytes...."));
    std::vector<char> bytes;
    lt::bencode(std::back_inserter(bytes), maker.generate());
    const auto info = std::make_shared<const lt::torrent_info>(lt::span<char const>(bytes), lt::from_span);

    lt::torrent_status status;
    status.torrent_file = info;
    status.state = lt::torrent_status::downloading;
    status.pieces.resize(info->num_pieces(), false);
    const QString key(40, QLatin1Char('a'));
    StatusCache kept;
    kept.update(key, status);
    QRandomGenerator random(7);
    for (int step = 0; step < 200; ++step) {
        const lt::piece_index_t piece(int(random.bounded(info->num_pieces())));
        status.pieces.set_bit(piece);
        if (random.bounded(3) == 0)
            status.pieces.clear_bit(lt::piece_index_t(int(random.bounded(info->num_pieces()))));
        kept.update(key, status);
        StatusCache fresh;
        fresh.update(key, status);
        QCOMPARE(kept.rows(), fresh.rows());
    }
    QCOMPARE(kept.rows().first().size(), 12 + 4 * 8);
}

QTEST_GUILESS_MAIN(TestCoreLogic)
#include "tst_corelogic.moc"
