#include "player/streamingpolicy.h"
#include "player/vlcengine.h"
#include "tests/support/scriptedengine.h"
#include "tests/support/scriptedpieces.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using Policy = StreamingPolicy;

// The streaming policy alone: a scripted engine and piece source, no window.
// The checks' timers are slowed down so that the test drives every check.
class TestStreamingPolicy : public QObject
{
    Q_OBJECT

private:
    ScriptedEngine m_engine;
    ScriptedPieces m_pieces;
    std::unique_ptr<Policy> m_policy;

    void openTorrent(const QByteArray &bits, float resumePos = 0)
    {
        m_pieces.bits = bits;
        m_policy->openTorrentFile(QStringLiteral("/d/clip.mkv"), QStringLiteral("abc"), 0,
            bits.startsWith('1'), PieceMap::fromText(bits), 262144, resumePos);
    }
    // The pieces arrive and their owner tells the policy.
    void arrive(const QByteArray &bits)
    {
        m_pieces.bits = bits;
        m_policy->piecesUpdated(QStringLiteral("abc"));
    }
    // The engine's thread reports a read waiting for a piece; the reaction
    // comes through the event loop, not on the tick.
    void engineLacks(int piece)
    {
        m_engine.lack = piece;
        QVERIFY(m_policy->engineEvent(VlcEngine::LackData));
        QCoreApplication::processEvents();
    }
    // The first picture, a read that waits before the clock runs (-1: none),
    // then the first position event.
    void firstPicture(int readWaitsFor = -1)
    {
        QVERIFY(m_policy->engineEvent(VlcEngine::VideoOutput));
        QCoreApplication::processEvents();
        QVERIFY(m_policy->awaitingFirstFrame());
        if (readWaitsFor >= 0) {
            const int pauses = m_engine.pauses;
            engineLacks(readWaitsFor);
            QVERIFY(m_pieces.requested.contains(readWaitsFor));
            QCOMPARE(m_engine.pauses, pauses);
            QVERIFY(m_policy->awaitingFirstFrame());
        }
        m_engine.timeMs = qMax<qint64>(m_engine.timeMs, 40);
        QVERIFY(m_policy->engineEvent(VlcEngine::PositionChanged));
        QCoreApplication::processEvents();
        QVERIFY(!m_policy->awaitingFirstFrame());
    }

private slots:
    void init()
    {
        m_engine = ScriptedEngine();
        m_pieces = ScriptedPieces();
        m_policy = std::make_unique<Policy>(&m_engine);
        m_policy->setPieceSource(&m_pieces);
        m_policy->setCheckIntervals(60000, 60000, 60000);
    }

    void start_data()
    {
        QTest::addColumn<QByteArray>("bits");
        QTest::addColumn<int>("lack"); // what the engine reads before its first picture
        QTest::addColumn<QByteArray>("arrived");
        QTest::addColumn<int>("mode");
        QTest::addColumn<float>("seekTo");
        QTest::addColumn<QString>("waiting"); // the message while the read waits
        // Saved position 0.3 in every row: only a seekable file goes there.
        QTest::newRow("no piece string yet") << QByteArray() << 0 << QByteArray("1111100001") << 2 << -1.0f
                                             << QString::fromUtf8("data caching.. 100 % \u00b7 1.2 MB/s");
        QTest::newRow("head missing") << QByteArray("0011100001") << 0 << QByteArray("1111100001") << 2
                                      << 0.3f << QString::fromUtf8("data caching.. 60 % \u00b7 1.2 MB/s");
        QTest::newRow("head only, tail read at open")
            << QByteArray("1111100000") << 9 << QByteArray("1111100001") << 1 << -1.0f
            << QString::fromUtf8("data caching.. 0 % \u00b7 1.2 MB/s");
        QTest::newRow("seekable") << QByteArray("1111100001") << -1 << QByteArray() << 2 << 0.3f << QString();
    }
    void start()
    {
        QFETCH(QByteArray, bits);
        QFETCH(int, lack);
        QFETCH(QByteArray, arrived);
        QFETCH(int, mode);
        QFETCH(float, seekTo);
        QFETCH(QString, waiting);

        QVERIFY2(!m_policy->engineEvent(VlcEngine::LackData), "events before the first open are ignored");
        QSignalSpy messages(&m_policy->view(), &StreamingView::messageChanged);
        openTorrent(bits, 0.3f);
        QCOMPARE(m_engine.opened, QStringList { "/d/clip.mkv" });
        if (bits.isEmpty()) {
            // Nothing can be read: the file waits for its piece string.
            QCOMPARE(m_policy->playState(), Policy::Stopped);
            QVERIFY(!m_engine.playing);
            QVERIFY(m_policy->fileCheckActive());
            QVERIFY(!m_policy->engineEvent(VlcEngine::NeedPieceString));
            // Nor before the download's file is on disk.
            m_engine.readable = false;
            arrive(arrived);
            QVERIFY(!m_engine.playing);
            m_engine.readable = true;
            arrive(arrived);
            QVERIFY(!m_policy->fileCheckActive());
        }
        // The engine starts at once, whatever is missing.
        QVERIFY(m_engine.playing);
        QCOMPARE(int(m_policy->mode()), mode);
        QCOMPARE(m_engine.refreshes.last().mode, mode);
        QCOMPARE(m_engine.positionsSet, seekTo < 0 ? QList<float> {} : QList<float> { seekTo });
        QCOMPARE(m_policy->lastPieceCheckActive(), mode == 1);
        const bool headThere = bits.startsWith('1');
        QCOMPARE(m_policy->playState(), int(headThere ? Policy::Playing : Policy::Caching));
        QCOMPARE(m_policy->sliderEnabled(), headThere && mode == 2);

        // The engine asks for the piece string from its own thread.
        m_engine.refreshes.clear();
        QVERIFY(m_policy->engineEvent(VlcEngine::NeedPieceString));
        QCOMPARE(m_engine.refreshes.size(), 1);

        if (lack >= 0) {
            m_policy->setDownloadRate(QStringLiteral("1.2 MB/s"));
            engineLacks(lack);
            QCOMPARE(m_pieces.requested, QList<int> { lack });
            QCOMPARE(m_engine.pauses, 0);
            QCOMPARE(m_policy->playState(), Policy::Caching);
            QCOMPARE(m_policy->message(), waiting);
            QVERIFY(!m_policy->sliderEnabled());
            // The piece is in: the waiting read is woken with it at once.
            m_engine.refreshes.clear();
            QSignalSpy map(&m_policy->view(), &StreamingView::piecesChanged);
            arrive(arrived);
            QCOMPARE(m_engine.refreshes.size(), 1);
            QCOMPARE(m_engine.refreshes.first().bits, arrived);
            // The same string again: no wake, no repaint of the seek bar.
            arrive(arrived);
            QCOMPARE(m_engine.refreshes.size(), 1);
            QCOMPARE(map.size(), (bits.isEmpty() ? arrived : bits) == arrived ? 0 : 1);
            // Until the first picture the message stays, with the news.
            QCOMPARE(m_policy->playState(), Policy::Caching);
            QVERIFY2(m_policy->message().startsWith(QStringLiteral("data caching.. 100 % ")),
                qPrintable(m_policy->message()));
        }
        // The clock needs a little more than the picture: a read that waits
        // in between only asks for its piece.
        firstPicture(lack >= 0 ? 5 : -1);
        QCOMPARE(m_policy->playState(), Policy::Playing);
        QCOMPARE(m_policy->message(), QString());
        QCOMPARE(m_policy->sliderEnabled(), mode == 2);
        QCOMPARE(m_engine.pauses, 0);
        if (lack >= 0)
            QCOMPARE(messages.last().at(0).toString(), QStringLiteral("finsh.."));
        else
            QVERIFY(messages.isEmpty() || messages.last().at(0).toString().isEmpty());
    }

    void plainFile()
    {
        m_policy->openPlainFile(QStringLiteral("/v/clip.mp4"), 0.5f);
        QCOMPARE(m_policy->source(), Policy::Source::PlainFile);
        QCOMPARE(m_engine.refreshes.last().mode, 0);
        m_policy->userChangePosition(80);
        QCOMPARE(m_engine.positionsSet, (QList<float> { 0.5f, 0.8f }));
        QVERIFY(!m_policy->fileCheckActive() && !m_policy->lastPieceCheckActive());
        // A blank hash from the list is a plain file too, not a torrent.
        m_policy->openTorrentFile(QStringLiteral("/v/a.mp4"), QStringLiteral(" "), -1, true, {}, 0, 0);
        QCOMPARE(m_policy->source(), Policy::Source::PlainFile);
        QVERIFY(m_policy->sliderEnabled());
    }

    void missingPiece_data()
    {
        QTest::addColumn<QByteArray>("bits");
        QTest::addColumn<int>("lack");
        QTest::addColumn<bool>("pauses");
        QTest::addColumn<bool>("asks");
        QTest::newRow("mode 1, gap") << QByteArray("1111100000") << 5 << true << true;
        QTest::newRow("mode 1, last piece ignored") << QByteArray("1111100000") << 9 << false << false;
        QTest::newRow("mode 2, gap") << QByteArray("1111100001") << 5 << true << true;
        QTest::newRow("mode 2, present: priority only") << QByteArray("1111111101") << 5 << false << true;
    }
    void missingPiece()
    {
        QFETCH(QByteArray, bits);
        QFETCH(int, lack);
        QFETCH(bool, pauses);
        QFETCH(bool, asks);
        openTorrent(bits);
        firstPicture();
        const int mode = int(m_policy->mode());
        m_pieces.requested.clear();
        engineLacks(lack);
        QCOMPARE(m_engine.pauses, pauses ? 1 : 0);
        QCOMPARE(m_policy->playState(), int(pauses ? Policy::Caching : Policy::Playing));
        QCOMPARE(m_policy->pieceCheckActive(), pauses);
        QCOMPARE(m_policy->message().left(14), pauses ? QStringLiteral("data caching..") : QString());
        // Asking is what makes the core fetch the piece first.
        QCOMPARE(m_pieces.requested, asks ? QList<int> { lack } : QList<int> {});
        if (!pauses) {
            QCOMPARE(m_policy->sliderEnabled(), mode == 2);
            return;
        }
        QVERIFY(!m_policy->sliderEnabled());

        // Running playback goes on with a piece in hand beyond what the read
        // needs (a seek does not wait for it)...
        const int plays = m_engine.plays;
        arrive(bits.left(5) + "110" + bits.mid(8));
        QCOMPARE(m_policy->playState(), Policy::Caching);
        QSignalSpy messages(&m_policy->view(), &StreamingView::messageChanged);
        arrive(bits.left(5) + "111" + bits.mid(8));
        QCOMPARE(m_policy->playState(), Policy::Playing);
        QCOMPARE(m_engine.plays, plays + 1);
        QCOMPARE(m_engine.refreshes.last().mode, mode);
        QCOMPARE(m_engine.refreshes.last().bits.mid(5, 3), QByteArray("111"));
        QCOMPARE(m_policy->sliderEnabled(), mode == 2);
        QVERIFY(!m_policy->pieceCheckActive());
        QCOMPARE(messages.last().at(0).toString(), QStringLiteral("finsh.."));
        QCOMPARE(messages.last().at(1).toBool(), true);
    }

    void waitWithinWhatWasReadAhead()
    {
        // Ten pieces of 256 KiB playing ten seconds: 256 KiB read ahead is a
        // second of playback, of which a missing piece may take 500 ms.
        m_engine.lengthMs = 10000;
        m_engine.readAhead = 262144;
        openTorrent("1111100001");
        firstPicture();
        engineLacks(5);
        QCOMPARE(m_pieces.requested.last(), 5); // asked for at once
        QCOMPARE(m_engine.pauses, 0);
        QCOMPARE(m_policy->message(), QString());
        QVERIFY(m_policy->holdPending());
        arrive("1111110001");
        // Whenever the grace ends, the piece was there in time.
        QTRY_VERIFY_WITH_TIMEOUT(!m_policy->holdPending(), 2000);
        QCOMPARE(m_engine.pauses, 0);
        QCOMPARE(m_policy->playState(), Policy::Playing);
        // A piece that does not come in time stops playback, while the
        // engine still has data in hand to pause on.
        engineLacks(6);
        QTRY_COMPARE_WITH_TIMEOUT(m_engine.pauses, 1, 1000);
        QCOMPARE(m_policy->playState(), Policy::Caching);
        QVERIFY(m_policy->message().startsWith(QStringLiteral("data caching..")));
    }

    void headOnlyBecomesSeekable()
    {
        openTorrent("1111100000");
        firstPicture();
        m_policy->userChangePosition(40);
        QCOMPARE(m_engine.positionsSet, QList<float> {});
        QCOMPARE(m_policy->playState(), Policy::Playing);

        // The last piece arrives while playing: the slider comes back, the
        // engine stays head-only, and the core is not sent back to the head.
        m_pieces.bits = "1111100001";
        m_pieces.requested.clear();
        m_policy->lastPieceCheck();
        QVERIFY(m_policy->sliderEnabled());
        QVERIFY(!m_policy->lastPieceCheckActive());
        QCOMPARE(m_pieces.requested, QList<int> {});
        QCOMPARE(m_policy->mode(), Policy::Mode::HeadOnly);

        // Releasing the slider reopens seekable at the chosen place, at once.
        const int stops = m_engine.stops;
        m_policy->userChangePosition(40);
        QCOMPARE(m_engine.stops, stops + 1);
        QCOMPARE(m_policy->mode(), Policy::Mode::Seekable);
        QCOMPARE(m_engine.positionsSet, QList<float> { 0.4f });
        QCOMPARE(m_policy->message(), QStringLiteral("data caching.."));
        firstPicture();
        QCOMPARE(m_policy->playState(), Policy::Playing);

        // Caching in head-only mode when the last piece comes: reopened
        // seekable where playback stood.
        openTorrent("1111100000");
        firstPicture();
        engineLacks(5);
        QCOMPARE(m_policy->playState(), Policy::Caching);
        m_engine.positionNow = 0.25f;
        arrive("1111111101");
        QCOMPARE(m_policy->mode(), Policy::Mode::Seekable);
        QCOMPARE(m_engine.positionsSet.last(), 0.25f);
        QVERIFY(!m_policy->fileCheckActive() && !m_policy->pieceCheckActive());
    }

    void seekIntoAGap()
    {
        openTorrent("1111100001");
        firstPicture();
        m_engine.refreshes.clear();
        m_policy->userChangePosition(70);
        QCOMPARE(m_engine.refreshes.size(), 1);
        QCOMPARE(m_engine.refreshes.first().mode, 2);
        QCOMPARE(m_engine.positionsSet, QList<float> { 0.7f });
        QCOMPARE(m_policy->pos(), 0.7f);
        engineLacks(7);
        QCOMPARE(m_policy->playState(), Policy::Caching);
        QCOMPARE(m_engine.pauses, 1);
        QCOMPARE(m_pieces.requested, QList<int> { 7 });
        // The play button is ignored while caching.
        QVERIFY(!m_policy->userPause() && !m_policy->userPlay());
        // The two pieces the read needs are enough to go on.
        arrive("1111100110");
        QCOMPARE(m_policy->playState(), Policy::Playing);
        QVERIFY(m_engine.playing);
        QCOMPARE(m_policy->mode(), Policy::Mode::Seekable);
    }

    void endOfFile()
    {
        QSignalSpy ended(m_policy.get(), &Policy::endOfFile);
        openTorrent("1111111111");
        m_engine.lengthMs = 60400;
        m_engine.timeMs = 59900;
        m_policy->checkEnd();
        QCOMPARE(ended.size(), 0);
        m_engine.timeMs = 60100;
        m_policy->checkEnd();
        QCOMPARE(ended.size(), 1);
        m_policy->stop();
        QCOMPARE(m_engine.stops, 1);
        QCOMPARE(m_policy->source(), Policy::Source::None);
        QVERIFY(m_policy->pieces().isEmpty());
        // Once stopped, neither the time nor the engine's end ends it again,
        // and the engine is no longer handed a piece string.
        m_policy->checkEnd();
        m_policy->mediaEnded();
        QCOMPARE(ended.size(), 1);
        QVERIFY(!m_policy->engineEvent(VlcEngine::NeedPieceString));
    }

    void cachingMessageNamesTheCause_data()
    {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QString>("message");
        QTest::newRow("data coming") << QString() << "data caching.. 66 % \u00b7 433K/s";
        // Nothing can come in: the last rate seen is stale.
        QTest::newRow("no peers") << "no peers"
                                  << "data caching.. 66 % \u00b7 no peers";
        QTest::newRow("disk full") << "disk full"
                                   << "data caching.. 66 % \u00b7 disk full";
    }

    void cachingMessageNamesTheCause()
    {
        QFETCH(QString, cause);
        QFETCH(QString, message);
        StreamingView &view = m_policy->view();
        view.setDownloadRate(QStringLiteral("433K/s"));
        view.setWaitCause(cause);
        QCOMPARE(view.cachingMessage(PieceMap::fromText(QByteArray("0011000000")), 2), message);
    }
};

QTEST_GUILESS_MAIN(TestStreamingPolicy)
#include "tst_streamingpolicy.moc"
