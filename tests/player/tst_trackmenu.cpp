#include "player/trackmenu.h"
#include "player/vlcengine.h"
#include "settings/preferences.h"
#include "tests/support/picturetext.h"
#include "tests/support/temporaryhome.h"
#include "tests/support/testmedia.h"
#include "tests/support/xvfbserver.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QScopeGuard>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include <memory>

using Kind = VlcEngine::TrackKind;

// The track menu over the real engine drawing on a private X server: what it
// selects is what the engine plays and what the picture shows.
class TestTrackMenu : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void menuSwitchesAndRemembersTracks();
    void addedSubtitleOutlivesReopen();
    void preferredLanguagesPickTracks();
    void cleanupTestCase();

private:
    QRect subtitleText() const;
    // Triggers the menu entry of track id; false when the menu has none.
    bool pick(QMenu *menu, int id);
    bool waitForPlayback();

    std::unique_ptr<TemporaryHome> m_home;
    QString m_clip;
    std::unique_ptr<QWidget> m_video;
    std::unique_ptr<VlcEngine> m_engine;
};

void TestTrackMenu::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    m_home = TemporaryHome::forPlayer();
    QVERIFY(m_home && m_home->isValid());
    m_clip = TestMedia::folder() + QStringLiteral("/tracks.mkv");
    // A wide English text and a narrow French one tell the two apart on the picture.
    QVERIFY(TestMedia::makeWithTracks(
        m_clip, QStringLiteral("blue"), QStringLiteral("MMMMMMMMMMMM"), QStringLiteral("I"), 30));
    m_video = std::make_unique<QWidget>();
    m_video->setAttribute(Qt::WA_NativeWindow);
    m_video->setAttribute(Qt::WA_DontCreateNativeAncestors);
    m_video->setAttribute(Qt::WA_OpaquePaintEvent);
    m_video->setAttribute(Qt::WA_NoSystemBackground);
    m_video->setGeometry(0, 0, 640, 480);
    m_video->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_video.get()));
    m_engine = std::make_unique<VlcEngine>(QStringList { "--aout=dummy" });
    QVERIFY(m_engine->isValid());
    m_engine->setWindow(m_video->winId());
}

void TestTrackMenu::cleanupTestCase()
{
    m_engine.reset();
    m_video.reset();
}

QRect TestTrackMenu::subtitleText() const
{
    const QPoint origin = m_video->mapToGlobal(QPoint(0, 0));
    const QImage shot = QGuiApplication::primaryScreen()
                            ->grabWindow(0, origin.x(), origin.y(), m_video->width(), m_video->height())
                            .toImage()
                            .convertToFormat(QImage::Format_RGB32);
    return PictureText::lowerThird(shot, shot.rect());
}

bool TestTrackMenu::pick(QMenu *menu, int id)
{
    emit menu->aboutToShow();
    for (QAction *action : menu->actions()) {
        if (action->isCheckable() && action->data().toInt() == id) {
            action->trigger();
            return true;
        }
    }
    return false;
}

bool TestTrackMenu::waitForPlayback()
{
    return QTest::qWaitFor([this] { return m_engine->hasPicture() && m_engine->time() > 500; }, 15000);
}

void TestTrackMenu::menuSwitchesAndRemembersTracks()
{
    QWidget window;
    TrackMenu menu(m_engine.get(), &window);
    // Nothing plays: nothing to choose.
    QVERIFY(!menu.audioMenu()->isEnabled());
    QVERIFY(!menu.subtitleMenu()->isEnabled());
    QVERIFY(!menu.nextSubtitleAction()->isEnabled());

    menu.setFile(m_clip);
    m_engine->open(m_clip);
    m_engine->play();
    QVERIFY(waitForPlayback());
    QTRY_COMPARE_WITH_TIMEOUT(m_engine->tracks(Kind::Audio).size(), 2, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(m_engine->tracks(Kind::Subtitle).size(), 2, 5000);
    QTRY_VERIFY(menu.subtitleMenu()->isEnabled());
    const int english = m_engine->tracks(Kind::Subtitle).at(0).id;
    const int french = m_engine->tracks(Kind::Subtitle).at(1).id;
    const int secondAudio = m_engine->tracks(Kind::Audio).at(1).id;
    QCOMPARE(m_engine->currentTrack(Kind::Subtitle), -1);
    QVERIFY(subtitleText().isNull());

    // Each choice reaches the engine and the picture.
    QVERIFY(pick(menu.subtitleMenu(), english));
    QTRY_COMPARE_WITH_TIMEOUT(m_engine->currentTrack(Kind::Subtitle), english, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(subtitleText().width() > 120, 5000);
    QVERIFY(pick(menu.subtitleMenu(), -1));
    QTRY_COMPARE_WITH_TIMEOUT(m_engine->currentTrack(Kind::Subtitle), -1, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(subtitleText().isNull(), 5000);
    QVERIFY(pick(menu.subtitleMenu(), french));
    QTRY_VERIFY_WITH_TIMEOUT(!subtitleText().isNull() && subtitleText().width() < 40, 5000);
    QVERIFY(pick(menu.audioMenu(), secondAudio));
    QTRY_COMPARE_WITH_TIMEOUT(m_engine->currentTrack(Kind::Audio), secondAudio, 5000);

    // The same file again, as after a restart: the choices come back.
    m_engine->stop();
    menu.setFile(m_clip);
    m_engine->open(m_clip);
    m_engine->play();
    QVERIFY(waitForPlayback());
    QTRY_COMPARE_WITH_TIMEOUT(m_engine->currentTrack(Kind::Audio), secondAudio, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(m_engine->currentTrack(Kind::Subtitle), french, 5000);

    // The key steps from the last subtitle to off.
    QTRY_VERIFY(menu.nextSubtitleAction()->isEnabled());
    menu.nextSubtitleAction()->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(m_engine->currentTrack(Kind::Subtitle), -1, 5000);
    m_engine->stop();
}

// Streaming seeks and window changes reopen the media: a subtitle file that
// joined the old media used to be gone from the new one.
void TestTrackMenu::addedSubtitleOutlivesReopen()
{
    const QString clip = TestMedia::clip(TestMedia::Matroska, 12);
    QVERIFY(!clip.isEmpty());
    const QString srt = TestMedia::folder() + QStringLiteral("/added.srt");
    QVERIFY(TestMedia::writeSrt(srt, QStringLiteral("MMMMMMMMMMMM"), 12));
    m_engine->open(clip);
    m_engine->play();
    QVERIFY(waitForPlayback());
    QVERIFY(m_engine->setSubtitleFile(srt));
    QTRY_COMPARE_WITH_TIMEOUT(m_engine->tracks(Kind::Subtitle).size(), 1, 5000);

    m_engine->open(clip, 4.0);
    m_engine->play();
    QVERIFY(QTest::qWaitFor([this] { return m_engine->hasPicture() && m_engine->time() > 4500; }, 15000));
    QTRY_COMPARE_WITH_TIMEOUT(m_engine->tracks(Kind::Subtitle).size(), 1, 5000);
    QTRY_VERIFY(m_engine->currentTrack(Kind::Subtitle) >= 0);
    m_engine->stop();
}

// The options' languages, by name or code, pick the file's own tracks when
// nothing was chosen for it.
void TestTrackMenu::preferredLanguagesPickTracks()
{
    const QString clip = TestMedia::copyAs(m_clip, QStringLiteral("unchosen.mkv"));
    Preferences prefs;
    prefs.setAudioLanguage(QStringLiteral("French"));
    prefs.setSubtitleLanguage(QStringLiteral("fr"));
    prefs.sync();
    const auto defaults = qScopeGuard([this, &prefs] {
        m_engine->stop();
        prefs.setAudioLanguage(QString());
        prefs.setSubtitleLanguage(QString());
    });
    QWidget window;
    TrackMenu menu(m_engine.get(), &window);
    menu.setFile(clip);
    m_engine->open(clip);
    m_engine->play();
    QVERIFY(waitForPlayback());
    QTRY_COMPARE_WITH_TIMEOUT(m_engine->tracks(Kind::Subtitle).size(), 2, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(
        m_engine->currentTrack(Kind::Audio), m_engine->tracks(Kind::Audio).at(1).id, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(
        m_engine->currentTrack(Kind::Subtitle), m_engine->tracks(Kind::Subtitle).at(1).id, 5000);
}

MORVANE_XVFB_TEST_MAIN(TestTrackMenu)

#include "tst_trackmenu.moc"
