#include "player/piecegate.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <future>
#include <thread>

// The gate on a file whose missing pieces hold a marker pattern: whatever the
// gate serves must never contain it.
class TestPieceGate : public QObject
{
    Q_OBJECT

    static constexpr int L = 100;
    static constexpr char Marker = char(0xEE);

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void reads_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QByteArray>("bits");
        QTest::addColumn<int>("pieceLength");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("served"); // -1: the read blocks
        QTest::addColumn<int>("lack");
        QTest::addColumn<bool>("reported");

        QTest::newRow("plain file ignores the piece string")
            << 0 << QByteArray("0000") << L << 0 << 400 << 400 << -1 << false;
        QTest::newRow("all present") << 2 << QByteArray("1111") << L << 0 << 400 << 400 << -1 << false;
        QTest::newRow("stops a piece before a gap")
            << 2 << QByteArray("1101") << L << 0 << 400 << 100 << -1 << false;
        QTest::newRow("margin piece missing blocks")
            << 2 << QByteArray("1101") << L << 120 << 50 << -1 << 2 << true;
        QTest::newRow("missing head blocks") << 1 << QByteArray("0111") << L << 0 << 10 << -1 << 0 << true;
        QTest::newRow("last piece needs only itself")
            << 2 << QByteArray("0001") << L << 350 << 50 << 50 << -1 << false;
        QTest::newRow("head-only reports the last piece")
            << 1 << QByteArray("1110") << L << 250 << 10 << -1 << 3 << true;
        QTest::newRow("seekable reports the last piece")
            << 2 << QByteArray("1110") << L << 250 << 10 << -1 << 3 << true;
        QTest::newRow("piece length unknown") << 2 << QByteArray("1111") << 0 << 0 << 10 << -1 << 0 << true;
        QTest::newRow("empty piece string") << 1 << QByteArray() << L << 0 << 10 << -1 << 0 << true;
        QTest::newRow("piece string too short") << 2 << QByteArray("11") << L << 250 << 10 << -1 << 2 << true;
        QTest::newRow("short string serves what it covers")
            << 2 << QByteArray("111") << L << 0 << 400 << 300 << -1 << false;
        QTest::newRow("end of file") << 2 << QByteArray("1111") << L << 400 << 10 << 0 << -1 << false;
        QTest::newRow("read clipped at end of file")
            << 2 << QByteArray("1111") << L << 390 << 100 << 10 << -1 << false;
    }
    void reads()
    {
        QFETCH(int, mode);
        QFETCH(QByteArray, bits);
        QFETCH(int, pieceLength);
        QFETCH(int, offset);
        QFETCH(int, length);
        QFETCH(int, served);
        QFETCH(int, lack);
        QFETCH(bool, reported);

        const QString path = makeFile(4, "1111");
        PieceGate gate;
        std::atomic<int> lackEvents { 0 };
        gate.setEventSink([&](int event) { lackEvents += event == PieceGate::LackData; });
        gate.refreshBitfield(mode, bits.constData(), int(bits.size()), pieceLength);
        PieceGate::Stream *stream = gate.open(path, nullptr);
        QVERIFY(stream);
        QVERIFY(gate.seek(stream, quint64(offset)));

        QByteArray buffer(length, '\0');
        auto read = std::async(std::launch::async, [&] { return gate.read(stream, buffer.data(), length); });
        if (served >= 0) {
            QCOMPARE(read.wait_for(std::chrono::seconds(5)), std::future_status::ready);
            QCOMPARE(read.get(), qint64(served));
            QCOMPARE(buffer.left(served), expectedBytes(offset, served));
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(gate.hasBlockedRead(), 5000);
            QCOMPARE(gate.lackPiece(), lack);
            QCOMPARE(lackEvents.load(), reported ? 1 : 0);
            gate.failBlockedReads();
            QCOMPARE(read.wait_for(std::chrono::seconds(5)), std::future_status::ready);
            QCOMPARE(read.get(), qint64(-1));
            // Failed for good: the engine sees a permanent end of this open.
            QCOMPARE(gate.read(stream, buffer.data(), 1), qint64(-1));
        }
        gate.close(stream);
    }

    void refreshWakesABlockedRead()
    {
        const QString path = makeFile(6, "111111");
        PieceGate gate;
        std::atomic<int> lackEvents { 0 };
        gate.setEventSink([&](int event) { lackEvents += event == PieceGate::LackData; });
        gate.refreshBitfield(2, "110011", 6, L);
        PieceGate::Stream *stream = gate.open(path, nullptr);
        QVERIFY(gate.seek(stream, 150));
        QByteArray buffer(200, '\0');
        auto read = std::async(std::launch::async, [&] { return gate.read(stream, buffer.data(), 200); });
        QTRY_VERIFY_WITH_TIMEOUT(gate.hasBlockedRead(), 5000);
        QCOMPARE(gate.lackPiece(), 2);
        QCOMPARE(lackEvents.load(), 1);

        // News without the piece: still blocked, reported once more.
        gate.refreshBitfield(2, "110011", 6, L);
        QTRY_COMPARE_WITH_TIMEOUT(lackEvents.load(), 2, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(gate.hasBlockedRead(), 5000);
        QCOMPARE(read.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);

        // Piece 2 arrives; piece 3 still missing limits the read to piece 1.
        gate.refreshBitfield(2, "111011", 6, L);
        QCOMPARE(read.wait_for(std::chrono::seconds(5)), std::future_status::ready);
        QCOMPARE(read.get(), qint64(50));
        QCOMPARE(buffer.left(50), expectedBytes(150, 50));
        gate.close(stream);
    }

    void failingReadsSparesLaterOpens()
    {
        const QString path = makeFile(4, "1111");
        PieceGate gate;
        gate.refreshBitfield(1, "0111", 4, L);
        PieceGate::Stream *old = gate.open(path, nullptr);
        char byte = 0;
        auto read = std::async(std::launch::async, [&] { return gate.read(old, &byte, 1); });
        QTRY_VERIFY_WITH_TIMEOUT(gate.hasBlockedRead(), 5000);
        gate.failBlockedReads();
        QCOMPARE(read.get(), qint64(-1));
        QVERIFY(!gate.hasBlockedRead());

        gate.refreshBitfield(1, "1111", 4, L);
        PieceGate::Stream *fresh = gate.open(path, nullptr);
        QByteArray buffer(10, '\0');
        QCOMPARE(gate.read(fresh, buffer.data(), 10), qint64(10));
        QCOMPARE(gate.read(old, buffer.data(), 10), qint64(-1));
        gate.close(old);
        gate.close(fresh);
    }

    void openAsksForThePieceStringAndReportsSize()
    {
        const QString path = makeFile(3, "111");
        PieceGate gate;
        QList<int> events;
        gate.setEventSink([&](int event) { events << event; });
        quint64 size = 0;
        PieceGate::Stream *stream = gate.open(path, &size);
        QVERIFY(stream);
        QCOMPARE(size, quint64(3 * L));
        QCOMPARE(events, QList<int> { PieceGate::NeedPieceString });
        gate.close(stream);
        QVERIFY(!gate.open(m_dir.filePath("absent"), &size));
    }

    void observerNeverSeesMissingData()
    {
        // Pieces 2 and 4 of 8 are missing and hold the marker on disk.
        const QByteArray bits = "11010111";
        const QString path = makeFile(8, bits);
        PieceGate gate;
        gate.refreshBitfield(2, bits.constData(), int(bits.size()), L);
        QByteArray seen;
        gate.setReadObserver([&](qint64, const char *data, qint64 length) { seen.append(data, length); });
        PieceGate::Stream *stream = gate.open(path, nullptr);
        for (qint64 offset : { 0, 50, 150, 250, 350, 450, 550, 650, 750 }) {
            gate.seek(stream, quint64(offset));
            QByteArray buffer(37, '\0');
            auto read = std::async(std::launch::async, [&] { return gate.read(stream, buffer.data(), 37); });
            const auto done
                = [&] { return read.wait_for(std::chrono::seconds(0)) == std::future_status::ready; };
            QTRY_VERIFY_WITH_TIMEOUT(done() || gate.hasBlockedRead(), 5000);
            if (!done()) {
                gate.refreshBitfield(2, bits.constData(), int(bits.size()), L); // same news: still blocked
                QTRY_VERIFY_WITH_TIMEOUT(gate.hasBlockedRead(), 5000);
                gate.failBlockedReads();
                read.get();
                gate.close(stream);
                stream = gate.open(path, nullptr);
            }
        }
        QVERIFY(!seen.isEmpty());
        QVERIFY(!seen.contains(Marker));
        gate.close(stream);
    }

private:
    // A file of count pieces; piece i holds byte (i*L + j) % 251 when bits[i]
    // is '1' and the marker otherwise.
    QString makeFile(int count, const QByteArray &bits)
    {
        QByteArray data;
        for (int i = 0; i < count * L; ++i)
            data.append(bits.at(i / L) == '1' ? char(i % 251) : Marker);
        const QString path = m_dir.filePath(QString::number(++m_files));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return QString();
        file.write(data);
        return path;
    }
    static QByteArray expectedBytes(int offset, int length)
    {
        QByteArray data;
        for (int i = offset; i < offset + length; ++i)
            data.append(char(i % 251));
        return data;
    }

    QTemporaryDir m_dir;
    int m_files = 0;
};

QTEST_GUILESS_MAIN(TestPieceGate)
#include "tst_piecegate.moc"
