#include "tests/support/httpserver.h"
#include "tests/support/temporaryhome.h"
#include "updater/httpwindow.h"

#include <QDate>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

// The updater program itself, in its quiet form (a shown message box would
// wait for a user and so time the test out).
class TestUpdaterProgram : public QObject
{
    Q_OBJECT

private slots:
    void quietRunEndsByItself_data();
    void quietRunEndsByItself();
};

void TestUpdaterProgram::quietRunEndsByItself_data()
{
    QTest::addColumn<bool>("serverConfigured");
    QTest::newRow("latest version") << true;
    QTest::newRow("no server configured") << false;
}

void TestUpdaterProgram::quietRunEndsByItself()
{
    QFETCH(bool, serverConfigured);
    TemporaryHome home;
    HttpServer server;
    QVERIFY(server.listen());
    server.serve("/update/version", "1.05\nhttp://127.0.0.1:1/setup\n", "text/plain");
    {
        QSettings settings(HttpWindow::settingsFilePath(), QSettings::IniFormat);
        settings.setValue("/config/verison", 1.05f);
        settings.setValue("/config/time", 20130428);
        if (serverConfigured)
            settings.setValue("/config/webServer", server.hostAndPort());
    }

    QProcess updater;
    QSignalSpy finished(&updater, &QProcess::finished);
    updater.start(QStringLiteral(MORVANE_BUILD_BIN_DIR) + "/updater", { "hide" });
    QVERIFY(updater.waitForStarted());
    // The event loop must run meanwhile: the server lives in this thread.
    QVERIFY2(finished.wait(20000), updater.readAllStandardError().constData());
    QCOMPARE(updater.exitStatus(), QProcess::NormalExit);
    QCOMPARE(updater.exitCode(), 0);
    QCOMPARE(server.requestedPaths(), serverConfigured ? QStringList { "/update/version" } : QStringList());

    const QSettings settings(HttpWindow::settingsFilePath(), QSettings::IniFormat);
    QCOMPARE(settings.value("/config/time").toInt(), QDate::currentDate().toString("yyyyMMdd").toInt());
}

QTEST_GUILESS_MAIN(TestUpdaterProgram)
#include "tst_updaterprogram.moc"
