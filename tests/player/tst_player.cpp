#include "corelink/clientagent.h"
#include "dialogs/options.h"
#include "downloads/torrentpieces.h"
#include "downloads/treeitem.h"
#include "downloads/treemodel.h"
#include "player/episodeorder.h"
#include "player/player.h"
#include "settings/preferences.h"
#include "tests/downloads/replyrows.h"
#include "tests/support/damagedclip.h"
#include "tests/support/scriptedpieces.h"
#include "tests/support/temporaryhome.h"
#include "tests/support/testmedia.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QMutex>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QTest>
#include <QTreeView>

#include <vlc/vlc.h>

#include <memory>

// The window on real libvlc (dummy outputs) with a scripted downloads list.
class TestPlayer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("MORVANE_VLC_OPTIONS", "--aout=dummy");
        QCoreApplication::setApplicationName("Morvane");
        m_mkv4 = TestMedia::clip(TestMedia::Matroska, 4);
        m_mkv8 = TestMedia::clip(TestMedia::Matroska, 8);
        m_mp4 = TestMedia::clip(TestMedia::FaststartMp4, 2);
        QVERIFY(!m_mkv4.isEmpty() && !m_mkv8.isEmpty() && !m_mp4.isEmpty());
    }
    void init()
    {
        m_home = std::make_unique<TemporaryHome>();
        m_player = std::make_unique<player>();
        m_player->setPieceSource(&m_pieces);
        // The one-second display tick is what the policy polls on; the
        // checks keep their own pace but are shortened for the test.
        m_player->setCheckIntervals(200, 300, 300, 200);
        m_pieces = ScriptedPieces();
    }
    void cleanup()
    {
        m_player.reset();
        m_home.reset();
    }

    void startsSkinnedAndFrameless()
    {
        QVERIFY(!slider_("processSlider")->isEnabled());
        QCOMPARE(slider_("soundSlider")->value(), 50);
        QVERIFY(m_player->windowFlags() & Qt::FramelessWindowHint);
        // Every skinned button got a frame a quarter of its strip wide.
        for (const char *bar : { "widget", "widget_2", "widget_10" })
            for (QPushButton *button : m_player->findChild<QWidget *>(bar)->findChildren<QPushButton *>()) {
                QVERIFY2(!button->icon().isNull(), qPrintable(button->objectName()));
                // One frame of the strip, as large as the button.
                QCOMPARE(button->iconSize(), button->size());
            }
    }

    void downloadsModelAndAgentAreWired()
    {
        TreeModel *model = m_player->downloadsModel();
        QVERIFY(model);
        QCOMPARE(m_player->findChild<QTreeView *>("treeView")->model(), model);
        QSignalSpy requests(m_player->agent(), &ClientAgent::sessionRequest);

        QString file = m_mkv4;
        emit model->playFile(file);
        QCOMPARE(m_player->playState(), player::Playing);
        emit model->stopPlay();
        QCOMPARE(m_player->playState(), player::Stopped);
        emit model->overallUpDownloadRate("1 KB/s", "2 KB/s");
        QCOMPARE(label("uplabel"), QString("1 KB/s"));
        QCOMPARE(label("downlabel"), QString("2 KB/s"));

        emit model->sessionRequest(CoreProtocol::PlayingFile, QStringList { "hash", "0" });
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.at(0).at(1).toStringList(), (QStringList { "hash", "0" }));

        // Options -> agent, our own request included.
        auto *options = m_player->findChild<Options *>();
        QVERIFY(options);
        options->findChild<QSpinBox *>("downloadLimit")->setValue(300);
        options->findChild<QPushButton *>("okButton")->click();
        QCOMPARE(requests.size(), 4); // and the folder and the cache size
        QCOMPARE(requests.last().at(0).toInt(), int(CoreProtocol::RateLimits));
        QCOMPARE(requests.last().at(1).toStringList(), (QStringList { "300", "0", "0" }));

        // A second start's magnet goes from the links to the agent, and the
        // core's answer through the links' auto-play decision to the list.
        const QString magnet = "magnet:?xt=urn:btih:" + rows::hash(5);
        m_player->processParams(magnet);
        QCOMPARE(requests.size(), 5);
        QCOMPARE(requests.last().at(0).toInt(), int(CoreProtocol::AddMagnets));
        QCOMPARE(requests.last().at(1).toStringList(), QStringList { magnet });
        emit m_player->agent()->addedReturn(1, { { rows::hash(5) } });
        QCOMPARE(model->rowCount(), 1);

        // A torrent file from the model streams with the model's answers.
        m_player->setPieceSource(nullptr);
        emit model->playFile(file, "unknownhash", 0, true, "1111", 65536);
        // The model knows no such download: no last piece, head-only mode.
        QVERIFY(!m_player->playerCanSeek());
        button("stopButton")->click();
    }

    void hoverFramesFollowTheMouse()
    {
        // Stopped: the play button keeps its inactive frame, others light up.
        QPushButton *open = button("openfile");
        QPushButton *play = button("playButton");
        const QImage openNormal = open->icon().pixmap(open->iconSize()).toImage();
        const QImage playInactive = play->icon().pixmap(play->iconSize()).toImage();
        for (QPushButton *target : { open, play }) {
            QMouseEvent move(QEvent::MouseMove, QPointF(1, 1),
                QPointF(target->mapToGlobal(target->rect().center())), Qt::NoButton, Qt::NoButton,
                Qt::NoModifier);
            QApplication::sendEvent(m_player.get(), &move);
        }
        QVERIFY(open->icon().pixmap(open->iconSize()).toImage() != openNormal);
        QCOMPARE(play->icon().pixmap(play->iconSize()).toImage(), playInactive);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(m_player.get(), &leave);
        QCOMPARE(open->icon().pixmap(open->iconSize()).toImage(), openNormal);
    }

    void framelessWindowIsDraggedByItsBody()
    {
        m_player->move(100, 100);
        const QPoint start = m_player->mapToGlobal(QPoint(400, 15));
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(400, 15), QPointF(start), Qt::LeftButton,
            Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_player.get(), &press);
        QMouseEvent move(QEvent::MouseMove, QPointF(430, 35), QPointF(start + QPoint(30, 20)), Qt::NoButton,
            Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_player.get(), &move);
        QCOMPARE(m_player->pos(), QPoint(130, 120));
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(430, 35), QPointF(start + QPoint(30, 20)),
            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(m_player.get(), &release);
        QApplication::sendEvent(m_player.get(), &move);
        QCOMPARE(m_player->pos(), QPoint(130, 120));
    }

    void plainFilePlaysPausesAndStops()
    {
        QSignalSpy actions(m_player.get(), &player::mediaButtonAction);
        QString file = m_mkv4;
        m_player->playFile(file);
        QCOMPARE(m_player->playState(), player::Playing);
        QVERIFY(slider_("processSlider")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(
            label("current_time_label").contains(QRegularExpression("^0:0:[1-9]/0:0:4$")), 5000);
        QCOMPARE(label("moviename"), QFileInfo(m_mkv4).fileName());

        button("playButton")->click();
        QCOMPARE(m_player->playState(), player::Paused);
        QTRY_COMPARE_WITH_TIMEOUT(m_player->engine().state(), int(libvlc_Paused), 3000);
        button("playButton")->click();
        QCOMPARE(m_player->playState(), player::Playing);
        QCOMPARE(actions.size(), 2);
        QCOMPARE(actions.at(0).at(0).toInt(), 1);
        QCOMPARE(actions.at(1).at(0).toInt(), 2);

        button("stopButton")->click();
        QCOMPARE(m_player->playState(), player::Stopped);
        QCOMPARE(actions.last().at(0).toInt(), 0);
        QVERIFY(label("current_time_label").isEmpty());
        QVERIFY(!slider_("processSlider")->isEnabled());
        // Space while stopped does nothing.
        QTest::keyClick(m_player.get(), Qt::Key_Space);
        QCOMPARE(m_player->playState(), player::Stopped);
    }

    void positionIsSavedAndRestored()
    {
        QString file = m_mkv8;
        m_player->playFile(file);
        QTRY_VERIFY_WITH_TIMEOUT(m_player->engine().time() >= 2500, 8000);
        button("stopButton")->click();
        const float saved = Preferences().loadPosition(m_mkv8);
        QVERIFY2(saved > 0.25f && saved < 0.8f, qPrintable(QString::number(saved)));

        QString again = m_mkv8;
        m_player->playFile(again);
        QTRY_VERIFY_WITH_TIMEOUT(m_player->engine().time() > 0, 5000);
        QVERIFY2(m_player->engine().time() >= qint64(saved * 8000) - 600,
            qPrintable(QString::number(m_player->engine().time())));
    }

    void endStoresZero()
    {
        Preferences().savePosition(m_mp4, 0.5f);
        QString file = m_mp4;
        m_player->playFile(file);
        QTRY_COMPARE_WITH_TIMEOUT(m_player->playState(), player::Stopped, 8000);
        QCOMPARE(Preferences().loadPosition(m_mp4), 0.0f);
    }

    void arrowsStepByAHundredth()
    {
        QString file = m_mkv8;
        m_player->playFile(file);
        QTRY_VERIFY_WITH_TIMEOUT(!label("current_time_label").isEmpty(), 5000);
        m_player->userChangePosition(50);
        QCOMPARE(m_player->requestedPosition(), 0.5f);
        QTRY_VERIFY_WITH_TIMEOUT(m_player->engine().time() >= 3800, 5000);
        m_player->userChangePosition(0);
        QTest::keyClick(m_player.get(), Qt::Key_Left);
        QCOMPARE(m_player->requestedPosition(), 0.0f);
        m_player->userChangePosition(99);
        QTest::keyClick(m_player.get(), Qt::Key_Right);
        QCOMPARE(m_player->requestedPosition(), 1.0f);
        // The end: stopped, and the next open starts at the beginning.
        QTRY_COMPARE_WITH_TIMEOUT(m_player->playState(), player::Stopped, 8000);
        QCOMPARE(Preferences().loadPosition(m_mkv8), 0.0f);
    }

    void keyboardAndVolume()
    {
        auto *sound = slider_("soundSlider");
        sound->setValue(95);
        QTest::keyClick(m_player.get(), Qt::Key_Up);
        QCOMPARE(sound->value(), 99);
        QTest::keyClick(m_player.get(), Qt::Key_Down);
        QCOMPARE(sound->value(), 89);
        button("soundButton")->click(); // mute
        button("soundButton")->click(); // back to 89
        QCOMPARE(sound->value(), 89);

        const QRect before = m_player->geometry();
        QTest::keyClick(m_player.get(), Qt::Key_Escape);
        QVERIFY(!m_player->findChild<QWidget *>("widget")->isVisibleTo(m_player.get()));
        QVERIFY(!m_player->findChild<QWidget *>("widget_2")->isVisibleTo(m_player.get()));
        QTest::keyClick(m_player.get(), Qt::Key_F);
        QCOMPARE(m_player->geometry(), before);
        QVERIFY(m_player->findChild<QWidget *>("widget")->isVisibleTo(m_player.get()));
    }

    void headMissingWaitsWithCaching()
    {
        DamagedClip clip(m_mkv4, 24, { 0, 1 });
        m_pieces.bits = clip.bits;
        QString file = clip.path;
        // The one-second tick must not be what asks for the head.
        m_player->setCheckIntervals(60000, 60000, 60000, 60000);
        m_player->playFile(file, "hash", 0, false, QString::fromLatin1(clip.bits), clip.pieceLength);
        QCOMPARE(m_player->playState(), player::Caching);
        QVERIFY2(m_player->messageText().startsWith("data caching.."), qPrintable(m_player->messageText()));
        QVERIFY(!slider_("processSlider")->isEnabled());
        // The engine has started; its first read waits and asks at once.
        QTRY_VERIFY_WITH_TIMEOUT(m_player->engine().gate().hasBlockedRead(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(m_pieces.requested.contains(0), 2000);
        QTest::keyClick(m_player.get(), Qt::Key_Space);
        QCOMPARE(m_player->playState(), player::Caching);

        // The head arrives: the waiting read goes on, the message stays up
        // until the first picture.
        clip.repair();
        m_pieces.bits = clip.bits;
        m_player->bitFieldRefresh(QString::fromLatin1(clip.bits), clip.pieceLength);
        QVERIFY2(m_player->messageText().startsWith("data caching.."), qPrintable(m_player->messageText()));
        QTRY_COMPARE_WITH_TIMEOUT(m_player->playState(), player::Playing, 5000);
        QVERIFY(m_player->playerCanSeek());
        QCOMPARE(m_player->messageText(), QString("finsh.."));
        QTRY_VERIFY_WITH_TIMEOUT(m_player->engine().time() > 0, 5000);
    }

    void missingPieceMidFileCachesThenResumes()
    {
        DamagedClip clip(m_mkv8, 32, { 14, 15 });
        QByteArray served;
        QMutex lock;
        m_player->engine().gate().setReadObserver([&](qint64, const char *data, qint64 length) {
            QMutexLocker locker(&lock);
            served.append(data, length);
        });
        m_pieces.bits = clip.bits;
        QString file = clip.path;
        m_player->playFile(file, "hash", 0, true, QString::fromLatin1(clip.bits), clip.pieceLength);
        QCOMPARE(m_player->playState(), player::Playing);
        QVERIFY(m_player->playerCanSeek());
        QTRY_COMPARE_WITH_TIMEOUT(m_player->playState(), player::Caching, 10000);
        QVERIFY2(m_player->messageText().startsWith("data caching.."), qPrintable(m_player->messageText()));
        QVERIFY(m_pieces.requested.contains(14));
        QVERIFY(!slider_("processSlider")->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(m_player->engine().state(), int(libvlc_Paused), 3000);
        // Play is refused while caching.
        button("playButton")->click();
        QCOMPARE(m_player->playState(), player::Caching);
        {
            QMutexLocker locker(&lock);
            QVERIFY(!DamagedClip::hasMarker(served));
        }

        clip.repair();
        m_pieces.bits = clip.bits;
        QElapsedTimer clock;
        clock.start();
        const qint64 stalledAt = m_player->engine().time();
        m_player->bitFieldRefresh(QString::fromLatin1(clip.bits), clip.pieceLength);
        QCOMPARE(m_player->playState(), player::Playing);
        QTRY_VERIFY_WITH_TIMEOUT(m_player->engine().time() > stalledAt + 200, 3000);
        qDebug() << "playback resumed" << clock.elapsed() << "ms after the piece arrived";
        QTRY_COMPARE_WITH_TIMEOUT(m_player->playState(), player::Stopped, 15000);
    }

    void headOnlyModeIgnoresTheLastPieceThenSwitches()
    {
        // The file's last piece is missing: head-only mode, no slider.
        DamagedClip clip(m_mkv8, 32, { 31 });
        m_pieces.bits = clip.bits;
        QString file = clip.path;
        m_player->playFile(file, "hash", 0, true, QString::fromLatin1(clip.bits), clip.pieceLength);
        QCOMPARE(m_player->playState(), player::Playing);
        QVERIFY(!m_player->playerCanSeek());
        QVERIFY(!slider_("processSlider")->isEnabled());
        // A download's demuxer needs no index from the end to start: it
        // plays while the last piece is missing, and never asks for it.
        QTRY_VERIFY_WITH_TIMEOUT(m_player->engine().time() > 0, 5000);
        QVERIFY(!m_pieces.requested.contains(31));
        QCOMPARE(m_player->playState(), player::Playing);
        QVERIFY(!m_player->playerCanSeek());
        QVERIFY(!slider_("processSlider")->isEnabled());

        // The last piece arrives: the slider comes back, playback goes on.
        clip.repair();
        m_pieces.bits = clip.bits;
        m_player->bitFieldRefresh(QString::fromLatin1(clip.bits), clip.pieceLength);
        QTRY_VERIFY_WITH_TIMEOUT(slider_("processSlider")->isEnabled(), 3000);
        QVERIFY(!m_player->playerCanSeek());
        QTRY_VERIFY_WITH_TIMEOUT(m_player->engine().time() > 0, 5000);

        // Dragging does not move playback; releasing reopens seekable there.
        slider_("processSlider")->setValue(60);
        m_player->slotSliderPressed();
        m_player->userMovePosition(60);
        QVERIFY(m_player->engine().time() < 4000);
        m_player->slotSliderRelease();
        QVERIFY2(m_player->messageText().startsWith("data caching.."), qPrintable(m_player->messageText()));
        QTRY_COMPARE_WITH_TIMEOUT(m_player->playState(), player::Playing, 5000);
        QVERIFY(m_player->playerCanSeek());
        QTRY_VERIFY_WITH_TIMEOUT(m_player->engine().time() >= 4500, 5000);
    }

    void stopWhileAReadIsBlockedReturnsPromptly()
    {
        DamagedClip clip(m_mkv8, 32, { 12, 13 });
        m_pieces.bits = clip.bits;
        QString file = clip.path;
        m_player->playFile(file, "hash", 0, true, QString::fromLatin1(clip.bits), clip.pieceLength);
        QTRY_VERIFY_WITH_TIMEOUT(m_player->engine().gate().hasBlockedRead(), 10000);
        QElapsedTimer clock;
        clock.start();
        button("stopButton")->click();
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(m_player->playState(), player::Stopped);
        // And a plain file plays right after.
        QString plain = m_mkv4;
        m_player->playFile(plain);
        QTRY_VERIFY_WITH_TIMEOUT(m_player->engine().time() > 0, 5000);
    }

    void unplayableFileLeavesTheWindowUsable()
    {
        const QString junk = TestMedia::copyAs(m_mkv4, "broken.mkv");
        QFile file(junk);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray(4096, 'x'));
        file.close();
        QString path = junk;
        m_player->playFile(path);
        // The engine gives up on it by itself.
        QTRY_VERIFY_WITH_TIMEOUT(m_player->engine().state() >= int(libvlc_Stopped), 5000);
        QVERIFY(label("current_time_label").isEmpty());
        button("stopButton")->click();
        QCOMPARE(m_player->playState(), player::Stopped);
    }

    void drops_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<bool>("request");
        QTest::addColumn<bool>("plays");
        QTest::newRow("torrent") << QStringList { "a.TORRENT" } << true << false;
        QTest::newRow("video") << QStringList { "MOVIE.Mkv" } << false << true;
        QTest::newRow("unknown") << QStringList { "notes.xyz" } << false << false;
        QTest::newRow("first of several") << QStringList { "first.torrent", "second.mkv" } << true << false;
        QTest::newRow("subtitle while nothing plays") << QStringList { "words.srt" } << false << false;
    }
    void drops()
    {
        QFETCH(QStringList, names);
        QFETCH(bool, request);
        QFETCH(bool, plays);
        QSignalSpy requests(m_player->agent(), &ClientAgent::sessionRequest);
        QList<QUrl> urls;
        for (const QString &name : names)
            urls << QUrl::fromLocalFile(TestMedia::copyAs(m_mkv4, name));
        auto *mime = new QMimeData;
        mime->setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_player.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        m_player->dropEvent(&drop);
        QCOMPARE(requests.size(), request ? 1 : 0);
        if (request) {
            QCOMPARE(requests.at(0).at(0).toInt(), int(CoreProtocol::AddTorrentFile));
            QCOMPARE(requests.at(0).at(1).toStringList(), QStringList { urls.first().toLocalFile() });
            QVERIFY(m_player->findChild<QWidget *>("filelists")->isVisibleTo(m_player.get()));
        }
        QCOMPARE(m_player->playState(), plays ? player::Playing : player::Stopped);
        QVERIFY(m_player->messageText().isEmpty());
        delete mime;

        QMimeData text;
        text.setText("plain");
        QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_player.get(), &refused);
        QVERIFY(!refused.isAccepted());
    }

    void droppedSubtitleIsLoaded()
    {
        QString file = m_mkv8;
        m_player->playFile(file);
        QTRY_VERIFY_WITH_TIMEOUT(m_player->engine().time() > 0, 5000);
        const QString srt = TestMedia::copyAs(m_mkv4, "words.srt");
        QFile subtitle(srt);
        QVERIFY(subtitle.open(QIODevice::WriteOnly | QIODevice::Truncate));
        subtitle.write("1\n00:00:00,000 --> 00:00:08,000\nhello\n");
        subtitle.close();
        auto *mime = new QMimeData;
        mime->setUrls({ QUrl::fromLocalFile(srt) });
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        m_player->dropEvent(&drop);
        QTRY_VERIFY_WITH_TIMEOUT(libvlc_video_get_spu_count(m_player->engine().mediaPlayer()) > 0, 5000);
        QCOMPARE(m_player->currentFile(), m_mkv8);
        delete mime;
    }

    void openFileDialog_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("request");
        QTest::addColumn<bool>("plays");
        QTest::addColumn<QString>("message");
        QTest::newRow("torrent") << "a.TORRENT" << true << false << "";
        QTest::newRow("video") << "MOVIE.Mkv" << false << true << "";
        QTest::newRow("no suffix") << "movie" << false << false << "Format does not support..";
        QTest::newRow("cancelled") << "" << false << false << "";
    }
    void openFileDialog()
    {
        QFETCH(QString, name);
        QFETCH(bool, request);
        QFETCH(bool, plays);
        QFETCH(QString, message);
        const QString path = name.isEmpty() ? QString() : TestMedia::copyAs(m_mkv4, name);
        QString filterSeen;
        m_player->fileChooser = [&](const QString &, const QString &filter) {
            filterSeen = filter;
            return path;
        };
        QSignalSpy hold(m_player->agent(), &ClientAgent::replyTimeOutCheckHold);
        QSignalSpy reset(m_player->agent(), &ClientAgent::replyTimeOutCheckReset);
        QSignalSpy requests(m_player->agent(), &ClientAgent::sessionRequest);
        button("openfile")->click();
        QCOMPARE(hold.size(), 1);
        QCOMPARE(reset.size(), 1);
        QCOMPARE(filterSeen,
            QString(
                "Video&Torrent  (*.AVI *.ASF *.WMV *.AVS *.FLV *.MKV *.MOV *.3GP *.MP4 *.MPG *.MPEG *.DAT "
                "*.DSM *.OGM *.VOB *.RM *.RMVB *.TS *.TP *.IFO *.NSV *.torrent)\n(*.*)"));
        QCOMPARE(requests.size(), request ? 1 : 0);
        QCOMPARE(m_player->playState(), plays ? player::Playing : player::Stopped);
        QCOMPARE(m_player->messageText(), message);
        if (!plays)
            QVERIFY(m_player->currentFile().isEmpty());
    }

    void openTorrentDialogPlaysOtherFiles()
    {
        const QString path = TestMedia::copyAs(m_mkv4, "clip.mkv");
        m_player->fileChooser = [&](const QString &, const QString &filter) {
            return filter.startsWith("Torrent(*.torrent)") ? path : QString();
        };
        m_player->slotopentorrent();
        QCOMPARE(m_player->playState(), player::Playing);
    }

    void subtitleDownload_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("writes");
        QTest::newRow("new file offered") << true << true;
        QTest::newRow("nothing new, no dialog") << true << false;
        QTest::newRow("program missing") << false << false;
    }
    void subtitleDownload()
    {
        QFETCH(bool, installed);
        QFETCH(bool, writes);
        QTemporaryDir bin;
        const QString recorded = bin.filePath("arguments");
        QFile script(bin.filePath("SubDownloader"));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(
            "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + recorded.toUtf8() + "'\n");
        if (writes)
            script.write("touch \"$(dirname \"$3\")/film.srt\"\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QByteArray path = qgetenv("PATH");
        if (installed)
            qputenv("PATH", bin.path().toUtf8() + ":" + path);

        QString video = TestMedia::copyAs(m_mkv4, "it's a \"quoted\" film.mkv");
        m_player->playFile(video);
        QStringList captions, filters;
        m_player->fileChooser = [&](const QString &caption, const QString &filter) {
            captions << caption;
            filters << filter;
            return QString();
        };
        QAction *action = m_player->findChild<QAction *>("downsub");
        m_player->on_display_label_customContextMenuRequested(QPoint(5, 5));
        action->trigger();
        qputenv("PATH", path);
        if (installed) {
            // The process is gone once it has finished and been handled.
            QTRY_COMPARE_WITH_TIMEOUT(m_player->findChildren<QProcess *>().size(), 0, 5000);
            QFile arguments(recorded);
            QVERIFY(arguments.open(QIODevice::ReadOnly));
            QCOMPARE(QString::fromUtf8(arguments.readAll()).split('\n', Qt::SkipEmptyParts),
                QStringList({ "--silent", "--filename", video }));
        }
        QCOMPARE(captions, writes ? QStringList { QFileInfo(video).path() } : QStringList());
        if (writes)
            QCOMPARE(filters.first(),
                QString(
                    "subtitle(*.CDG *.IDX *.SRT *.SUB *.UTF *.ASS *.SSA *.AQT *.JSS *.PSB *.RT *.SMI *.TXT "
                    "*.SMIL *.STL *.USF *.DKS *.PJS *.MPL2)"));
        // Missing, the user is told why nothing happens.
        QCOMPARE(m_player->messageText().contains("SubDownloader"), !installed);
    }

    // The list as a user drives it: double-click a row, then the player's keys.
    void listRowsKeysAndPositions()
    {
        TreeModel *model = m_player->downloadsModel();
        m_player->setPieceSource(nullptr);
        const QString shortHash = rows::hash(1), longHash = rows::hash(2);
        model->addedReturn(0,
            { rows::single(shortHash, "short", QDir::toNativeSeparators(m_mp4)),
                rows::single(longHash, "long", QDir::toNativeSeparators(m_mkv8)) });
        const QList<QStringList> status { rows::status(shortHash, QString(64, '1'), "1", 0, 0, "1"),
            rows::status(longHash, QString(64, '1'), "1", 0, 0, "1") };
        model->pieces()->statusReceived(status);
        model->torrentDataSet(status);
        m_player->findChild<QWidget *>("filelists")->show();
        m_player->show();
        QVERIFY(QTest::qWaitForWindowActive(m_player.get()));
        auto *view = m_player->findChild<QTreeView *>("treeView");
        const auto doubleClick = [&](int row) {
            QTest::mouseDClick(
                view->viewport(), Qt::LeftButton, {}, view->visualRect(model->index(row, 0)).center());
        };

        // Space goes to the player once the row plays, not to the list.
        doubleClick(1);
        QTRY_COMPARE_WITH_TIMEOUT(m_player->playState(), player::Playing, 5000);
        QTest::keyClick(m_player->windowHandle(), Qt::Key_Space);
        QCOMPARE(m_player->playState(), player::Paused);
        QTest::keyClick(m_player->windowHandle(), Qt::Key_Space);
        QCOMPARE(m_player->playState(), player::Playing);

        // Full screen and back: the downloads view as it was.
        auto *splitter = m_player->findChild<QSplitter *>("splitter");
        const QList<int> sizes = splitter->sizes();
        QTest::keyClick(m_player->windowHandle(), Qt::Key_F);
        QVERIFY(m_player->findChild<QWidget *>("filelists")->isHidden());
        QTest::keyClick(m_player->windowHandle(), Qt::Key_F);
        QVERIFY(!m_player->findChild<QWidget *>("filelists")->isHidden());
        QCOMPARE(splitter->sizes(), sizes);

        // Played to its end, the file keeps 0 whatever is played next.
        Preferences().savePosition(m_mp4, 0.5f);
        doubleClick(0);
        QTRY_COMPARE_WITH_TIMEOUT(m_player->playState(), player::Playing, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(m_player->playState(), player::Stopped, 8000);
        QCOMPARE(Preferences().loadPosition(m_mp4), 0.0f);
        doubleClick(1);
        QTRY_COMPARE_WITH_TIMEOUT(m_player->playState(), player::Playing, 5000);
        QCOMPARE(Preferences().loadPosition(m_mp4), 0.0f);
        button("stopButton")->click();
        QCOMPARE(Preferences().loadPosition(m_mp4), 0.0f);
    }

    void episodesInNaturalOrder_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("previous");
        QTest::addColumn<QString>("next");
        const QStringList season { "Show.S01E10.mkv", "Show.S01E2.mkv", "show.s01e1.mkv", "Show.S01E9.mkv" };
        QTest::newRow("E2 before E10") << season << "Show.S01E9.mkv"
                                       << "Show.S01E2.mkv"
                                       << "Show.S01E10.mkv";
        QTest::newRow("case aside") << season << "Show.S01E2.mkv"
                                    << "show.s01e1.mkv"
                                    << "Show.S01E9.mkv";
        QTest::newRow("none before the first") << season << "show.s01e1.mkv"
                                               << ""
                                               << "Show.S01E2.mkv";
        QTest::newRow("none after the last") << season << "Show.S01E10.mkv"
                                             << "Show.S01E9.mkv"
                                             << "";
        QTest::newRow("seasons in folders")
            << QStringList { "S2/E1.mkv", "S10/E1.mkv", "S1/E10.mkv", "S1/E3.mkv" } << "S1/E10.mkv"
            << "S1/E3.mkv"
            << "S2/E1.mkv";
        QTest::newRow("alone") << QStringList { "film.mkv" } << "film.mkv"
                               << ""
                               << "";
        QTest::newRow("not among them") << season << "other.mkv"
                                        << ""
                                        << "";
    }
    void episodesInNaturalOrder()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, current);
        QFETCH(QString, previous);
        QFETCH(QString, next);
        QCOMPARE(EpisodeOrder::neighbour(names, current, -1), previous);
        QCOMPARE(EpisodeOrder::neighbour(names, current, 1), next);
    }

    // A plain file: Prev/Next walk the videos of its folder, PgUp/PgDn too.
    void nextEpisodeInTheFolder()
    {
        const QString first = TestMedia::copyAs(m_mkv8, "ep 2.mkv");
        const QString folder = QFileInfo(first).path();
        for (const char *name : { "ep 10.mkv", "ep 1.txt" })
            QVERIFY(QFile::copy(m_mkv8, folder + '/' + name));
        QString file = first;
        m_player->playFile(file);
        QVERIFY(!button("prevButton")->isEnabled());
        QVERIFY(button("nextButton")->isEnabled());

        button("nextButton")->click();
        QCOMPARE(QFileInfo(m_player->currentFile()).fileName(), QString("ep 10.mkv"));
        QVERIFY(!button("nextButton")->isEnabled());
        QTest::keyClick(m_player.get(), Qt::Key_PageUp);
        QCOMPARE(QFileInfo(m_player->currentFile()).fileName(), QString("ep 2.mkv"));
        button("stopButton")->click();
        QVERIFY(!button("nextButton")->isEnabled());
    }

    // A season pack: Next follows the episodes, not the order of the files.
    void nextEpisodeOfADownload()
    {
        TreeModel *model = m_player->downloadsModel();
        m_player->setPieceSource(nullptr);
        const QString hash = rows::hash(7);
        model->addedReturn(0,
            { rows::multi(hash, "season",
                { { "E10.mkv", 10, "E10.mkv" }, { "notes.txt", 1, "notes.txt" }, { "E2.mkv", 10, "E2.mkv" },
                    { "E1.mkv", 10, "E1.mkv" } }) });
        const QModelIndex download = model->index(0, 0);
        model->doubleClickSlot(model->index(3, 0, download));
        QCOMPARE(model->playingItem()->name, QString("E1.mkv"));
        QVERIFY(!button("prevButton")->isEnabled());

        button("nextButton")->click();
        QCOMPARE(model->playingItem()->name, QString("E2.mkv"));
        QTest::keyClick(m_player.get(), Qt::Key_PageDown);
        QCOMPARE(model->playingItem()->name, QString("E10.mkv"));
        QVERIFY(!button("nextButton")->isEnabled());
        QVERIFY(button("prevButton")->isEnabled());
    }

private:
    QPushButton *button(const char *name) { return m_player->findChild<QPushButton *>(name); }
    QSlider *slider_(const char *name) { return m_player->findChild<QSlider *>(name); }
    QString label(const char *name) { return m_player->findChild<QLabel *>(name)->text(); }

    std::unique_ptr<TemporaryHome> m_home;
    std::unique_ptr<player> m_player;
    ScriptedPieces m_pieces;
    QString m_mkv4, m_mkv8, m_mp4;
};

QTEST_MAIN(TestPlayer)
#include "tst_player.moc"
