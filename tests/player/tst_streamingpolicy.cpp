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
            bits.startsWith('1'), QString::fromLatin1(bits), 262144, resumePos);
    }
    // The pieces arrive and the model hands the newer string over.
    void arrive(const QByteArray &bits)
    {
        m_pieces.bits = bits;
        m_policy->bitFieldRefresh(QString::fromLatin1(bits), 262144);
    }
    void engineLacks(int piece)
    {
        m_engine.lack = piece;
        QVERIFY(m_policy->engineEvent(VlcEngine::LackData));
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
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("slider");
        QTest::addColumn<QString>("message");
        QTest::addColumn<float>("seekTo");
        // Saved position 0.3 in every row: only a seekable file goes there.
        QTest::newRow("head missing")
            << QByteArray("0011100001") << int(Policy::Stopped) << 1 << false << "data caching.." << -1.0f;
        QTest::newRow("head only") << QByteArray("1111100000") << int(Policy::Playing) << 1 << false << ""
                                   << -1.0f;
        QTest::newRow("seekable") << QByteArray("1111100001") << int(Policy::Playing) << 2 << true << ""
                                  << 0.3f;
    }
    void start()
    {
        QFETCH(QByteArray, bits);
        QFETCH(int, state);
        QFETCH(int, mode);
        QFETCH(bool, slider);
        QFETCH(QString, message);
        QFETCH(float, seekTo);

        QVERIFY2(!m_policy->engineEvent(VlcEngine::LackData), "events before the first open are ignored");
        openTorrent(bits, 0.3f);
        QCOMPARE(m_engine.opened, QStringList { "/d/clip.mkv" });
        QCOMPARE(m_policy->playState(), state);
        QCOMPARE(int(m_policy->mode()), mode);
        QCOMPARE(m_policy->sliderEnabled(), slider);
        QCOMPARE(m_policy->message(), message);
        QCOMPARE(m_engine.refreshes.last().mode, mode);
        QCOMPARE(m_engine.refreshes.last().bits, bits);
        QCOMPARE(m_engine.playing, state == Policy::Playing);
        QCOMPARE(m_engine.positionsSet, seekTo < 0 ? QList<float> {} : QList<float> { seekTo });
        QCOMPARE(m_policy->fileCheckActive(), state == Policy::Stopped);
        QCOMPARE(m_policy->lastPieceCheckActive(), state == Policy::Playing && mode == 1);

        // The engine asks for the piece string from its own thread.
        m_engine.refreshes.clear();
        QVERIFY(m_policy->engineEvent(VlcEngine::NeedPieceString));
        QCOMPARE(m_engine.refreshes.size(), 1);
        QCOMPARE(m_engine.refreshes.first().bits, bits);

        if (state == Policy::Stopped) {
            // Nothing plays until the head is in and the piece length known.
            m_pieces.bits = "1111100001";
            m_policy->bitFieldRefresh(QString::fromLatin1(m_pieces.bits), 0);
            QCOMPARE(m_policy->playState(), int(Policy::Stopped));
            arrive("1111100001");
            QCOMPARE(m_policy->playState(), int(Policy::Playing));
            QCOMPARE(m_policy->mode(), Policy::Mode::Seekable);
            QCOMPARE(m_engine.positionsSet, QList<float> {});
        }
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
        const int mode = int(m_policy->mode());
        m_pieces.readyQueries.clear();
        engineLacks(lack);
        m_policy->tick();
        QCOMPARE(m_engine.pauses, pauses ? 1 : 0);
        QCOMPARE(m_policy->playState(), int(pauses ? Policy::Caching : Policy::Playing));
        QCOMPARE(m_policy->pieceCheckActive(), pauses);
        QCOMPARE(m_policy->message(), pauses ? QStringLiteral("data caching..") : QString());
        // Asking is what makes the core fetch the piece first.
        QCOMPARE(m_pieces.readyQueries, asks ? QList<int> { lack } : QList<int> {});
        if (!pauses) {
            QCOMPARE(m_policy->sliderEnabled(), mode == 2);
            return;
        }
        QVERIFY(!m_policy->sliderEnabled());

        // Resume: an incomplete arrival keeps waiting, the rest plays on.
        const int plays = m_engine.plays;
        arrive(bits.left(5) + "10" + bits.mid(7));
        QCOMPARE(m_policy->playState(), int(Policy::Caching));
        QSignalSpy messages(m_policy.get(), &Policy::messageChanged);
        arrive(bits.left(5) + "111" + bits.mid(8));
        QCOMPARE(m_policy->playState(), int(Policy::Playing));
        QCOMPARE(m_engine.plays, plays + 1);
        QCOMPARE(m_engine.refreshes.last().mode, mode);
        QCOMPARE(m_engine.refreshes.last().bits.mid(5, 3), QByteArray("111"));
        QCOMPARE(m_policy->sliderEnabled(), mode == 2);
        QVERIFY(!m_policy->pieceCheckActive());
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages.first().at(0).toString(), QStringLiteral("finsh.."));
        QCOMPARE(messages.first().at(1).toBool(), true);
    }

    void headOnlyBecomesSeekable()
    {
        openTorrent("1111100000");
        m_policy->userChangePosition(40);
        QCOMPARE(m_engine.positionsSet, QList<float> {});
        QCOMPARE(m_policy->playState(), int(Policy::Playing));

        // The last piece arrives while playing: the slider comes back, the
        // core goes back to the head, the engine stays head-only.
        m_pieces.bits = "1111100001";
        m_pieces.readyQueries.clear();
        m_policy->lastPieceCheck();
        QVERIFY(m_policy->sliderEnabled());
        QVERIFY(!m_policy->lastPieceCheckActive());
        QCOMPARE(m_pieces.readyQueries, QList<int> { 0 });
        QCOMPARE(m_policy->mode(), Policy::Mode::HeadOnly);

        // Releasing the slider reopens seekable at the chosen place.
        const int stops = m_engine.stops;
        m_policy->userChangePosition(40);
        QCOMPARE(m_engine.stops, stops + 1);
        QCOMPARE(m_policy->playState(), int(Policy::Stopped));
        QCOMPARE(m_policy->message(), QStringLiteral("data caching.."));
        m_policy->torrentFileCheck();
        QCOMPARE(m_policy->playState(), int(Policy::Playing));
        QCOMPARE(m_policy->mode(), Policy::Mode::Seekable);
        QCOMPARE(m_engine.positionsSet, QList<float> { 0.4f });

        // Caching in head-only mode when the last piece comes: reopened
        // seekable where playback stood.
        openTorrent("1111100000");
        engineLacks(5);
        m_policy->tick();
        m_engine.positionNow = 0.25f;
        arrive("1111111101");
        QCOMPARE(m_policy->playState(), int(Policy::Stopped));
        QVERIFY(m_policy->fileCheckActive());
        m_policy->torrentFileCheck();
        QCOMPARE(m_policy->mode(), Policy::Mode::Seekable);
        QCOMPARE(m_engine.positionsSet.last(), 0.25f);
    }

    void seekIntoAGap()
    {
        openTorrent("1111100001");
        m_engine.refreshes.clear();
        m_policy->userChangePosition(70);
        QCOMPARE(m_engine.refreshes.size(), 1);
        QCOMPARE(m_engine.refreshes.first().mode, 2);
        QCOMPARE(m_engine.positionsSet, QList<float> { 0.7f });
        QCOMPARE(m_policy->pos(), 0.7f);
        engineLacks(7);
        m_policy->tick();
        QCOMPARE(m_policy->playState(), int(Policy::Caching));
        QCOMPARE(m_pieces.readyQueries.last(), 7);
        // Paused by the user meanwhile: the play button is ignored while caching.
        QVERIFY(!m_policy->userPause() && !m_policy->userPlay());
        arrive("1111100111");
        QCOMPARE(m_policy->playState(), int(Policy::Playing));
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
        QVERIFY(m_policy->bitField().isEmpty());
        // Once stopped, neither the time nor the engine's end ends it again,
        // and the engine is no longer handed a piece string.
        m_policy->checkEnd();
        m_policy->mediaEnded();
        QCOMPARE(ended.size(), 1);
        QVERIFY(!m_policy->engineEvent(VlcEngine::NeedPieceString));
    }
};

QTEST_GUILESS_MAIN(TestStreamingPolicy)
#include "tst_streamingpolicy.moc"
