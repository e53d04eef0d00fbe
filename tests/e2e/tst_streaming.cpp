// The whole road of a magnet link: a rate-limited seed on loopback, the real
// MorvaneCore and the real Morvane on a private X server, watched from outside.
#include "settings/preferences.h"
#include "tests/e2e/playersession.h"
#include "tests/support/seedprocess.h"
#include "tests/support/temporaryhome.h"
#include "tests/support/testmedia.h"
#include "tests/support/xvfbserver.h"

#include <QDateTime>
#include <QLocalSocket>
#include <QSet>
#include <QtTest>

namespace {

// 60 s of 640x360 at 4 Mbit/s (about 30 MB): at 2 MB/s the tail is still
// missing for several seconds after playback starts.
QString makeClip(const QString &path)
{
    return TestMedia::make(TestMedia::reference({ 640, 360 }, 60), path) ? path : QString();
}

int distinctColours(const QImage &image, const QRect &area)
{
    QSet<QRgb> colours;
    const QRect inside = area.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); y += 4)
        for (int x = inside.left(); x <= inside.right(); x += 4)
            colours.insert(image.pixel(x, y));
    return int(colours.size());
}

} // namespace

class tst_Streaming : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void magnetStreamsSeeksAndQuits();
    void backgroundWorkKeepsCoreRunning();
    void cleanupTestCase();

private:
    void writeSettings(bool backgroundWork);

    TemporaryHome m_home;
    XvfbServer m_xvfb;
    QString m_clip;
    std::unique_ptr<SeedProcess> m_seed;
};

void tst_Streaming::initTestCase()
{
    QCoreApplication::setApplicationName("Morvane");
    QVERIFY(m_home.isValid());
    if (QStandardPaths::findExecutable("xdotool").isEmpty()
        || QStandardPaths::findExecutable("import").isEmpty())
        QSKIP("needs xdotool and imagemagick's import");
    QVERIFY2(m_xvfb.start(), "Xvfb did not start");
    m_clip = makeClip(QDir(m_home.path()).filePath("clip.mp4"));
    QVERIFY(!m_clip.isEmpty());
    m_seed = std::make_unique<SeedProcess>(
        m_clip, QStringList { "--rate", "2000000", "--piece-size", "262144" });
    QVERIFY2(m_seed->start(), qPrintable(m_seed->output()));
}

void tst_Streaming::cleanupTestCase()
{
    if (m_seed)
        m_seed->stop();
    m_xvfb.stop();
}

void tst_Streaming::writeSettings(bool backgroundWork)
{
    Preferences settings;
    // Stamped by the updater on a real install; with the handler registered
    // too, start-up goes straight to the window.
    settings.setValue("/config/time", QDateTime::currentDateTime().toString(Qt::ISODate));
    settings.setPtBackgroundWork(backgroundWork);
    settings.sync();
    QCOMPARE(settings.status(), QSettings::NoError);
}

void tst_Streaming::magnetStreamsSeeksAndQuits()
{
    writeSettings(false);
    PlayerSession session(m_home.environment(), m_xvfb.display());
    QVERIFY(session.isValid());
    QVERIFY(session.registerHandler());
    QVERIFY(session.start({ m_seed->magnet() }));

    // The magnet row ("no data..") first, then the row rebuilt with its files.
    const qint64 magnetRow = session.waitForLine("ready to add magnetUri-item..", 30000);
    QVERIFY2(magnetRow >= 0, qPrintable(session.log()));
    QVERIFY(session.lineTime(m_seed->hash(), magnetRow) >= 0);
    const qint64 fileRows
        = session.waitForLine("ready to rebuild item for magnetUri_refreshed..", 20000, magnetRow);
    QVERIFY2(fileRows >= 0, qPrintable(session.log()));
    QVERIFY(session.waitForLine("clip.mp4", 10000, fileRows) >= 0);

    // Playback: the time label advances.
    const qint64 started = session.waitForScreen(
        [](const PlayerSession::Screen &s) { return s.playState == 2 && s.current >= 1 && s.total >= 55; },
        30000, fileRows);
    QVERIFY2(started >= 0, qPrintable(session.log()));
    const int firstSecond = session.screen().current;
    QVERIFY2(session.waitForScreen(
                 [firstSecond](const PlayerSession::Screen &s) { return s.current >= firstSecond + 2; },
                 15000, started)
            >= 0,
        qPrintable(session.log()));

    // Something is drawn in the video area, not a flat colour.
    const PlayerSession::Screen playing = session.screen();
    QVERIFY(playing.video.width() > 100 && playing.video.height() > 100);
    const QImage shot = session.screenshot();
    QVERIFY(!shot.isNull());
    QVERIFY2(distinctColours(shot, playing.video) > 64,
        qPrintable(QString("video area has %1 colours").arg(distinctColours(shot, playing.video))));

    // A seek far ahead lands where nothing has arrived yet: caching, then
    // playback goes on from there.
    QVERIFY2(session.waitForScreen([](const PlayerSession::Screen &s) { return s.seekEnabled; }, 30000) >= 0,
        qPrintable(session.log()));
    const PlayerSession::Screen before = session.screen();
    const qint64 seekAt = session.now();
    const QPoint target(before.slider.x() + before.slider.width() * 85 / 100, before.slider.center().y());
    QVERIFY(session.click(target));
    QVERIFY2(
        session.waitForLine("ui: message data caching..", 15000, seekAt) >= 0, qPrintable(session.log()));
    const int total = before.total;
    QVERIFY2(session.waitForScreen(
                 [total](const PlayerSession::Screen &s) {
                     return s.playState == 2 && s.current >= total * 80 / 100 + 1;
                 },
                 30000, seekAt)
            >= 0,
        qPrintable(session.log()));

    // Quitting without background work asks the core to prepare (request 21)
    // and the core goes away with the player.
    QCOMPARE(session.corePids().size(), 1);
    const PlayerSession::Screen last = session.screen();
    const qint64 closeAt = session.now();
    QVERIFY(session.click(last.closeButton.center()));
    QVERIFY2(session.waitForLine("tell back server to prepare to quit..", 10000, closeAt) >= 0,
        qPrintable(session.log()));
    QVERIFY2(session.waitForPlayerExit(20000), qPrintable(session.log()));
    QVERIFY2(session.waitForCoreCount(0, 20000), "the core outlived the player");
}

void tst_Streaming::backgroundWorkKeepsCoreRunning()
{
    writeSettings(true);
    PlayerSession session(m_home.environment(), m_xvfb.display());
    QVERIFY(session.isValid());
    QVERIFY(session.registerHandler());
    QVERIFY(session.start({ m_seed->torrentPath() }));
    QVERIFY2(session.waitForLine("success..", 30000) >= 0, qPrintable(session.log()));
    // The core holds the download the player will leave to it.
    QVERIFY2(session.waitForScreen(
                 [](const PlayerSession::Screen &s) { return s.playState == 2 && s.current >= 1; }, 30000)
            >= 0,
        qPrintable(session.log()));
    QVERIFY(
        session.waitForScreen([](const PlayerSession::Screen &s) { return s.closeButton.width() > 0; }, 10000)
        >= 0);
    QCOMPARE(session.corePids().size(), 1);

    const qint64 closeAt = session.now();
    QVERIFY(session.click(session.screen().closeButton.center()));
    QVERIFY2(session.waitForPlayerExit(20000), qPrintable(session.log()));
    QCOMPARE(session.lineTime("tell back server to prepare to quit..", closeAt), -1);

    // Still there and still serving on its channel.
    QCOMPARE(session.corePids().size(), 1);
    QLocalSocket socket;
    socket.connectToServer(session.socketPath());
    QVERIFY2(socket.waitForConnected(5000), qPrintable(socket.errorString()));
    socket.disconnectFromServer();
    QCOMPARE(session.corePids().size(), 1);
}

QTEST_GUILESS_MAIN(tst_Streaming)
#include "tst_streaming.moc"
