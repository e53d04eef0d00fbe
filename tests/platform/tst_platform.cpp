#include "platform/defaultplayer.h"
#include "platform/packagemanager.h"
#include "platform/processlist.h"
#include "platform/programlauncher.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLibraryInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>
#include <sys/wait.h>

// Real processes: a copy of /bin/sleep under a private name and folder, so
// nothing else on the machine can match it.
class TestPlatform : public QObject
{
    Q_OBJECT

private slots:
    void findAndKillOnlyTheExactProgram()
    {
        QTemporaryDir dirA, dirB;
        const QString a = dirA.filePath("morvane-test-sleeper");
        const QString b = dirB.filePath("morvane-test-sleeper");
        QVERIFY(QFile::copy("/bin/sleep", a));
        QVERIFY(QFile::copy("/bin/sleep", b));

        QProcess first, second;
        first.start(a, { "60" });
        second.start(b, { "60" });
        QVERIFY(first.waitForStarted());
        QVERIFY(second.waitForStarted());

        QCOMPARE(ProcessList::findByPath(a), QList<qint64> { first.processId() });
        const QList<qint64> byName = ProcessList::findByName("morvane-test-sleeper");
        QVERIFY(byName.contains(first.processId()));
        QVERIFY(byName.contains(second.processId()));
        QVERIFY(ProcessList::findByName("morvane-test-sleepe").isEmpty());

        QCOMPARE(ProcessList::killByPath(a), 1);
        QVERIFY(first.waitForFinished(5000));
        QCOMPARE(first.exitStatus(), QProcess::CrashExit);
        QCOMPARE(second.state(), QProcess::Running);
        QVERIFY(ProcessList::findByPath(a).isEmpty());

        second.kill();
        second.waitForFinished();
    }

    // A program that stops on SIGTERM is let go its own way; one that ignores
    // it is killed once the grace time is over.
    void stopAsksFirstThenKills_data()
    {
        QTest::addColumn<QString>("onTerm");
        QTest::addColumn<bool>("polite");
        QTest::newRow("stops when asked") << "exit 7" << true;
        QTest::newRow("ignores the request") << "" << false;
    }

    void stopAsksFirstThenKills()
    {
        QFETCH(QString, onTerm);
        QFETCH(bool, polite);
        QTemporaryDir dir;
        const QString shell = dir.filePath("morvane-test-shell");
        QVERIFY(QFile::copy("/bin/sh", shell));
        QProcess child;
        child.start(shell, { "-c", "trap '" + onTerm + "' TERM; echo ready; while :; do sleep 0.05; done" });
        QVERIFY(child.waitForReadyRead(5000)); // the trap is set

        QElapsedTimer clock;
        clock.start();
        // The shell's children carry its path until they exec sleep, so one
        // may be caught too.
        QVERIFY(ProcessList::stopByPath(shell, 1500) >= 1);
        const qint64 took = clock.elapsed();
        QVERIFY(child.waitForFinished(5000));
        if (polite) {
            QCOMPARE(child.exitStatus(), QProcess::NormalExit);
            QCOMPARE(child.exitCode(), 7);
            QVERIFY2(took < 1000, qPrintable(QString::number(took)));
        } else {
            QCOMPARE(child.exitStatus(), QProcess::CrashExit);
            QVERIFY2(took >= 1500, qPrintable(QString::number(took)));
        }
        QVERIFY(ProcessList::findByPath(shell).isEmpty());
    }

    void missingProgramMatchesNothing() { QCOMPARE(ProcessList::killByPath("/nonexistent/MorvaneCore"), 0); }

    void launcherStartsDetachedWithArguments()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath("args");
        qint64 pid = 0;
        QVERIFY(ProgramLauncher::startDetached(
            "/bin/sh", { "-c", "printf '%s' \"$0\" > " + out, "with blank" }, false, nullptr, &pid));
        QVERIFY(pid > 0);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out) && QFile(out).size() > 0, 5000);
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("with blank"));
        QVERIFY(!ProgramLauncher::startDetached(dir.filePath("no-such-program"), {}));
    }

    void packageManagerOwnership_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("owned");
        const QString qtCore = QLibraryInfo::path(QLibraryInfo::LibrariesPath) + "/libQt6Core.so.6";
        QTest::newRow("a file of an installed package") << qtCore << true;
        QTest::newRow("a file of no package") << QCoreApplication::applicationFilePath() << false;
        // Read as a pattern this would match the Qt library above.
        QTest::newRow("a pattern") << QString(qtCore).replace("libQt6Core", "libQt6Cor?") << false;
        QTest::newRow("a relative path") << "usr/lib" << false;
    }
    void packageManagerOwnership()
    {
        QFETCH(QString, path);
        QFETCH(bool, owned);
        if (QStandardPaths::findExecutable("dpkg-query").isEmpty())
            QSKIP("no dpkg here");
        QCOMPARE(PackageManager::owns(path), owned);
    }

    void defaultPlayerCommand_data()
    {
        QTest::addColumn<QString>("exec"); // as written in the desktop file
        QTest::addColumn<QStringList>("command");
        const QString url = "http://127.0.0.1:1/t/h/0/a b.mkv";
        QTest::newRow("url list") << "/usr/bin/player --started-from-file %U"
                                  << QStringList { "/usr/bin/player", "--started-from-file", url };
        QTest::newRow("quoted program, file code, icon and name dropped")
            << "\"/opt/My Player/run\" %i %c %f --x" << QStringList { "/opt/My Player/run", url, "--x" };
        QTest::newRow("no code: the address comes last")
            << "player --fs" << QStringList { "player", "--fs", url };
        QTest::newRow("escapes inside quotes, a literal percent")
            << "sh -c \"echo \\\\\"q\\\\\" 100%%\" %u" << QStringList { "sh", "-c", "echo \"q\" 100%", url };
        QTest::newRow("unclosed quote") << "\"player %u" << QStringList {};
        QTest::newRow("empty") << "" << QStringList {};
    }
    void defaultPlayerCommand()
    {
        QFETCH(QString, exec);
        QFETCH(QStringList, command);
        QCOMPARE(DefaultPlayer::command(exec, "http://127.0.0.1:1/t/h/0/a b.mkv"), command);
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
