#include "app/singleapplication.h"
#include "tests/support/temporaryhome.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSettings>
#include <QTest>
#include <signal.h>
#include <sys/types.h>

#include <csignal>

// Starts the real player program twice in a throw-away home and watches what
// the first instance receives.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_home = std::make_unique<TemporaryHome>();
        QVERIFY(m_home->isValid());
    }
    void cleanup()
    {
        if (m_first) {
            ::kill(pid_t(m_first->processId()), SIGCONT);
            m_first->kill();
            m_first->waitForFinished(5000);
        }
        m_first.reset();
        m_home.reset();
    }

    void instanceMessage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("none") << QStringList() << QString();
        QTest::newRow("only dashes") << QStringList { "--a" } << QString();
        QTest::newRow("skipped last leaves separator") << QStringList { "x", "--a" } << "x|";
        QTest::newRow("skipped middle") << QStringList { "a.torrent", "--x", "b.mkv" } << "a.torrent|b.mkv";
        QTest::newRow("single dash kept") << QStringList { "-a" } << "-a";
        // Only a leading "--" counts: dashes inside or after a blank do not.
        QTest::newRow("dashes not at the start")
            << QStringList { "a--b.mkv", " --x", "—a" } << "a--b.mkv| --x|—a";
    }
    void instanceMessage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        QCOMPARE(SingleApplication::instanceMessage(arguments), message);
    }

    void secondStartHandsItsArgumentsOver()
    {
        startFirst();
        // Files are named from the second start's folder; links pass as they are.
        const QString here = QDir::currentPath();
        // Qt's own options and their values are not files.
        QCOMPARE(runSecond({ "a.torrent", "-style", "fusion", "b.mkv" }), 0);
        QTRY_VERIFY_WITH_TIMEOUT(m_output.contains("message from a second start: " + here.toUtf8()
                                     + "/a.torrent|" + here.toUtf8() + "/b.mkv"),
            5000);
        QCOMPARE(runSecond({ "magnet:?xt=urn:btih:AB", "--webEngineArgs", "--no-sandbox" }), 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            m_output.contains("message from a second start: magnet:?xt=urn:btih:AB\n"), 5000);
    }

    void emptyMessageSendsNothing()
    {
        startFirst();
        QCOMPARE(runSecond({}), 0);
        QVERIFY(m_secondOutput.contains("Morvane is already running for this user."));
        QVERIFY(!m_secondOutput.contains("Passing program parameters"));
        QCOMPARE(runSecond({ "-reverse" }), 0);
        QVERIFY(!m_secondOutput.contains("Passing program parameters"));
        // An unknown option is refused before the running player is looked for.
        QCOMPARE(runSecond({ "a.mkv", "--only" }), 2);
        QVERIFY(m_secondOutput.contains("Unknown option 'only'"));
        QVERIFY(!m_secondOutput.contains("already running"));
        // A real message afterwards arrives alone: nothing was queued before it.
        QCOMPARE(runSecond({ "/marker" }), 0);
        QTRY_VERIFY_WITH_TIMEOUT(m_output.contains("message from a second start: /marker"), 5000);
        QCOMPARE(m_output.count("message from a second start:"), 1);
    }

    void silentFirstInstanceDoesNotHangTheSecond()
    {
        startFirst();
        ::kill(pid_t(m_first->processId()), SIGSTOP);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(runSecond({ "late.mkv" }), 0);
        QVERIFY2(clock.elapsed() < 9000, qPrintable(QString::number(clock.elapsed())));
        ::kill(pid_t(m_first->processId()), SIGCONT);
    }

    void staleLockOfACrashedInstance()
    {
        startFirst();
        m_first->kill(); // SIGKILL: no clean-up, the lock and socket stay behind
        QVERIFY(m_first->waitForFinished(5000));
        m_first.reset();
        startFirst();
        QVERIFY(!m_output.contains("already running"));
        QCOMPARE(runSecond({ "/after-crash" }), 0);
        QTRY_VERIFY_WITH_TIMEOUT(m_output.contains("message from a second start: /after-crash"), 5000);
    }

    void emptyLocaleIsFilledFromTheSystem()
    {
        startFirst({ { "LC_ALL", "zh_CN.UTF-8" } });
        QVERIFY(m_output.contains("using locale zh_CN"));
        // The running instance writes its settings on its own schedule.
        const QString file = m_home->dataHome() + "/Morvane/BT_backup/data/Morvane.ini";
        QTRY_COMPARE_WITH_TIMEOUT(
            QSettings(file, QSettings::IniFormat).value("Preferences/General/Locale").toString(),
            QStringLiteral("zh_CN"), 5000);
    }

private:
    static QString program() { return QStringLiteral(MORVANE_BUILD_BIN_DIR "/Morvane"); }

    QProcessEnvironment environment(const QList<QPair<QString, QString>> &extra = {}) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("morvane.*=true"));
        env.insert(QStringLiteral("MORVANE_NETWORK"), QStringLiteral("loopback"));
        for (const auto &[name, value] : extra)
            env.insert(name, value);
        return env;
    }

    void startFirst(const QList<QPair<QString, QString>> &extra = {})
    {
        m_output.clear();
        m_first = std::make_unique<QProcess>();
        m_first->setProcessEnvironment(environment(extra));
        m_first->setProcessChannelMode(QProcess::MergedChannels);
        connect(m_first.get(), &QProcess::readyRead, this, [this] { m_output += m_first->readAll(); });
        m_first->start(program(), {});
        QVERIFY(m_first->waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(
            m_output.contains("using locale") || m_output.contains("load translator failed"), 10000);
    }

    int runSecond(const QStringList &arguments)
    {
        QProcess second;
        second.setProcessEnvironment(environment());
        second.setProcessChannelMode(QProcess::MergedChannels);
        second.start(program(), arguments);
        if (!second.waitForFinished(15000)) {
            second.kill();
            second.waitForFinished();
            return -1;
        }
        m_secondOutput = second.readAll();
        return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -2;
    }

    std::unique_ptr<TemporaryHome> m_home;
    std::unique_ptr<QProcess> m_first;
    QByteArray m_output;
    QByteArray m_secondOutput;
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
