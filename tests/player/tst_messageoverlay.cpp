#include "player/messageoverlay.h"
#include "player/vlcengine.h"
#include "tests/support/testmedia.h"
#include "tests/support/xvfbserver.h"

#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include <memory>

// Messages over a real picture: libvlc draws into a native window on a
// private X server, and the picture is read back from that server.
class TestMessageOverlay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void clearedMessageLeavesNoText_data();
    void clearedMessageLeavesNoText();

private:
    // Pixels of the message yellow where the message begins: over the clip's
    // dark clock box, which holds no yellow of its own.
    int yellowInMessageBand();
    bool waitForPlayback(qint64 pastMs);

    QString m_clip;
    std::unique_ptr<QWidget> m_video;
    std::unique_ptr<VlcEngine> m_engine;
    std::unique_ptr<MessageOverlay> m_overlay;
};

void TestMessageOverlay::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    m_clip = TestMedia::clip(TestMedia::FaststartMp4, 20);
    QVERIFY(!m_clip.isEmpty());
}

void TestMessageOverlay::init()
{
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
    m_overlay = std::make_unique<MessageOverlay>(m_video.get(), m_engine.get());
}

void TestMessageOverlay::cleanup()
{
    m_overlay.reset();
    m_engine.reset();
    m_video.reset();
}

int TestMessageOverlay::yellowInMessageBand()
{
    const QPoint origin = m_video->mapToGlobal(QPoint(0, 0));
    const QImage band = QGuiApplication::primaryScreen()
                            ->grabWindow(0, origin.x() + 5, origin.y() + 5, 195, 65)
                            .toImage()
                            .convertToFormat(QImage::Format_RGB32);
    int yellow = 0;
    for (int y = 0; y < band.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(band.constScanLine(y));
        for (int x = 0; x < band.width(); ++x)
            yellow += qRed(line[x]) > 0xD8 && qGreen(line[x]) > 0xD8 && qBlue(line[x]) < 0x30;
    }
    return yellow;
}

bool TestMessageOverlay::waitForPlayback(qint64 pastMs)
{
    const qint64 from = m_engine->time();
    return QTest::qWaitFor([&] { return m_engine->hasPicture() && m_engine->time() > from + pastMs; }, 10000);
}

void TestMessageOverlay::clearedMessageLeavesNoText_data()
{
    QTest::addColumn<bool>("shownBeforeOpen");
    QTest::addColumn<bool>("clearBeforePicture");
    QTest::newRow("shown over the picture, cleared while the media opens again") << false << true;
    QTest::newRow("shown before the first open, cleared over the new picture") << true << false;
    QTest::newRow("shown before the first open, cleared while the media opens again") << true << true;
}

// The media opened twice at the start of a download left the first text on
// the picture for the whole playback, whatever was cleared later.
void TestMessageOverlay::clearedMessageLeavesNoText()
{
    QFETCH(bool, shownBeforeOpen);
    QFETCH(bool, clearBeforePicture);
    const QString text = QStringLiteral("data caching.. \u00b7 636K/s");

    if (shownBeforeOpen)
        m_overlay->show(text, false);
    m_engine->open(m_clip);
    m_engine->play();
    QVERIFY(waitForPlayback(300));
    if (!shownBeforeOpen)
        m_overlay->show(text, false);
    // The message is drawn: the check below can see it.
    QTRY_VERIFY_WITH_TIMEOUT(yellowInMessageBand() > 50, 5000);

    m_engine->open(m_clip, 2.0);
    m_engine->play();
    if (clearBeforePicture)
        m_overlay->hide();
    QVERIFY(waitForPlayback(300));
    if (!clearBeforePicture)
        m_overlay->hide();
    QVERIFY(waitForPlayback(1000));
    const int left = yellowInMessageBand();
    QVERIFY2(left < 10, qPrintable(QStringLiteral("%1 yellow pixels left").arg(left)));
    QVERIFY(!m_overlay->label()->isVisible());
}

MORVANE_XVFB_TEST_MAIN(TestMessageOverlay)

#include "tst_messageoverlay.moc"
