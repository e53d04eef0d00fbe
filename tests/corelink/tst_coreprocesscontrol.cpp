#include "corelink/clientagent.h"
#include "corelink/clientrequestthread.h"
#include "corelink/coreprocesscontrol.h"
#include "corelinktestkit.h"
#include "platform/processlist.h"
#include "protocol/coreprotocol.h"
#include "settings/preferences.h"
#include "tests/support/fakecore.h"
#include "tests/support/temporaryhome.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

// The cores started here are copies of a small stand-in program in a private
// temporary folder: they log their arguments beside themselves, and killing
// "the core" can only ever reach them.
class TestCoreProcessControl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void launchArgumentsAtStartAndAfterLosses();
    void killedCoreIsRestartedAndToldWhatPlays();
    void turnDownKillsOnlyThisFolder();
    void closeWindow_data();
    void closeWindow();
    void shutdownCompletely();
    void failedLaunchIsLogged();

private:
    bool installCore(const QString &folder);
    QStringList launches(const QString &folder) const;
    QStringList requests(const QString &channel) const;
    void startAgent();

    std::unique_ptr<TemporaryHome> m_home;
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<QTemporaryDir> m_otherFolder;
    std::unique_ptr<FakeCore> m_core;
    std::unique_ptr<ClientAgent> m_agent;
    std::unique_ptr<CoreProcessControl> m_control;
    ScriptedAsker m_asker;
    QString m_channel;
};

void TestCoreProcessControl::initTestCase()
{
    TraceCapture::install();
}

void TestCoreProcessControl::init()
{
    QVERIFY(m_home = TemporaryHome::forPlayer());
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(installCore(m_folder->path()));
    m_channel = FakeCore::uniqueChannelName();
    Preferences pref;
    pref.setValue("/config/backServerName", m_channel);
    pref.sync();
    m_core = std::make_unique<FakeCore>();
    QVERIFY(m_core->listen(m_channel));
    m_asker = {};
    TraceCapture::lines().clear();
    ClientRequestTHread::setDefaultIntervals(50, 60000);
    CorePrompt::setDefaultAsker(m_asker.asker());
}

void TestCoreProcessControl::cleanup()
{
    qunsetenv("MORVANE_STANDIN_LISTENS");
    m_control.reset();
    m_agent.reset();
    m_core.reset();
    // Whatever stand-ins a failed test left behind: ours, by pid.
    for (QTemporaryDir *dir : { m_folder.get(), m_otherFolder.get() }) {
        if (!dir)
            continue;
        for (qint64 pid : ProcessList::findByPath(dir->filePath(CoreProcessControl::coreFileName())))
            ::kill(pid_t(pid), SIGKILL);
    }
    m_otherFolder.reset();
    m_folder.reset();
    m_home.reset();
}

bool TestCoreProcessControl::installCore(const QString &folder)
{
    const QString target = QDir(folder).filePath(CoreProcessControl::coreFileName());
    return QFile::copy(STANDIN_CORE, target)
        && QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QStringList TestCoreProcessControl::launches(const QString &folder) const
{
    QFile log(QDir(folder).filePath("launches.log"));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
}

// What the stand-in listening on channel has received, one line a request.
QStringList TestCoreProcessControl::requests(const QString &channel) const
{
    QFile log(QDir(m_folder->path()).filePath("requests.log"));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    QStringList out;
    for (const QString &line : QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts))
        if (line.startsWith(channel + '\t'))
            out.append(line.mid(channel.size() + 1));
    return out;
}

void TestCoreProcessControl::startAgent()
{
    m_agent = std::make_unique<ClientAgent>();
    m_control = std::make_unique<CoreProcessControl>(m_agent.get());
    m_control->setProgramFolder(m_folder->path());
    // the window's wiring
    connect(m_agent.get(), &ClientAgent::serverStateCheck, m_control.get(),
        &CoreProcessControl::serverStateCheck);
    connect(m_agent.get(), &ClientAgent::serverReadyToClose, m_control.get(), &CoreProcessControl::myQuit);
    // The stand-in does not listen: the fake core takes the restarted core's channel.
    connect(m_agent.get(), &ClientAgent::serverStateCheck, m_core.get(), [this](const QString &name) {
        if (!name.isEmpty() && m_core->channelName() != name)
            QVERIFY(m_core->listen(name));
    });
    QVERIFY(m_core->waitForClient());
    QVERIFY(m_core->waitForRequests(1));
    m_core->reply(12, {});
    QTRY_COMPARE_WITH_TIMEOUT(launches(m_folder->path()), QStringList { "MorvaneCore" }, 5000);
}

void TestCoreProcessControl::launchArgumentsAtStartAndAfterLosses()
{
    Preferences pref;
    pref.setBackServerLostAttitude(true);
    pref.sync();
    startAgent();
    QSignalSpy rebuild(m_agent.get(), &ClientAgent::_rebuildConnection);

    m_core->dropClient();
    QVERIFY(m_core->waitForConnectionCount(2));
    m_core->dropClient();
    QVERIFY(m_core->waitForConnectionCount(3));

    const QString plus = m_channel + "+";
    QTRY_COMPARE_WITH_TIMEOUT(launches(m_folder->path()), (QStringList { "MorvaneCore", plus, plus }), 5000);
    QCOMPARE(rebuild.size(), 2);
    QCOMPARE(TraceCapture::count("Try to start/reset back-server at MorvaneCore"), 1);
    QCOMPARE(TraceCapture::count("Try to start/reset back-server at serverName: " + plus), 2);
    // Each restart stopped the core before it: one left running.
    QCOMPARE(ProcessList::findByPath(m_control->coreProgramPath()).size(), 1);
}

// kill -9 of the core the player started, while a file plays: after Yes the
// player reaches the new core on its new channel and tells it what plays.
void TestCoreProcessControl::killedCoreIsRestartedAndToldWhatPlays()
{
    m_core.reset();
    qputenv("MORVANE_STANDIN_LISTENS", "1");
    const QString first = CoreProcessControl::defaultChannelName();
    Preferences pref;
    pref.setValue("/config/backServerName", first);
    pref.sync();
    ClientRequestTHread::setDefaultIntervals(1000, 60000);
    m_asker.answers = { int(QMessageBox::Yes) };
    m_agent = std::make_unique<ClientAgent>();
    m_control = std::make_unique<CoreProcessControl>(m_agent.get());
    m_control->setProgramFolder(m_folder->path());
    connect(m_agent.get(), &ClientAgent::serverStateCheck, m_control.get(),
        &CoreProcessControl::serverStateCheck);
    const QStringList file { "9\taa\t1" }, range { "11\taa\t4\t9\t30" };
    QTRY_COMPARE_WITH_TIMEOUT(requests(first), (QStringList { "12\t", "31" }), 10000);
    emit m_agent->sessionRequest(CoreProtocol::PlayingFile, { "aa", "1" });
    emit m_agent->sessionRequest(CoreProtocol::PiecePriority, { "aa", "4", "9", "30" });
    QTRY_COMPARE_WITH_TIMEOUT(requests(first), (QStringList { "12\t", "31" } + file + range), 5000);
    const QList<qint64> cores = ProcessList::findByPath(m_control->coreProgramPath());
    QCOMPARE(cores.size(), 1);

    QElapsedTimer sinceKill;
    sinceKill.start();
    QCOMPARE(::kill(pid_t(cores.first()), SIGKILL), 0);
    QTRY_COMPARE_WITH_TIMEOUT(requests(first + "+"), (QStringList { "31" } + file + range), 10000);
    qInfo("the new core heard what plays %lld ms after the kill", sinceKill.elapsed());

    QCOMPARE(m_asker.texts, QStringList { "We have lost the back-server(MorvaneCore.exe).." });
    QCOMPARE(launches(m_folder->path()), (QStringList { first, first + "+" }));
    QTRY_COMPARE_WITH_TIMEOUT(ProcessList::findByPath(m_control->coreProgramPath()).size(), 1, 5000);
}

void TestCoreProcessControl::turnDownKillsOnlyThisFolder()
{
    m_otherFolder = std::make_unique<QTemporaryDir>();
    QVERIFY(installCore(m_otherFolder->path()));
    CoreProcessControl mine(nullptr), other(nullptr);
    mine.setProgramFolder(m_folder->path());
    other.setProgramFolder(m_otherFolder->path());
    QVERIFY(mine.launchProgram(CoreProcessControl::coreFileName(), "a", false, true));
    QVERIFY(other.launchProgram(CoreProcessControl::coreFileName(), "b", false, true));
    QTRY_COMPARE_WITH_TIMEOUT(ProcessList::findByPath(mine.coreProgramPath()).size(), 1, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(ProcessList::findByPath(other.coreProgramPath()).size(), 1, 5000);

    mine.tryToTurnDownServer();
    QTRY_VERIFY_WITH_TIMEOUT(ProcessList::findByPath(mine.coreProgramPath()).isEmpty(), 5000);
    QCOMPARE(ProcessList::findByPath(other.coreProgramPath()).size(), 1);
}

void TestCoreProcessControl::closeWindow_data()
{
    QTest::addColumn<bool>("background");
    QTest::newRow("background work") << true;
    QTest::newRow("no background work") << false;
}

void TestCoreProcessControl::closeWindow()
{
    QFETCH(bool, background);
    Preferences pref;
    pref.setPtBackgroundWork(background);
    pref.sync();
    startAgent();
    QTRY_COMPARE_WITH_TIMEOUT(ProcessList::findByPath(m_control->coreProgramPath()).size(), 1, 5000);
    QSignalSpy closing(m_control.get(), &CoreProcessControl::closeRequested);
    QSignalSpy gone(m_core.get(), &FakeCore::clientDisconnected);

    m_control->prepQuit();
    if (background) {
        QCOMPARE(closing.size(), 1);
        QVERIFY(gone.wait(5000) || !gone.isEmpty());
        QCOMPARE(m_core->requestsOfType(21).size(), 0);
        QCOMPARE(ProcessList::findByPath(m_control->coreProgramPath()).size(), 1);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(m_core->requestsOfType(21).size(), 1, 5000);
        QCOMPARE(m_core->requests().last().type, 21);
        QCOMPARE(m_core->requests().last().arguments, QStringList { "" });
        QCOMPARE(closing.size(), 0);
        QCOMPARE(ProcessList::findByPath(m_control->coreProgramPath()).size(), 1);
        m_core->reply(21);
        QVERIFY(closing.wait(5000));
        QTRY_VERIFY_WITH_TIMEOUT(ProcessList::findByPath(m_control->coreProgramPath()).isEmpty(), 5000);
        QVERIFY(gone.wait(5000) || !gone.isEmpty());
    }
    QCoreApplication::processEvents();
    QVERIFY(m_asker.texts.isEmpty());
}

void TestCoreProcessControl::shutdownCompletely()
{
    startAgent();
    QTRY_COMPARE_WITH_TIMEOUT(ProcessList::findByPath(m_control->coreProgramPath()).size(), 1, 5000);
    QSignalSpy closing(m_control.get(), &CoreProcessControl::closeRequested);
    m_control->myQuit();
    QCOMPARE(closing.size(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(ProcessList::findByPath(m_control->coreProgramPath()).isEmpty(), 5000);
    QCOMPARE(m_core->requestsOfType(21).size(), 0);
    QCOMPARE(TraceCapture::count("try to turn down MorvaneCore.exe.."), 1);
    QCoreApplication::processEvents();
    QVERIFY(m_asker.texts.isEmpty());
}

void TestCoreProcessControl::failedLaunchIsLogged()
{
    CoreProcessControl control(nullptr);
    control.setProgramFolder(m_folder->path());
    QVERIFY(!control.launchProgram("no-such-program", "x", false, true));
    QCOMPARE(TraceCapture::count("****quit***********"), 1);
    // Outside the program folder the name is taken as given.
    QVERIFY(control.launchProgram(control.coreProgramPath(), QString(), false, false));
    QTRY_COMPARE_WITH_TIMEOUT(launches(m_folder->path()), QStringList {}, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(ProcessList::findByPath(control.coreProgramPath()).size(), 1, 5000);
}

QTEST_MAIN(TestCoreProcessControl)
#include "tst_coreprocesscontrol.moc"
