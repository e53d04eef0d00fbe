// The real Morvane with the maker's web pages on (a loopback server), on a
// private X server: the video stays in the window's video area, windowed and
// in full screen, the bars are drawn, and no other window appears.
#include "settings/preferences.h"
#include "tests/e2e/playersession.h"
#include "tests/support/httpserver.h"
#include "tests/support/temporaryhome.h"
#include "tests/support/testmedia.h"
#include "tests/support/xvfbserver.h"

#include <QDateTime>
#include <QProcess>
#include <QSet>
#include <QtTest>

namespace {

const QColor pageColour(34, 170, 102);
const QColor skinGrey(65, 65, 65);

bool near(const QColor &a, const QColor &b)
{
    return qAbs(a.red() - b.red()) < 8 && qAbs(a.green() - b.green()) < 8 && qAbs(a.blue() - b.blue()) < 8;
}

int distinctColours(const QImage &image, const QRect &area)
{
    QSet<QRgb> colours;
    const QRect inside = area.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); y += 4)
        for (int x = inside.left(); x <= inside.right(); x += 4)
            colours.insert(image.pixel(x, y) & 0xF0F0F0);
    return int(colours.size());
}

int pixelsNear(const QImage &image, const QColor &colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4)
            count += near(image.pixelColor(x, y), colour) ? 1 : 0;
    return count;
}

} // namespace

class tst_VideoWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void videoStaysInsideWithWebPages();
    void cleanupTestCase();

private:
    QString run(const QStringList &command);
    // Top-level windows the X server shows, by name.
    QStringList visibleTopLevels();
    void checkDrawnInside(PlayerSession &session, const QString &when);

    TemporaryHome m_home;
    XvfbServer m_xvfb;
    HttpServer m_web;
    QString m_clip;
};

void tst_VideoWindow::initTestCase()
{
    QCoreApplication::setApplicationName("Morvane");
    QVERIFY(m_home.isValid());
    if (QStandardPaths::findExecutable("xdotool").isEmpty()
        || QStandardPaths::findExecutable("import").isEmpty())
        QSKIP("needs xdotool and imagemagick's import");
    QVERIFY2(m_xvfb.start(), "Xvfb did not start");
    QVERIFY(m_web.listen());
    const QByteArray page = "<html><body style='background: rgb(34,170,102)'></body></html>";
    m_web.serve("/top/start.php?startPage=new&version=1.05", page, "text/html");
    m_clip = TestMedia::clip(TestMedia::FaststartMp4, 40);
    QVERIFY(!m_clip.isEmpty());
}

void tst_VideoWindow::cleanupTestCase()
{
    m_xvfb.stop();
}

QString tst_VideoWindow::run(const QStringList &command)
{
    QProcess process;
    QProcessEnvironment environment = m_home.environment();
    environment.insert("DISPLAY", m_xvfb.display());
    process.setProcessEnvironment(environment);
    process.start(command.first(), command.mid(1));
    if (!process.waitForFinished(10000))
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

QStringList tst_VideoWindow::visibleTopLevels()
{
    QStringList names;
    const QStringList ids = run({ "xdotool", "search", "--onlyvisible", "--maxdepth", "1", "--name", "" })
                                .split('\n', Qt::SkipEmptyParts);
    for (const QString &id : ids) {
        const QString name = run({ "xdotool", "getwindowname", id }).trimmed();
        // The root window itself answers too.
        if (!name.isEmpty() && !name.startsWith("Window "))
            names << name;
    }
    return names;
}

void tst_VideoWindow::checkDrawnInside(PlayerSession &session, const QString &when)
{
    const PlayerSession::Screen screen = session.screen();
    QVERIFY2(screen.video.width() > 100 && screen.video.height() > 100, qPrintable(when));
    const QImage shot = session.screenshot();
    QVERIFY(!shot.isNull());
    QVERIFY2(distinctColours(shot, screen.video) > 64,
        qPrintable(
            QString("%1: video area has %2 colours").arg(when).arg(distinctColours(shot, screen.video))));
    QCOMPARE(visibleTopLevels(), QStringList { "Morvane" });
    if (screen.closeButton.isValid() && screen.closeButton.top() > 0
        && screen.closeButton.bottom() < screen.video.top()) {
        // Windowed: the title bar beside the close button wears the skin.
        const QPoint titleBar(screen.closeButton.left() - 150, screen.closeButton.center().y());
        QVERIFY2(near(shot.pixelColor(titleBar), skinGrey),
            qPrintable(when + ": title bar " + shot.pixelColor(titleBar).name()));
        const QPoint controls(screen.slider.left() + 20, screen.slider.bottom() + 30);
        QVERIFY2(near(shot.pixelColor(controls), skinGrey),
            qPrintable(when + ": control bar " + shot.pixelColor(controls).name()));
    }
    shot.save(
        QDir(QStringLiteral(MORVANE_BUILD_BIN_DIR "/..")).absoluteFilePath("video-window-" + when + ".png"));
}

void tst_VideoWindow::videoStaysInsideWithWebPages()
{
    Preferences settings;
    settings.setValue("/config/time", QDateTime::currentDateTime().toString("yyyyMMdd"));
    settings.setValue("/config/webServer", m_web.hostAndPort());
    settings.sync();
    QCOMPARE(settings.status(), QSettings::NoError);

    PlayerSession session(m_home.environment(), m_xvfb.display());
    QVERIFY(session.isValid());
    QVERIFY(session.registerHandler());
    QVERIFY(session.start({}));

    // The start page is on screen before anything plays.
    QImage shot;
    QTRY_VERIFY2_WITH_TIMEOUT(pixelsNear(shot = session.screenshot(), pageColour) > 1000,
        qPrintable(m_web.requestedPaths().join(' ') + session.log()), 30000);

    QVERIFY(session.secondStart({ m_clip }));
    QVERIFY2(session.waitForScreen(
                 [](const PlayerSession::Screen &s) { return s.playState == 2 && s.current >= 2; }, 30000)
            >= 0,
        qPrintable(session.log()));
    checkDrawnInside(session, "windowed");
    if (QTest::currentTestFailed())
        return;

    // Full screen and back: the window changes, the picture follows.
    const QPoint middle = session.screen().video.center();
    run({ "xdotool", "mousemove", QString::number(middle.x()), QString::number(middle.y()), "key", "f" });
    QVERIFY2(
        session.waitForScreen([](const PlayerSession::Screen &s) { return s.video.width() >= 1200; }, 10000)
            >= 0,
        qPrintable(session.log()));
    const qint64 full = session.now();
    QVERIFY(session.waitForScreen([](const PlayerSession::Screen &s) { return s.current >= 1; }, 10000, full)
        >= 0);
    checkDrawnInside(session, "fullscreen");
    if (QTest::currentTestFailed())
        return;

    run({ "xdotool", "key", "f" });
    QVERIFY2(
        session.waitForScreen([](const PlayerSession::Screen &s) { return s.video.width() < 1000; }, 10000)
            >= 0,
        qPrintable(session.log()));
    const qint64 back = session.now();
    QVERIFY(session.waitForScreen([](const PlayerSession::Screen &s) { return s.current >= 1; }, 10000, back)
        >= 0);
    checkDrawnInside(session, "back");
    if (QTest::currentTestFailed())
        return;

    QVERIFY2(session.log().indexOf("makeCurrent") < 0, "Qt failed to compose the window through OpenGL");
}

QTEST_GUILESS_MAIN(tst_VideoWindow)
#include "tst_videowindow.moc"
