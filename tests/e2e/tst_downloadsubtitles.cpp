// A download of a video and its subtitle file, from a local seed through the
// real MorvaneCore to the real Morvane on a private X server: the subtitle
// comes with the video and is drawn on the picture.
#include "settings/preferences.h"
#include "tests/e2e/playersession.h"
#include "tests/support/picturetext.h"
#include "tests/support/seedprocess.h"
#include "tests/support/temporaryhome.h"
#include "tests/support/testmedia.h"
#include "tests/support/xvfbserver.h"

#include <QDateTime>
#include <QtTest>

class tst_DownloadSubtitles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void subtitleOfTheDownloadIsShown();
    void cleanupTestCase();

private:
    TemporaryHome m_home;
    XvfbServer m_xvfb;
    std::unique_ptr<SeedProcess> m_seed;
};

void tst_DownloadSubtitles::initTestCase()
{
    QCoreApplication::setApplicationName("Morvane");
    QVERIFY(m_home.isValid());
    if (QStandardPaths::findExecutable("xdotool").isEmpty()
        || QStandardPaths::findExecutable("import").isEmpty())
        QSKIP("needs xdotool and imagemagick's import");
    QVERIFY2(m_xvfb.start(), "Xvfb did not start");

    // A still blue picture: nothing near white of its own under the text.
    const QString folder = QDir(m_home.path()).filePath("Film");
    QVERIFY(QDir().mkpath(folder));
    TestMedia::Recipe recipe;
    recipe.colour = "blue";
    recipe.noise = 0;
    recipe.seconds = 30;
    recipe.faststart = true;
    QVERIFY(TestMedia::make(recipe, folder + "/film.mp4"));
    QVERIFY(TestMedia::writeSrt(folder + "/film.srt", "MMMMMMMMMMMM", 30));
    m_seed = std::make_unique<SeedProcess>(folder, QStringList { "--piece-size", "65536" });
    QVERIFY2(m_seed->start(), qPrintable(m_seed->output()));
}

void tst_DownloadSubtitles::cleanupTestCase()
{
    if (m_seed)
        m_seed->stop();
    m_xvfb.stop();
}

void tst_DownloadSubtitles::subtitleOfTheDownloadIsShown()
{
    Preferences settings;
    // Stamped by the updater on a real install: start-up goes straight to the window.
    settings.setValue("/config/time", QDateTime::currentDateTime().toString(Qt::ISODate));
    settings.sync();

    PlayerSession session(m_home.environment(), m_xvfb.display());
    QVERIFY(session.isValid());
    QVERIFY(session.registerHandler());
    QVERIFY(session.start({ m_seed->magnet() }));
    QVERIFY2(session.waitForScreen(
                 [](const PlayerSession::Screen &s) { return s.playState == 2 && s.current >= 1; }, 30000)
            >= 0,
        qPrintable(session.log()));

    QRect text;
    const bool shown = QTest::qWaitFor(
        [&] {
            const PlayerSession::Screen screen = session.screen();
            text = PictureText::lowerThird(session.screenshot(), screen.video);
            // The whole line, not a stray pixel: wider than a fifth of the picture.
            return screen.video.width() > 100 && text.width() > screen.video.width() / 5;
        },
        20000);
    QVERIFY2(shown,
        qPrintable(QStringLiteral("text at (%1,%2 %3x%4) in %5")
                       .arg(text.x())
                       .arg(text.y())
                       .arg(text.width())
                       .arg(text.height())
                       .arg(session.log().right(3000))));

    // The window's subtitle key steps from the only subtitle to off.
    QVERIFY(session.typeInto("Morvane", "v"));
    QVERIFY2(
        QTest::qWaitFor(
            [&] { return PictureText::lowerThird(session.screenshot(), session.screen().video).isNull(); },
            10000),
        "the subtitle stayed after its key");
    session.stopAll();
}

QTEST_GUILESS_MAIN(tst_DownloadSubtitles)
#include "tst_downloadsubtitles.moc"
