#include "player/bufferslider.h"
#include "player/player.h"
#include "tests/support/damagedclip.h"
#include "tests/support/scriptedpieces.h"
#include "tests/support/temporaryhome.h"
#include "tests/support/testmedia.h"
#include "tests/support/xvfbserver.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QScreen>
#include <QTest>

#include <memory>

// The window on a real X server (its own Xvfb): the engine draws into the
// video surface and the skinned bars show around it.
class TestPlayerWindow : public QObject
{
    Q_OBJECT

private slots:
    void drawsVideoInsideTheSkinnedWindow()
    {
        TemporaryHome home;
        const QString clip = TestMedia::clip(TestMedia::Matroska, 8);
        QVERIFY(!clip.isEmpty());
        player window;
        window.setWindowFlags(Qt::CustomizeWindowHint | Qt::FramelessWindowHint);
        window.move(0, 0);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QString file = clip;
        window.playFile(file);
        QTRY_VERIFY_WITH_TIMEOUT(window.engine().time() > 1000, 8000);
        QTRY_VERIFY_WITH_TIMEOUT(!window.findChild<QLabel *>("current_time_label")->text().isEmpty(), 3000);

        auto *surface = window.findChild<QLabel *>("display_label");
        QImage shot;
        // The engine's first frames may take a moment to reach the screen.
        const QRect videoArea = areaIn(window, surface);
        // The clip is colour bars: across the middle of the video area they
        // show several hues, where the idle logo shows one.
        QTRY_VERIFY_WITH_TIMEOUT(huesAcross(shot = grab(window), videoArea) >= 4, 8000);
        const QString saved
            = QDir(QStringLiteral(MORVANE_BUILD_BIN_DIR "/..")).absoluteFilePath("player-window.png");
        shot.save(saved);
        qDebug() << "screenshot:" << saved;

        // The control bar is the skin's dark grey, with lighter button glyphs.
        auto *bar = window.findChild<QWidget *>("widget");
        const QRect barArea = areaIn(window, bar);
        const QColor background = shot.pixelColor(barArea.left() + 130, barArea.center().y());
        QVERIFY2(qAbs(background.red() - 65) < 6 && qAbs(background.blue() - 65) < 6,
            qPrintable(background.name()));
        QVERIFY(distinctColours(shot, barArea) > 4);
        // Rounded corners: the mask leaves the very corner out of the window.
        QVERIFY(!window.mask().contains(QPoint(0, 0)));
        QVERIFY(window.mask().contains(QPoint(10, 10)));
    }

    void seekBarShowsWhatIsDownloaded()
    {
        TemporaryHome home;
        const QString clip = TestMedia::clip(TestMedia::Matroska, 12);
        QVERIFY(!clip.isEmpty());
        // The first half and the last piece are in: seekable, half downloaded.
        QList<int> missing;
        for (int piece = 16; piece < 31; ++piece)
            missing << piece;
        DamagedClip file(clip, 32, missing);
        ScriptedPieces pieces;
        pieces.bits = file.bits;
        player window;
        window.setPieceSource(&pieces);
        window.setWindowFlags(Qt::CustomizeWindowHint | Qt::FramelessWindowHint);
        window.move(0, 0);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QString path = file.path;
        window.playFile(path, "hash", 0, true, QString::fromLatin1(file.bits), file.pieceLength);
        auto *slider = window.findChild<BufferSlider *>("processSlider");
        QVERIFY(slider);
        QTRY_VERIFY_WITH_TIMEOUT(slider->isVisible() && slider->isEnabled(), 5000);
        QCOMPARE(slider->pieces(), file.bits);

        // Along the groove, past the handle: one colour over the first half,
        // another over the second.
        const QPoint origin = slider->mapTo(&window, QPoint(0, slider->height() / 2));
        const auto colourAt = [&](const QImage &shot, double fraction) {
            return shot.pixelColor(origin.x() + int(fraction * slider->width()), origin.y()).rgb() & 0xF0F0F0;
        };
        QImage shot;
        QTRY_VERIFY_WITH_TIMEOUT((shot = grab(window), colourAt(shot, 0.25) != colourAt(shot, 0.75)), 5000);
        shot.save(QDir(QStringLiteral(MORVANE_BUILD_BIN_DIR "/..")).absoluteFilePath("seek-bar.png"));
        QSet<QRgb> firstHalf, secondHalf;
        for (double f = 0.2; f < 0.46; f += 0.02)
            firstHalf << colourAt(shot, f);
        for (double f = 0.55; f < 0.92; f += 0.02)
            secondHalf << colourAt(shot, f);
        QVERIFY2(firstHalf.size() == 1 && secondHalf.size() == 1 && firstHalf != secondHalf,
            qPrintable(QStringLiteral("%1 / %2 colours").arg(firstHalf.size()).arg(secondHalf.size())));
    }

    // Messages over a playing picture: a replaced one leaves nothing of the
    // longer text before it, a cleared one leaves the picture as it was.
    void clearedMessageLeavesNoText()
    {
        TemporaryHome home;
        // A still picture, so that any change in the corner is the message.
        const QString clip = QDir(home.path()).filePath(QStringLiteral("flat.mp4"));
        TestMedia::Recipe flat;
        flat.colour = QStringLiteral("0x203050");
        flat.size = { 640, 360 };
        flat.rate = 24;
        flat.seconds = 30;
        flat.noise = 0;
        flat.videoKbps = 0;
        flat.keyframeEvery = 0;
        flat.audioKbps = 0;
        QVERIFY(TestMedia::make(flat, clip));

        player window;
        window.setWindowFlags(Qt::CustomizeWindowHint | Qt::FramelessWindowHint);
        window.move(0, 0);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QString file = clip;
        window.playFile(file);
        QTRY_VERIFY_WITH_TIMEOUT(window.engine().time() > 1000, 8000);

        auto *surface = window.findChild<QLabel *>("display_label");
        const QRect corner(surface->mapTo(&window, QPoint(0, 0)), QSize(surface->width() / 2, 80));
        const QPoint middle = surface->mapTo(&window, surface->rect().center());
        QTRY_VERIFY_WITH_TIMEOUT(near(grab(window).pixelColor(middle), QColor(0x20, 0x30, 0x50)), 8000);
        const QImage before = grab(window).copy(corner);
        QCOMPARE(rightmostYellow(before), -1);

        window.showMessage(QStringLiteral("data caching.."), true, false);
        int longRight = -1;
        QTRY_VERIFY_WITH_TIMEOUT((longRight = rightmostYellow(grab(window).copy(corner))) > 0, 5000);
        window.showMessage(QStringLiteral("finsh.."), true, true);
        int shortRight = -1;
        QTRY_VERIFY_WITH_TIMEOUT(
            (shortRight = rightmostYellow(grab(window).copy(corner))) > 0 && shortRight < longRight * 3 / 4,
            5000);
        QCOMPARE(window.messageText(), QStringLiteral("finsh.."));
        grab(window).save(
            QDir(QStringLiteral(MORVANE_BUILD_BIN_DIR "/..")).absoluteFilePath("player-message.png"));

        // Cleared by itself after three seconds: the corner is the picture again.
        QTRY_VERIFY_WITH_TIMEOUT(window.messageText().isEmpty(), 5000);
        QImage after;
        QTRY_VERIFY_WITH_TIMEOUT(same(after = grab(window).copy(corner), before), 3000);
    }

private:
    // Where a widget lies in the window's own pixels; its geometry() is in
    // its parent's coordinates.
    static QRect areaIn(QWidget &window, QWidget *widget)
    {
        return QRect(widget->mapTo(&window, QPoint(0, 0)), widget->size());
    }
    // Distinct strong hues (in sixths of the circle) along the area's middle row.
    static int huesAcross(const QImage &image, const QRect &area)
    {
        QSet<int> hues;
        const int y = area.center().y();
        for (int x = area.left(); x <= area.right(); x += 3) {
            const QColor c = image.valid(x, y) ? image.pixelColor(x, y) : QColor();
            if (c.isValid() && c.hsvSaturationF() > 0.5 && c.valueF() > 0.5 && c.hsvHue() >= 0)
                hues.insert(c.hsvHue() / 60);
        }
        return int(hues.size());
    }
    // Message yellow, as drawn with its dark outline and smoothing.
    static bool isYellow(const QColor &c) { return c.red() > 150 && c.green() > 150 && c.blue() < 110; }
    static int rightmostYellow(const QImage &image)
    {
        int right = -1;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (isYellow(image.pixelColor(x, y)))
                    right = qMax(right, x);
        return right;
    }
    static bool near(const QColor &a, const QColor &b)
    {
        return qAbs(a.red() - b.red()) <= 12 && qAbs(a.green() - b.green()) <= 12
            && qAbs(a.blue() - b.blue()) <= 12;
    }
    static bool same(const QImage &a, const QImage &b)
    {
        if (a.size() != b.size() || a.isNull())
            return false;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                if (!near(a.pixelColor(x, y), b.pixelColor(x, y)))
                    return false;
        return true;
    }
    static QImage grab(QWidget &window) { return window.screen()->grabWindow(window.winId()).toImage(); }
    static int distinctColours(const QImage &image, const QRect &area)
    {
        QSet<QRgb> colours;
        for (int y = area.top(); y < area.bottom(); y += 7)
            for (int x = area.left(); x < area.right(); x += 7)
                if (image.valid(x, y))
                    colours.insert(image.pixel(x, y) & 0xF0F0F0);
        return int(colours.size());
    }
};

int main(int argc, char **argv)
{
    XvfbServer xvfb;
    if (!xvfb.start())
        qFatal("Xvfb did not start");
    qputenv("DISPLAY", xvfb.display().toLatin1());
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("MORVANE_VLC_OPTIONS", "--aout=dummy");
    int result = 1;
    {
        QApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Morvane"));
        TestPlayerWindow test;
        result = QTest::qExec(&test, argc, argv);
    }
    return result;
}
#include "tst_playerwindow.moc"
