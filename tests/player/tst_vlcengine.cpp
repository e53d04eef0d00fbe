#include "player/vlcengine.h"
#include "tests/support/damagedclip.h"
#include "tests/support/testmedia.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QTest>

#include <atomic>

// Real libvlc with dummy outputs, reading ffmpeg-made clips through the gate.
class TestVlcEngine : public QObject
{
    Q_OBJECT

    struct Events
    {
        std::atomic<int> lackData { 0 };
        std::atomic<int> needPieceString { 0 };
        std::atomic<int> endReached { 0 };
        std::atomic<int> stopped { 0 };
    };
    static void record(int type, void *data)
    {
        auto *events = static_cast<Events *>(data);
        switch (type) {
        case VlcEngine::LackData:
            ++events->lackData;
            break;
        case VlcEngine::NeedPieceString:
            ++events->needPieceString;
            break;
        case VlcEngine::EndReached:
            ++events->endReached;
            break;
        case VlcEngine::Stopped:
            ++events->stopped;
            break;
        default:
            break;
        }
    }

private slots:
    void initTestCase()
    {
        m_mkv = TestMedia::clip(TestMedia::Matroska, 4);
        QVERIFY(!m_mkv.isEmpty());
    }

    void playsPlainFiles_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("name");
        QTest::newRow("mp4 faststart") << int(TestMedia::FaststartMp4) << "clip.mp4";
        QTest::newRow("mp4 index at end") << int(TestMedia::TrailingIndexMp4) << "clip.mp4";
        QTest::newRow("mkv, blanks and non-ASCII") << int(TestMedia::Matroska) << "Фильм été 影片 (1).mkv";
    }
    void playsPlainFiles()
    {
        QFETCH(int, kind);
        QFETCH(QString, name);
        const QString path = TestMedia::copyAs(TestMedia::clip(TestMedia::Kind(kind), 2), name);
        VlcEngine engine({ "--aout=dummy" });
        QVERIFY(engine.isValid());
        Events events;
        engine.setEventCallback(&TestVlcEngine::record, &events);
        engine.open(path);
        engine.refreshBitfield(0, "", 1, 1);
        engine.play();
        QTRY_VERIFY_WITH_TIMEOUT(engine.time() > 0, 5000);
        QVERIFY(qAbs(engine.length() - 2000) < 300);
        QTRY_COMPARE_WITH_TIMEOUT(events.endReached.load(), 1, 8000);
        QCOMPARE(events.lackData.load(), 0);
    }

    void resumesAtAPositionSetAfterPlay()
    {
        VlcEngine engine({ "--aout=dummy" });
        engine.open(m_mkv);
        engine.refreshBitfield(0, "", 1, 1);
        engine.play();
        engine.setPosition(0.5f);
        QTRY_VERIFY_WITH_TIMEOUT(engine.time() >= 1900, 5000);
        QVERIFY(engine.time() < 3500);
    }

    void missingPieceHoldsPlaybackUntilItArrives()
    {
        DamagedClip clip(m_mkv, 24, { 10, 11 });
        VlcEngine engine({ "--aout=dummy" });
        Events events;
        engine.setEventCallback(&TestVlcEngine::record, &events);
        QByteArray served;
        QMutex lock;
        engine.gate().setReadObserver([&](qint64, const char *data, qint64 length) {
            QMutexLocker locker(&lock);
            served.append(data, length);
        });
        engine.open(clip.path);
        engine.refreshBitfield(2, clip.bits.constData(), int(clip.bits.size()), clip.pieceLength);
        engine.play();
        QTRY_VERIFY_WITH_TIMEOUT(events.lackData.load() > 0, 8000);
        QCOMPARE(engine.lackPiece(), 10);
        QTRY_VERIFY_WITH_TIMEOUT(engine.gate().hasBlockedRead(), 5000);
        {
            QMutexLocker locker(&lock);
            QVERIFY(!DamagedClip::hasMarker(served));
        }
        QCOMPARE(events.endReached.load(), 0);

        // The pieces arrive: the data is written, then the news comes.
        clip.repair();
        engine.refreshBitfield(2, clip.bits.constData(), int(clip.bits.size()), clip.pieceLength);
        QTRY_COMPARE_WITH_TIMEOUT(events.endReached.load(), 1, 10000);
    }

    void stopWhileAReadIsBlockedReturnsPromptly_data()
    {
        QTest::addColumn<QByteArray>("bits");
        QTest::addColumn<int>("mode");
        QTest::newRow("head missing") << QByteArray("0") << 1;
        QTest::newRow("piece string never came") << QByteArray() << 1;
    }
    void stopWhileAReadIsBlockedReturnsPromptly()
    {
        QFETCH(QByteArray, bits);
        QFETCH(int, mode);
        VlcEngine engine({ "--aout=dummy" });
        engine.open(m_mkv);
        const QByteArray padded = bits.isEmpty() ? bits : bits + QByteArray(15, '1');
        engine.refreshBitfield(mode, padded.constData(), int(padded.size()), 65536);
        engine.play();
        QTRY_VERIFY_WITH_TIMEOUT(engine.gate().hasBlockedRead(), 5000);
        QCOMPARE(engine.time(), qint64(0));
        QElapsedTimer clock;
        clock.start();
        engine.stop();
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!engine.gate().hasBlockedRead());

        // A new media after the stop reads again.
        engine.open(m_mkv);
        engine.refreshBitfield(0, "", 1, 1);
        engine.play();
        QTRY_VERIFY_WITH_TIMEOUT(engine.time() > 0, 5000);
        clock.restart();
        engine.stop();
        QVERIFY(clock.elapsed() < 1500);
    }

    void seekPastABlockedReadReopensAtTheTarget()
    {
        // Long enough that the gap lies well beyond the engine's read-ahead.
        const QString longer = TestMedia::clip(TestMedia::Matroska, 8);
        DamagedClip clip(longer, 32, { 12, 13 });
        VlcEngine engine({ "--aout=dummy" });
        QByteArray served;
        QMutex lock;
        engine.gate().setReadObserver([&](qint64, const char *data, qint64 length) {
            QMutexLocker locker(&lock);
            served.append(data, length);
        });
        engine.open(clip.path);
        engine.refreshBitfield(2, clip.bits.constData(), int(clip.bits.size()), clip.pieceLength);
        engine.play();
        QTRY_VERIFY_WITH_TIMEOUT(engine.gate().hasBlockedRead(), 8000);
        const qint64 stalledAt = engine.time();
        QVERIFY(stalledAt < 4000);

        QElapsedTimer clock;
        clock.start();
        engine.setPosition(0.8f);
        QTRY_VERIFY_WITH_TIMEOUT(engine.time() >= 6000, 5000);
        qDebug() << "at the target after" << clock.elapsed() << "ms";
        QMutexLocker locker(&lock);
        QVERIFY(!DamagedClip::hasMarker(served));
    }

    void subtitleFileLoads()
    {
        VlcEngine engine({ "--aout=dummy" });
        engine.open(m_mkv);
        engine.refreshBitfield(0, "", 1, 1);
        engine.play();
        QTRY_VERIFY_WITH_TIMEOUT(engine.time() > 0, 5000);
        const QString srt = TestMedia::copyAs(m_mkv, "sub.srt");
        QFile file(srt);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("1\n00:00:00,000 --> 00:00:04,000\nhello\n");
        file.close();
        QVERIFY(engine.setSubtitleFile(srt));
        QVERIFY(!engine.setSubtitleFile(QString()));
        engine.stop();
    }

private:
    QString m_mkv;
};

QTEST_MAIN(TestVlcEngine)
#include "tst_vlcengine.moc"
