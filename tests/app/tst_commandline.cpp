#include "platform/commandline.h"
#include "platform/version.h"
#include "tests/support/temporaryhome.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

// The four programs' command lines, run for real in a throw-away home: what
// they print and that nothing starts before the command line is accepted.
class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_home = std::make_unique<TemporaryHome>();
        QVERIFY(m_home->isValid());
        QVERIFY(QDir().mkpath(runtimeFolder()));
    }
    void cleanup() { m_home.reset(); }

    void parse_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode"); // -1: the program goes on
        QTest::addColumn<QStringList>("positional");
        QTest::addColumn<QString>("printed");

        const int window = CommandLine::Window;
        const int console = CommandLine::Console;
        QTest::newRow("files and links")
            << window << QStringList { "Morvane", "a.mkv", "magnet:?xt=urn:btih:AB" } << -1
            << QStringList { "a.mkv", "magnet:?xt=urn:btih:AB" } << QString();
        QTest::newRow("Qt's options and their values")
            << window
            << QStringList { "Morvane", "-platform", "offscreen", "-style=fusion", "--reverse", "a.mkv" }
            << -1 << QStringList { "a.mkv" } << QString();
        QTest::newRow("web engine switches pass through")
            << window << QStringList { "Morvane", "a.mkv", "--webEngineArgs", "--no-sandbox", "b" } << -1
            << QStringList { "a.mkv" } << QString();
        QTest::newRow("after -- everything is positional")
            << console << QStringList { "MorvaneCore", "--", "-x" } << -1 << QStringList { "-x" }
            << QString();
        QTest::newRow("help names the program as started")
            << window << QStringList { "/usr/bin/morvane", "-h", "a.mkv" } << 0 << QStringList()
            << "Usage: morvane [options] [file|link...]";
        QTest::newRow("unknown option") << window << QStringList { "Morvane", "a.mkv", "--x" } << 2
                                        << QStringList() << "Unknown option 'x'";
        QTest::newRow("Qt's options belong to window programs")
            << console << QStringList { "MorvaneCore", "-platform", "offscreen" } << 2 << QStringList()
            << "Unknown option 'platform'";
        QTest::newRow("Qt's option without its value") << window << QStringList { "Kelvora", "-style" } << 2
                                                       << QStringList() << "Missing value after '-style'";
    }
    void parse()
    {
        QFETCH(int, kind);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QStringList, positional);
        QFETCH(QString, printed);

        CommandLine commandLine("Morvane", "A player.", CommandLine::Kind(kind));
        commandLine.addPositional("file|link", "What to open.", "[file|link...]");
        commandLine.setPassThrough("--webEngineArgs");
        QCOMPARE(commandLine.parse(arguments), exitCode < 0);
        if (exitCode < 0) {
            QCOMPARE(commandLine.positionalArguments(), positional);
            return;
        }
        QCOMPARE(commandLine.exitCode(), exitCode);
        const QString text = exitCode == 0 ? commandLine.output() : commandLine.errorOutput();
        QVERIFY2(text.contains(printed), qPrintable(text));
        QCOMPARE((exitCode == 0 ? commandLine.errorOutput() : commandLine.output()), QString());
        if (exitCode != 0)
            QVERIFY(text.contains("Usage: "));
    }

    void programsAnswerWithoutStarting_data()
    {
        QTest::addColumn<QString>("program");
        for (const char *name : { "Morvane", "MorvaneCore", "Kelvora", "updater" })
            QTest::newRow(name) << QString(name);
    }
    void programsAnswerWithoutStarting()
    {
        QFETCH(QString, program);
        // No display at all: a program that made its application object
        // first would abort here instead of answering.
        QProcessEnvironment env = m_home->environment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        env.insert("MORVANE_NETWORK", "loopback");

        const Run version = run(program, { "--version" }, env);
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.out, (program + " " MORVANE_VERSION "\n").toUtf8());
        QVERIFY(QRegularExpression("^\\d+\\.\\d+$").match(MORVANE_VERSION).hasMatch());

        const Run help = run(program, { "--help" }, env);
        QCOMPARE(help.exitCode, 0);
        QVERIFY2(help.out.startsWith("Usage: " + program.toUtf8() + " [options]"), help.out.constData());

        const Run unknown = run(program, { "--no-such-option" }, env);
        QCOMPARE(unknown.exitCode, CommandLine::usageError);
        QVERIFY(unknown.out.isEmpty());
        QVERIFY2(unknown.err.contains("Unknown option 'no-such-option'") && unknown.err.contains("Usage: "),
            unknown.err.constData());

        // Nothing was served, locked or written on the way.
        QCOMPARE(QDir(runtimeFolder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
        QVERIFY(!QDir(m_home->dataHome() + "/Morvane").exists());
    }

    void coreRefusesAChannelThatLooksLikeAnOption()
    {
        QProcessEnvironment env = m_home->environment();
        env.insert("MORVANE_NETWORK", "loopback");
        const Run refused = run("MorvaneCore", { "--", "-channel" }, env);
        QCOMPARE(refused.exitCode, CommandLine::usageError);
        QVERIFY2(refused.err.contains("'-channel' looks like an option"), refused.err.constData());
        QCOMPARE(QDir(runtimeFolder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

private:
    struct Run
    {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };

    QString runtimeFolder() const { return m_home->path() + "/runtime"; }

    static Run run(const QString &program, const QStringList &arguments, const QProcessEnvironment &env)
    {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(
            qEnvironmentVariable("MORVANE_BIN_DIR", MORVANE_BUILD_BIN_DIR) + "/" + program, arguments);
        Run result;
        if (!process.waitForFinished(15000)) {
            process.kill();
            process.waitForFinished();
            return result;
        }
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
        return result;
    }

    std::unique_ptr<TemporaryHome> m_home;
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
