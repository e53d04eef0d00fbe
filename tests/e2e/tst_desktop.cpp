// The real Morvane as a new user meets it on a desktop: first starts in a
// fresh home, files handed over by a file manager, on a private X server.
#include "settings/preferences.h"
#include "tests/e2e/playersession.h"
#include "tests/support/temporaryhome.h"
#include "tests/support/testmedia.h"
#include "tests/support/xvfbserver.h"

#include <QDate>
#include <QFileInfo>
#include <QSettings>
#include <QtTest>

class tst_Desktop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void wizardOnlyAtTheFirstStart();
    void filesFromTheFileManager();
    void cleanupTestCase();

private:
    QString iniPath() const { return m_home->dataHome() + "/Morvane/BT_backup/data/Morvane.ini"; }
    // A clip of its own length in a folder of its own, under a name with a blank.
    static QString clip(int seconds, const QString &name);
    static bool playing(PlayerSession &session, int total, qint64 fromMs);

    std::unique_ptr<TemporaryHome> m_home;
    XvfbServer m_xvfb;
};

void tst_Desktop::initTestCase()
{
    QCoreApplication::setApplicationName("Morvane");
    if (QStandardPaths::findExecutable("xdotool").isEmpty())
        QSKIP("needs xdotool");
    QVERIFY2(m_xvfb.start(), "Xvfb did not start");
}

void tst_Desktop::cleanupTestCase()
{
    m_xvfb.stop();
}

void tst_Desktop::init()
{
    m_home = std::make_unique<TemporaryHome>();
    QVERIFY(m_home->isValid());
}

void tst_Desktop::cleanup()
{
    m_home.reset();
}

QString tst_Desktop::clip(int seconds, const QString &name)
{
    const QString source = TestMedia::clip(TestMedia::FaststartMp4, seconds);
    return source.isEmpty() ? QString() : TestMedia::copyAs(source, name);
}

bool tst_Desktop::playing(PlayerSession &session, int total, qint64 fromMs)
{
    const qint64 at = session.waitForScreen(
        [total](const PlayerSession::Screen &s) { return s.playState == 2 && s.total == total; }, 30000,
        fromMs);
    if (at < 0)
        qWarning().noquote() << session.log();
    return at >= 0;
}

void tst_Desktop::wizardOnlyAtTheFirstStart()
{
    // A default install: no web server, nothing stamped, no handler.
    PlayerSession session(m_home->environment(), m_xvfb.display());
    QVERIFY(session.isValid());
    QVERIFY(session.start({}));
    QVERIFY2(session.waitForLine("showing the setup wizard..", 20000) >= 0, qPrintable(session.log()));
    // Finished with its defaults (associations on): Return presses OK.
    QVERIFY(session.typeInto("Setup wizard", "Return"));
    QVERIFY2(session.waitForLine("ui: time", 20000) >= 0, qPrintable(session.log()));

    // The quiet check runs the updater even without a server to ask; it
    // stamps the date the wizard looks for.
    const QString today = QDate::currentDate().toString("yyyyMMdd");
    QTRY_COMPARE_WITH_TIMEOUT(
        QSettings(iniPath(), QSettings::IniFormat).value("/config/time").toString(), today, 30000);
    session.stopAll();

    const qint64 second = session.now();
    QVERIFY(session.start({}));
    QVERIFY2(session.waitForLine("ui: time", 20000, second) >= 0, qPrintable(session.log()));
    QCOMPARE(session.lineTime("showing the setup wizard..", second), -1);
}

void tst_Desktop::filesFromTheFileManager()
{
    {
        Preferences settings;
        settings.setValue("/config/time", QDate::currentDate().toString("yyyyMMdd"));
        settings.sync();
    }
    const QString first = clip(6, "first clip.mp4");
    const QString second = clip(7, "second clip.mp4");
    const QString third = clip(8, "third clip.mp4");
    QVERIFY(!first.isEmpty() && !second.isEmpty() && !third.isEmpty());
    const auto uri
        = [](const QString &path) { return QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded()); };
    QVERIFY(uri(first).contains("first%20clip.mp4"));

    PlayerSession session(m_home->environment(), m_xvfb.display());
    QVERIFY(session.isValid());
    QVERIFY(session.registerHandler());

    // A launcher's %u: a percent-encoded file: URI, at the first start...
    QVERIFY(session.start({ uri(first) }));
    QVERIFY(playing(session, 6, 0));

    // ...and at a second start.
    qint64 from = session.now();
    QVERIFY(session.secondStart({ uri(second) }));
    QVERIFY(playing(session, 7, from));

    // A name relative to the folder the second start runs in.
    from = session.now();
    QVERIFY(session.secondStart({ QFileInfo(third).fileName() }, 10000, QFileInfo(third).path()));
    QVERIFY(playing(session, 8, from));

    // A torrent file the core cannot add: the user reads which and why.
    from = session.now();
    const QString missing = QFileInfo(third).path() + "/no such.torrent";
    QVERIFY(session.secondStart({ uri(missing) }));
    QVERIFY2(session.waitForLine("ui: message Could not add " + missing + ": ", 15000, from) >= 0,
        qPrintable(session.log()));
}

QTEST_MAIN(tst_Desktop)
#include "tst_desktop.moc"
