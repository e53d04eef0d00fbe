// Other programs read the downloads' files over HTTP from the real
// MorvaneCore while they download, fed by throttled real seeds.
#include "coreharness.h"
#include "protocol/coreprotocol.h"

#include "tests/support/httpfetch.h"
#include "tests/support/testmedia.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

class TestStreamServer : public QObject, public CoreHarness
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void refusesWhatItDoesNotServe_data();
    void refusesWhatItDoesNotServe();
    void ffmpegReadsWhileDownloading();
    void farRangeComesFirst();
    void readerOfPresentPiecesDoesNotWaitForAnother();

private:
    // Shares bytes (or the file at source) at rate bytes/s and adds the
    // download to the core; returns the seed.
    std::unique_ptr<SeedProcess> addSeeded(const QString &source, int rate);
    QByteArray target(const QString &hash, int index, const QString &name = QString()) const;
    QByteArray get(const QByteArray &path, const QByteArray &range = QByteArray()) const;
    static QString ffmpegHash(const QString &input);

    quint16 m_port = 0;
    QByteArray m_token;
    QString m_smallHash;
    QByteArray m_small;
};

void TestStreamServer::initTestCase()
{
    QVERIFY(setUpHome(QStringLiteral("MorvaneStreamTest")));
    m_extendedReplies = true;
    QProcessEnvironment env;
    env.insert(QStringLiteral("MORVANE_CORE_STATUS_INTERVAL_MS"), QStringLiteral("200"));
    QVERIFY(startCore(env));
    const std::optional<CoreReply> address = m_client->waitFor(CoreProtocol::StreamAddress, 10000);
    QVERIFY(address);
    QCOMPARE(address->rows.size(), 1); // loopback only unless asked
    static const QRegularExpression form(QStringLiteral("^http://127\\.0\\.0\\.1:(\\d+)/([0-9a-f]{32})/$"));
    const QRegularExpressionMatch match = form.match(address->rows.first().value(0));
    QVERIFY2(match.hasMatch(), qPrintable(address->rows.first().value(0)));
    m_port = quint16(match.captured(1).toUInt());
    m_token = match.captured(2).toLatin1();

    // A small download, all there, for the answers that need no waiting.
    m_small = randomBytes(3 * kPieceSize + 1234, 7);
    const QString source = QDir(m_home->path()).filePath(QStringLiteral("source/small file.bin"));
    QVERIFY(writeFile(source, m_small));
    const auto seeder = addSeeded(source, 0);
    QVERIFY(seeder);
    m_smallHash = seeder->hash();
    QVERIFY(!waitForStatus(
        m_smallHash, [](const QStringList &row) { return row.value(7) == "1"; }, 30000)
                 .isEmpty());
}

void TestStreamServer::cleanupTestCase()
{
    tearDown();
}

std::unique_ptr<SeedProcess> TestStreamServer::addSeeded(const QString &source, int rate)
{
    auto seeder = seed(source, rate > 0 ? QStringList { "--rate", QString::number(rate) } : QStringList());
    if (!seeder)
        return nullptr;
    const int from = m_client->mark();
    m_client->send(CoreProtocol::AddTorrentFile, { seeder->torrentPath() });
    if (!m_client->waitFor(CoreProtocol::AddedTorrents, 10000, {}, from))
        return nullptr;
    return seeder;
}

QByteArray TestStreamServer::target(const QString &hash, int index, const QString &name) const
{
    QByteArray path = '/' + m_token + '/' + hash.toLatin1() + '/' + QByteArray::number(index);
    if (!name.isEmpty())
        path += '/' + QUrl::toPercentEncoding(name);
    return path;
}

QByteArray TestStreamServer::get(const QByteArray &path, const QByteArray &range) const
{
    QByteArray head = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1";
    if (!range.isEmpty())
        head += "\r\nRange: " + range;
    return head;
}

QString TestStreamServer::ffmpegHash(const QString &input)
{
    // Every packet of every stream: a wrong byte read changes it.
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
        { "-v", "error", "-nostdin", "-i", input, "-map", "0", "-c", "copy", "-f", "hash", "-hash", "sha256",
            "-" });
    if (!ffmpeg.waitForFinished(120000) || ffmpeg.exitCode() != 0) {
        qWarning().noquote() << ffmpeg.readAllStandardError();
        return QString();
    }
    return QString::fromLatin1(ffmpeg.readAllStandardOutput()).trimmed();
}

void TestStreamServer::refusesWhatItDoesNotServe_data()
{
    QTest::addColumn<QString>("path"); // TOKEN and HASH stand for the real ones
    QTest::addColumn<QByteArray>("range");
    QTest::addColumn<int>("status");

    QTest::newRow("wrong token") << "/0123456789abcdef0123456789abcdef/HASH/0" << QByteArray() << 403;
    QTest::newRow("no token") << "/HASH/0" << QByteArray() << 403;
    QTest::newRow("token's first half") << "/TOKEN_HALF/HASH/0" << QByteArray() << 403;
    QTest::newRow("unknown hash") << "/TOKEN/0000000000000000000000000000000000000000/0" << QByteArray()
                                  << 404;
    QTest::newRow("index past the files") << "/TOKEN/HASH/1" << QByteArray() << 404;
    QTest::newRow("negative index") << "/TOKEN/HASH/-1" << QByteArray() << 404;
    QTest::newRow("dot segments") << "/TOKEN/HASH/0/../../../../etc/passwd" << QByteArray() << 404;
    QTest::newRow("encoded dot segments")
        << "/TOKEN/HASH/0/..%2F..%2F..%2Fetc%2Fpasswd" << QByteArray() << 404;
    QTest::newRow("another name") << "/TOKEN/HASH/0/other.bin" << QByteArray() << 404;
    QTest::newRow("range past the end") << "/TOKEN/HASH/0" << QByteArray("bytes=999999999-") << 416;
}

void TestStreamServer::refusesWhatItDoesNotServe()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, range);
    QFETCH(int, status);
    path.replace(QStringLiteral("TOKEN_HALF"), QString::fromLatin1(m_token.left(16)));
    path.replace(QStringLiteral("TOKEN"), QString::fromLatin1(m_token));
    path.replace(QStringLiteral("HASH"), m_smallHash);

    HttpFetch refused(m_port, get(path.toLatin1(), range));
    QVERIFY(refused.waitDone(10000));
    QCOMPARE(refused.status(), status);
    QVERIFY(refused.body().isEmpty());
    if (status != 416) {
        // Nothing else: no body, and the connection ends.
        QVERIFY(refused.waitClosed(10000));
        QVERIFY(refused.trailing().isEmpty());
    }

    // The same connection's answers are sound around it: a file served by
    // name, with the range asked for.
    HttpFetch served(m_port, get(target(m_smallHash, 0, QStringLiteral("small file.bin")), "bytes=-1000"));
    QVERIFY(served.waitDone(10000));
    QCOMPARE(served.status(), 206);
    QCOMPARE(served.header("content-range"),
        "bytes " + QByteArray::number(m_small.size() - 1000) + '-' + QByteArray::number(m_small.size() - 1)
            + '/' + QByteArray::number(m_small.size()));
    QCOMPARE(served.body(), m_small.right(1000));
}

void TestStreamServer::ffmpegReadsWhileDownloading()
{
    const QString source = QDir(m_home->path()).filePath(QStringLiteral("source/clip.mp4"));
    TestMedia::Recipe recipe;
    recipe.seconds = 12;
    recipe.faststart = true;
    QVERIFY(TestMedia::make(recipe, source));
    const QString expected = ffmpegHash(source);
    QVERIFY(!expected.isEmpty());

    // ~8 s for the whole file: ffmpeg starts with a part of it there.
    const auto seeder = addSeeded(source, 400000);
    QVERIFY(seeder);
    const QStringList started = waitForStatus(
        seeder->hash(), [](const QStringList &row) { return row.value(8).count(QLatin1Char('1')) >= 2; },
        30000);
    QVERIFY(!started.isEmpty());
    QVERIFY2(started.value(8).contains(QLatin1Char('0')), "the file was complete before ffmpeg read it");

    const QString url = QStringLiteral("http://127.0.0.1:%1").arg(m_port)
        + QString::fromLatin1(target(seeder->hash(), 0, QStringLiteral("clip.mp4")));
    QCOMPARE(ffmpegHash(url), expected);
}

void TestStreamServer::farRangeComesFirst()
{
    constexpr int pieces = 48;
    const QByteArray bytes = randomBytes(qint64(pieces) * kPieceSize, 48);
    const QString source = QDir(m_home->path()).filePath(QStringLiteral("source/far.bin"));
    QVERIFY(writeFile(source, bytes));
    // 48 pieces in ~12 s, in an order of libtorrent's choosing.
    const auto seeder = addSeeded(source, 1000000);
    QVERIFY(seeder);

    // A seek far into the file: its pieces first, the ones between later.
    const qint64 first = qint64(40) * kPieceSize;
    HttpFetch seek(m_port,
        get(target(seeder->hash(), 0),
            "bytes=" + QByteArray::number(first) + '-' + QByteArray::number(first + 4 * kPieceSize - 1)));
    QVERIFY(seek.waitDone(60000));
    QCOMPARE(seek.status(), 206);
    QCOMPARE(seek.body(), bytes.mid(first, 4 * kPieceSize));
    const QString bits = waitForStatus(
        seeder->hash(), [](const QStringList &) { return true; }, 10000)
                             .value(8);
    QCOMPARE(bits.size(), pieces);
    // In libtorrent's random order most of the pieces between the first
    // (fetched early for a new download) and the range would be in by the
    // time all four of the range are.
    const qsizetype between = QStringView(bits).mid(3, 37).count(QLatin1Char('1'));
    qInfo("pieces in when the range was served: %s", qPrintable(bits));
    QVERIFY2(between < 10, qPrintable(bits));
}

void TestStreamServer::readerOfPresentPiecesDoesNotWaitForAnother()
{
    constexpr int pieces = 32;
    const QByteArray bytes = randomBytes(qint64(pieces) * kPieceSize, 32);
    const QString source = QDir(m_home->path()).filePath(QStringLiteral("source/two.bin"));
    QVERIFY(writeFile(source, bytes));
    const auto seeder = addSeeded(source, 600000);
    QVERIFY(seeder);

    // One reader of the whole file, soon waiting for a piece that is not here.
    HttpFetch whole(m_port, get(target(seeder->hash(), 0)));
    QVERIFY(QTest::qWaitFor([&] { return whole.body().size() >= kPieceSize; }, 30000));
    QVERIFY(!whole.isDone());
    // Meanwhile another reads what is here: it must not wait behind the first.
    HttpFetch head(m_port, get(target(seeder->hash(), 0), "bytes=0-" + QByteArray::number(kPieceSize - 1)));
    QVERIFY(head.waitDone(10000));
    QCOMPARE(head.status(), 206);
    QCOMPARE(head.body(), bytes.left(kPieceSize));
    QVERIFY2(!whole.isDone(), "the whole file came before the second reader's answer could be tested");

    QVERIFY(whole.waitDone(90000));
    QCOMPARE(whole.status(), 200);
    QCOMPARE(QCryptographicHash::hash(whole.body(), QCryptographicHash::Sha256),
        QCryptographicHash::hash(bytes, QCryptographicHash::Sha256));
}

QTEST_GUILESS_MAIN(TestStreamServer)
#include "tst_streamserver.moc"
