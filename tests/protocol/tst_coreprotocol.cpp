#include "protocol/coreprotocol.h"
#include "protocol/replyreader.h"
#include "protocol/requestreader.h"

#include <QDataStream>
#include <QtTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// What the wire would carry if the same values went through QDataStream
// directly: the readers must agree with it, not only with our own writer.
QByteArray streamed(qint32 type, const QList<QStringList> &rows, bool withRows)
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s.setVersion(QDataStream::Qt_4_6);
    s << type;
    if (withRows)
        s << rows;
    return out;
}

QList<CoreReply> readAllReplies(ReplyReader &reader, FrameReader::Status *last = nullptr)
{
    QList<CoreReply> out;
    CoreReply reply;
    FrameReader::Status st;
    while ((st = reader.next(reply)) == FrameReader::FrameReady)
        out.append(reply);
    if (last)
        *last = st;
    return out;
}

bool sameList(const QStringList &a, const QStringList &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (a[i] != b[i] || a[i].isNull() != b[i].isNull())
            return false;
    return true;
}

bool sameRows(const QList<QStringList> &a, const QList<QStringList> &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (!sameList(a[i], b[i]))
            return false;
    return true;
}

const QList<QStringList> sampleRows = {
    { "0123456789abcdef0123456789abcdef01234567", "Big Buck Bunny.mkv", "", QString(), "0.5" },
    {},
    { QString::fromUtf8("\xe4\xb8\xad\xe6\x96\x87 \xf0\x9f\x8e\xac"), "1010" },
};

} // namespace

class TestCoreProtocol : public QObject
{
    Q_OBJECT

private slots:
    void requestBytes_data();
    void requestBytes();
    void replyBytes_data();
    void replyBytes();
    void requestRoundTrip();
    void replyMatchesQDataStream_data();
    void replyMatchesQDataStream();
    void splitAtEveryOffset();
    void byteByByte();
    void burstInOneRead();
    void unknownTypesAreFourBytes();
    void announcedSizeWaitsForBytes();
    void corruptFrames_data();
    void corruptFrames();
    void corruptRequests_data();
    void corruptRequests();
    void largeFrameInManyReads();
};

void TestCoreProtocol::requestBytes_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("prepare-quit") << 21 << QStringList { "" } << hex("00000015 00000001 00000000");
    QTest::newRow("pause abc") << 5 << QStringList { "abc" }
                               << hex("00000005 00000001 00000006 006100620063");
    QTest::newRow("null argument") << 12 << QStringList { QString() } << hex("0000000C 00000001 FFFFFFFF");
    QTest::newRow("two hashes") << 4 << QStringList { "a", "b" }
                                << hex("00000004 00000002 00000002 0061 00000002 0062");
    QTest::newRow("non-ascii") << 15 << QStringList { QString::fromUtf8("\xc3\xa9") }
                               << hex("0000000F 00000001 00000002 00E9");
}

void TestCoreProtocol::requestBytes()
{
    QFETCH(int, type);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, bytes);

    QCOMPARE(CoreProtocol::encodeRequest(type, arguments).toHex(' '), bytes.toHex(' '));

    RequestReader reader;
    reader.append(bytes);
    CoreRequest request;
    QCOMPARE(reader.next(request), FrameReader::FrameReady);
    QCOMPARE(request.type, type);
    QVERIFY(sameList(request.arguments, arguments));
    QCOMPARE(reader.next(request), FrameReader::NeedMoreData);
    QCOMPARE(reader.bufferedBytes(), 0);
}

void TestCoreProtocol::replyBytes_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("ready to close") << 21 << QList<QStringList> {} << hex("00000015");
    QTest::newRow("empty startup list") << 12 << QList<QStringList> {} << hex("0000000C 00000000");
    // Rows handed to a type without payload are not written.
    QTest::newRow("no payload type drops rows") << 7 << QList<QStringList> { { "x" } } << hex("00000007");
    QTest::newRow("url added") << 19 << QList<QStringList> { { "", QString() } }
                               << hex("00000013 00000001 00000002 00000000 FFFFFFFF");
}

void TestCoreProtocol::replyBytes()
{
    QFETCH(int, type);
    QFETCH(QList<QStringList>, rows);
    QFETCH(QByteArray, bytes);

    QCOMPARE(CoreProtocol::encodeReply(type, rows).toHex(' '), bytes.toHex(' '));

    ReplyReader reader;
    reader.append(bytes);
    CoreReply reply;
    QCOMPARE(reader.next(reply), FrameReader::FrameReady);
    QCOMPARE(reply.type, type);
    QVERIFY(sameRows(reply.rows, CoreProtocol::replyHasRows(type) ? rows : QList<QStringList> {}));
    QCOMPARE(reader.next(reply), FrameReader::NeedMoreData);
}

void TestCoreProtocol::requestRoundTrip()
{
    RequestReader reader;
    const QStringList args { "", QString(), "magnet:?xt=urn:btih:abc",
        QString::fromUtf8("\xf0\x9f\x8e\xac") };
    reader.append(CoreProtocol::encodeRequest(1, args));
    reader.append(CoreProtocol::encodeRequest(13, { "x" }));
    CoreRequest request;
    QCOMPARE(reader.next(request), FrameReader::FrameReady);
    QCOMPARE(request.type, 1);
    QVERIFY(sameList(request.arguments, args));
    QVERIFY(!request.arguments[0].isNull());
    QVERIFY(request.arguments[1].isNull());
    // Type 13 carries rows in a reply, but a request always carries one list.
    QCOMPARE(reader.next(request), FrameReader::FrameReady);
    QCOMPARE(request.type, 13);
    QCOMPARE(request.arguments, QStringList { "x" });
}

void TestCoreProtocol::replyMatchesQDataStream_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("withRows");
    for (int type : { 0, 1, 12, 13, 14, 19 })
        QTest::addRow("rows %d", type) << type << true;
    for (int type : { -1, 2, 9, 18, 21, 255 })
        QTest::addRow("bare %d", type) << type << false;
}

void TestCoreProtocol::replyMatchesQDataStream()
{
    QFETCH(int, type);
    QFETCH(bool, withRows);

    const QByteArray bytes = streamed(type, sampleRows, withRows);
    QCOMPARE(CoreProtocol::encodeReply(type, sampleRows), bytes);
    QCOMPARE(CoreProtocol::replyHasRows(type), withRows);

    ReplyReader reader;
    reader.append(bytes);
    CoreReply reply;
    QCOMPARE(reader.next(reply), FrameReader::FrameReady);
    QCOMPARE(reply.type, type);
    QVERIFY(sameRows(reply.rows, withRows ? sampleRows : QList<QStringList> {}));
}

void TestCoreProtocol::splitAtEveryOffset()
{
    const QByteArray first = CoreProtocol::encodeReply(13, sampleRows);
    const QByteArray stream
        = first + CoreProtocol::encodeReply(21) + CoreProtocol::encodeReply(12, { { "h" } });

    for (qsizetype cut = 0; cut <= stream.size(); ++cut) {
        ReplyReader reader;
        reader.append(stream.left(cut));
        FrameReader::Status st;
        QList<CoreReply> got = readAllReplies(reader, &st);
        QCOMPARE(st, FrameReader::NeedMoreData);
        // Only frames whose last byte has arrived come out.
        const int whole = cut >= stream.size() ? 3
            : cut >= first.size() + 4          ? 2
            : cut >= first.size()              ? 1
                                               : 0;
        QCOMPARE(got.size(), whole);
        reader.append(stream.mid(cut));
        got += readAllReplies(reader, &st);
        QCOMPARE(st, FrameReader::NeedMoreData);
        QCOMPARE(got.size(), 3);
        QCOMPARE(got[0].type, 13);
        QVERIFY2(sameRows(got[0].rows, sampleRows), qPrintable(QString::number(cut)));
        QCOMPARE(got[1].type, 21);
        QCOMPARE(got[2].type, 12);
        QCOMPARE(got[2].rows, QList<QStringList> { { "h" } });
    }
}

void TestCoreProtocol::byteByByte()
{
    const QByteArray stream = CoreProtocol::encodeRequest(11, { "hash", "0", "3", "40" })
        + CoreProtocol::encodeRequest(21, { "" });
    RequestReader reader;
    QList<CoreRequest> got;
    for (char c : stream) {
        reader.append(&c, 1);
        CoreRequest request;
        while (reader.next(request) == FrameReader::FrameReady)
            got.append(request);
    }
    QCOMPARE(got.size(), 2);
    QCOMPARE(got[0].arguments, (QStringList { "hash", "0", "3", "40" }));
    QCOMPARE(got[1].type, 21);
    QCOMPARE(reader.bufferedBytes(), 0);
}

void TestCoreProtocol::burstInOneRead()
{
    QByteArray burst;
    for (int i = 0; i < 100; ++i)
        burst += CoreProtocol::encodeReply(13, { { QString::number(i) } });
    burst += CoreProtocol::encodeReply(21);
    ReplyReader reader;
    reader.append(burst);
    const QList<CoreReply> got = readAllReplies(reader);
    QCOMPARE(got.size(), 101);
    for (int i = 0; i < 100; ++i)
        QCOMPARE(got[i].rows.first().first(), QString::number(i));
    QCOMPARE(got.last().type, 21);
}

void TestCoreProtocol::unknownTypesAreFourBytes()
{
    // Type 7 followed by what would be a row count if it were read as one.
    ReplyReader reader;
    reader.append(hex("00000007 00000015 0000000C 00000000"));
    const QList<CoreReply> got = readAllReplies(reader);
    QCOMPARE(got.size(), 3);
    QCOMPARE(got[0].type, 7);
    QCOMPARE(got[1].type, 21);
    QCOMPARE(got[2].type, 12);
    QVERIFY(got[2].rows.isEmpty());
}

void TestCoreProtocol::announcedSizeWaitsForBytes()
{
    // A million rows announced, one present: plausible, so the reader waits.
    ReplyReader reader;
    reader.append(hex("0000000D 000F4240 00000001 00000002 0041"));
    CoreReply reply;
    QCOMPARE(reader.next(reply), FrameReader::NeedMoreData);
    QVERIFY(!reader.isCorrupt());
    // The rest of the frame completes it.
    QByteArray rest;
    for (int i = 1; i < 1000000; ++i)
        rest += hex("00000000");
    reader.append(rest);
    QCOMPARE(reader.next(reply), FrameReader::FrameReady);
    QCOMPARE(reply.rows.size(), 1000000);
    QCOMPARE(reply.rows.first(), QStringList { "A" });
}

void TestCoreProtocol::corruptFrames_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qsizetype>("maxFrame");

    const qsizetype dflt = FrameReader::DefaultMaxFrameBytes;
    QTest::newRow("odd string length") << hex("0000000D 00000001 00000001 00000003 006100") << dflt;
    QTest::newRow("row count beyond limit") << hex("0000000D FFFFFFF0") << dflt;
    QTest::newRow("field count beyond limit") << hex("00000000 00000001 7FFFFFFF") << dflt;
    QTest::newRow("string beyond limit") << hex("00000001 00000001 00000001 7FFFFFFE") << dflt;
    QTest::newRow("count beyond small limit") << hex("0000000E 00000010") << qsizetype(64);
    QTest::newRow("string beyond small limit") << hex("0000000E 00000001 00000001 00000040") << qsizetype(64);
}

void TestCoreProtocol::corruptFrames()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qsizetype, maxFrame);

    // A good frame before the bad one is still delivered.
    ReplyReader reader;
    reader.setMaxFrameBytes(maxFrame);
    reader.append(CoreProtocol::encodeReply(21) + bytes);
    CoreReply reply;
    QCOMPARE(reader.next(reply), FrameReader::FrameReady);
    QCOMPARE(reply.type, 21);
    QCOMPARE(reader.next(reply), FrameReader::Corrupt);
    QVERIFY(!reader.errorString().isEmpty());
    // Stays broken: nothing after a bad frame can be trusted.
    reader.append(CoreProtocol::encodeReply(21));
    QCOMPARE(reader.next(reply), FrameReader::Corrupt);
    reader.clear();
    reader.append(CoreProtocol::encodeReply(21));
    QCOMPARE(reader.next(reply), FrameReader::FrameReady);
}

void TestCoreProtocol::corruptRequests_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("odd length") << hex("00000005 00000001 00000005 0061006200");
    QTest::newRow("huge count") << hex("00000005 FFFFFFFE");
    QTest::newRow("huge string") << hex("00000000 00000001 FFFFFFFE");
}

void TestCoreProtocol::corruptRequests()
{
    QFETCH(QByteArray, bytes);
    RequestReader reader;
    reader.append(bytes);
    CoreRequest request;
    QCOMPARE(reader.next(request), FrameReader::Corrupt);
}

void TestCoreProtocol::largeFrameInManyReads()
{
    QList<QStringList> rows;
    for (int i = 0; i < 5000; ++i)
        rows.append({ QString(40, QLatin1Char('a' + i % 26)), QString::number(i), "0.25", "1048576" });
    const QByteArray frame = CoreProtocol::encodeReply(13, rows);
    ReplyReader reader;
    CoreReply reply;
    int delivered = 0;
    for (qsizetype at = 0; at < frame.size(); at += 997) {
        reader.append(frame.mid(at, 997));
        while (reader.next(reply) == FrameReader::FrameReady)
            ++delivered;
    }
    QCOMPARE(delivered, 1);
    QVERIFY(sameRows(reply.rows, rows));
}

QTEST_GUILESS_MAIN(TestCoreProtocol)
#include "tst_coreprotocol.moc"
