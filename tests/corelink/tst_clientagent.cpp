#include "corelink/clientagent.h"
#include "corelink/clientrequestthread.h"
#include "corelink/coreprompt.h"
#include "corelinktestkit.h"
#include "protocol/coreprotocol.h"
#include "settings/preferences.h"
#include "tests/support/fakecore.h"
#include "tests/support/temporaryhome.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

using Rows = QList<QStringList>;

namespace {
const int Remember = 0;
const int Yes = QMessageBox::Yes;
const int No = QMessageBox::No;
const QString LostText = "We have lost the back-server(MorvaneCore.exe)..";
const QString TimeoutText = "The reply from MorvaneCore timeout, MorvaneCore may lost..";
} // namespace

class TestClientAgent : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void replyDeliveredAsSignal_data();
    void replyDeliveredAsSignal();
    void secondStartupListIgnored();
    void splitAndBurstFrames();
    void retriesUntilCoreAppears();
    void reconnectionAnnouncesAgainWithoutStartupRequest();
    void repliesKeepTimeoutAway();
    void silenceWithRememberedChoiceChangesChannel_data();
    void silenceWithRememberedChoiceChangesChannel();
    void silenceAsks_data();
    void silenceAsks();
    void lostCoreAsks_data();
    void lostCoreAsks();
    void lostCoreRestartNameFollowsSettings();
    void restartedCoreIsToldWhatPlays_data();
    void restartedCoreIsToldWhatPlays();
    void lostCoreBoxDoesNotHoldTheLink();
    void quietQuitSilencesEverything();
    void requestChecks();
    void addFailedNamesItemAndReason();
    void streamAddressKeptUntilTheCoreGoes();
    void brokenReplyDropsConnection_data();
    void brokenReplyDropsConnection();

private:
    void setSetting(const QString &key, const QVariant &value);
    QVariant setting(const QString &key);
    // Starts the agent and waits for its first connection and request 12.
    void connectAgent();

    std::unique_ptr<TemporaryHome> m_home;
    std::unique_ptr<FakeCore> m_core;
    std::unique_ptr<ClientAgent> m_agent;
    ScriptedAsker m_asker;
    QString m_channel;
    QStringList m_restarts;
    // The restarted core comes up on its new channel at once.
    bool m_coreFollowsRestart = true;
};

void TestClientAgent::initTestCase()
{
    TraceCapture::install();
    qRegisterMetaType<Rows>();
}

void TestClientAgent::init()
{
    QVERIFY(m_home = TemporaryHome::forPlayer());
    m_channel = FakeCore::uniqueChannelName();
    setSetting("/config/backServerName", m_channel);
    m_core = std::make_unique<FakeCore>();
    QVERIFY(m_core->listen(m_channel));
    m_asker = {};
    m_restarts.clear();
    m_coreFollowsRestart = true;
    TraceCapture::lines().clear();
    ClientRequestTHread::setDefaultIntervals(50, 60000);
    CorePrompt::setDefaultAsker(m_asker.asker());
}

void TestClientAgent::cleanup()
{
    m_agent.reset();
    m_core.reset();
    m_home.reset();
}

void TestClientAgent::setSetting(const QString &key, const QVariant &value)
{
    Preferences pref;
    pref.setValue(key, value);
    pref.sync();
}

QVariant TestClientAgent::setting(const QString &key)
{
    Preferences pref;
    return pref.value(key);
}

void TestClientAgent::connectAgent()
{
    m_agent = std::make_unique<ClientAgent>();
    // What the window does with a restart: record it, then reconnect; the
    // new core listens a moment after the first attempt.
    connect(m_agent.get(), &ClientAgent::serverStateCheck, m_agent.get(), [this](const QString &name) {
        m_restarts.append(name);
        if (name.isEmpty())
            return;
        emit m_agent->_rebuildConnection();
        if (m_coreFollowsRestart && m_core->channelName() != name)
            QVERIFY(m_core->listen(name));
    });
    QVERIFY(m_core->waitForClient());
    // The start-up list, then the opt-in to our own reply types.
    QVERIFY(m_core->waitForRequests(2));
    QCOMPARE(m_core->requests().at(0).type, 12);
    QCOMPARE(m_core->requests().at(1).type, 31);
    QVERIFY(m_core->requests().at(1).arguments.isEmpty());
    QCOMPARE(m_restarts, QStringList { "" });
}

void TestClientAgent::replyDeliveredAsSignal_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("signal");
    QTest::addColumn<int>("deliveredType");

    QTest::newRow("0 torrents") << 0 << "addedReturn" << 0;
    QTest::newRow("19 urls as 0") << 19 << "addedReturn" << 0;
    QTest::newRow("1 magnets") << 1 << "addedReturn" << 1;
    QTest::newRow("14 descriptions") << 14 << "addedReturn" << 14;
    QTest::newRow("12 startup") << 12 << "startupTorrent" << -1;
    QTest::newRow("13 status") << 13 << "torrentDataSet" << -1;
    QTest::newRow("21 ready") << 21 << "serverReadyToClose" << -1;
    QTest::newRow("7 unknown") << 7 << "" << -1;
    QTest::newRow("-3 unknown") << -3 << "" << -1;
}

void TestClientAgent::replyDeliveredAsSignal()
{
    QFETCH(int, type);
    QFETCH(QString, signal);
    QFETCH(int, deliveredType);

    connectAgent();
    QSignalSpy added(m_agent.get(), &ClientAgent::addedReturn);
    QSignalSpy startup(m_agent.get(), &ClientAgent::startupTorrent);
    QSignalSpy status(m_agent.get(), &ClientAgent::torrentDataSet);
    QSignalSpy ready(m_agent.get(), &ClientAgent::serverReadyToClose);

    const Rows rows { { "0123456789abcdef0123456789abcdef01234567", "name", "" }, { QString() } };
    // A bare 7 or -3 must not eat the 13 behind it as its rows.
    m_core->sendRaw(CoreProtocol::encodeReply(type, rows) + CoreProtocol::encodeReply(13, { { "marker" } }));
    QTRY_VERIFY_WITH_TIMEOUT(
        !status.isEmpty() && status.last().at(0).value<Rows>() == Rows { { "marker" } }, 5000);

    const Rows expected = CoreProtocol::replyHasRows(type) ? rows : Rows {};
    QCOMPARE(added.size(), signal == "addedReturn" ? 1 : 0);
    QCOMPARE(startup.size(), signal == "startupTorrent" ? 1 : 0);
    QCOMPARE(status.size(), signal == "torrentDataSet" ? 2 : 1);
    QCOMPARE(ready.size(), signal == "serverReadyToClose" ? 1 : 0);
    if (signal == "addedReturn") {
        QCOMPARE(added.first().at(0).toInt(), deliveredType);
        QCOMPARE(added.first().at(1).value<Rows>(), expected);
        QVERIFY(added.first().at(1).value<Rows>().at(1).at(0).isNull());
    } else if (signal == "startupTorrent") {
        QCOMPARE(startup.first().at(0).value<Rows>(), expected);
    } else if (signal == "torrentDataSet") {
        QCOMPARE(status.first().at(0).value<Rows>(), expected);
    }
}

void TestClientAgent::secondStartupListIgnored()
{
    connectAgent();
    QSignalSpy startup(m_agent.get(), &ClientAgent::startupTorrent);
    QSignalSpy status(m_agent.get(), &ClientAgent::torrentDataSet);
    m_core->reply(12, { { "first" } });
    m_core->reply(12, { { "second" } });
    m_core->reply(13, { { "after" } });
    QVERIFY(status.wait(5000));
    QCOMPARE(startup.size(), 1);
    QCOMPARE(startup.first().at(0).value<Rows>(), Rows { { "first" } });
    QCOMPARE(status.first().at(0).value<Rows>(), Rows { { "after" } });
}

void TestClientAgent::splitAndBurstFrames()
{
    connectAgent();
    QSignalSpy status(m_agent.get(), &ClientAgent::torrentDataSet);
    QSignalSpy ready(m_agent.get(), &ClientAgent::serverReadyToClose);

    const Rows rows { { "hash", QString::fromUtf8("\xe4\xb8\xad"), "0.5" }, { "other", "" } };
    const QByteArray status13 = CoreProtocol::encodeReply(13, rows);
    // Cut inside the type, a count, a length and a string; the 21 rides
    // with the last piece.
    m_core->sendInPieces(status13 + CoreProtocol::encodeReply(21), { 2, 6, 13, 21, status13.size() - 1 });
    QVERIFY(ready.wait(5000));
    QCOMPARE(status.size(), 1);
    QCOMPARE(status.first().at(0).value<Rows>(), rows);

    m_core->sendRaw(status13 + CoreProtocol::encodeReply(21));
    QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 2, 5000);
    QCOMPARE(status.size(), 2);
}

void TestClientAgent::retriesUntilCoreAppears()
{
    // Real interval here: the retry pace itself is under test.
    ClientRequestTHread::setDefaultIntervals(1000, 60000);
    m_core->stopListening();
    m_agent = std::make_unique<ClientAgent>();
    QSignalSpy announced(m_agent.get(), &ClientAgent::webRequestCheck);
    const QString attempt = "Try to connect at server : " + m_channel;

    QTRY_VERIFY_WITH_TIMEOUT(TraceCapture::count(attempt) >= 3, 5000);
    const QList<qint64> at = TraceCapture::times(attempt);
    for (int i = 1; i < 3; ++i) {
        QVERIFY2(at[i] - at[i - 1] >= 900, qPrintable(QString::number(at[i] - at[i - 1])));
        QVERIFY2(at[i] - at[i - 1] <= 1600, qPrintable(QString::number(at[i] - at[i - 1])));
    }
    QVERIFY(announced.isEmpty());

    QVERIFY(m_core->listen(m_channel));
    QVERIFY(announced.wait(3000));
    QVERIFY(m_core->waitForRequests(2));
    QCOMPARE(TraceCapture::count("Connect to server at  " + m_channel + "  success.."), 1);
    QCOMPARE(m_core->receivedBytes().toHex(),
        QByteArray::fromHex("0000000C 00000001 00000000"
                            "0000001F 00000000")
            .toHex());
}

void TestClientAgent::reconnectionAnnouncesAgainWithoutStartupRequest()
{
    connectAgent();
    QSignalSpy announced(m_agent.get(), &ClientAgent::webRequestCheck);
    m_core->reply(12, {});
    m_asker.answers = { Yes };

    m_core->dropClient();
    QVERIFY(announced.wait(5000));
    QVERIFY(m_core->waitForConnectionCount(2));
    // Something after the reconnection proves nothing more is on its way.
    emit m_agent->sessionRequest(CoreProtocol::StartDownloads, QStringList { "h" });
    QVERIFY(m_core->waitForRequests(4));
    QCOMPARE(m_core->requestsOfType(12).size(), 1);
    // The core forgets the opt-in with the connection: asked again.
    QCOMPARE(m_core->requestsOfType(31).size(), 2);
    QCOMPARE(m_core->requests().last().type, 4);
    QCOMPARE(announced.size(), 1);
    QCOMPARE(m_restarts, (QStringList { "", m_channel + "+" }));
}

void TestClientAgent::repliesKeepTimeoutAway()
{
    ClientRequestTHread::setDefaultIntervals(50, 400);
    connectAgent();
    QSignalSpy status(m_agent.get(), &ClientAgent::torrentDataSet);
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, m_core.get(), [this] { m_core->reply(13, {}); });
    ticker.start(100);
    // Three time-outs' worth of replies, then silence.
    QTRY_VERIFY_WITH_TIMEOUT(status.size() >= 12, 5000);
    ticker.stop();
    QVERIFY(m_asker.texts.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(m_asker.texts, QStringList { TimeoutText }, 5000);
}

void TestClientAgent::silenceWithRememberedChoiceChangesChannel_data()
{
    QTest::addColumn<bool>("recordsName");
    QTest::newRow("core records the name") << true;
    // The settings still name the channel the core has left.
    QTest::newRow("core records it late") << false;
}

void TestClientAgent::silenceWithRememberedChoiceChangesChannel()
{
    QFETCH(bool, recordsName);
    setSetting("/config/backReplyTimeOutAttitude", true);
    ClientRequestTHread::setDefaultIntervals(50, 200);
    connectAgent();
    QSignalSpy announced(m_agent.get(), &ClientAgent::webRequestCheck);
    m_core->reply(12, {});
    // The core moves to the new name and records it, as a real one does.
    connect(m_core.get(), &FakeCore::requestReceived, m_core.get(),
        [this, recordsName](const CoreRequest &request) {
            if (request.type == 18) {
                // One change is enough to follow.
                m_agent->requestThread()->setReplyTimeout(60000);
                if (recordsName)
                    setSetting("/config/backServerName", request.arguments.value(0));
                m_core->listen(request.arguments.value(0));
            }
        });

    QVERIFY(m_core->waitForRequests(3));
    const CoreRequest change = m_core->requests().at(2);
    QCOMPARE(change.type, 18);
    QCOMPARE(change.arguments, QStringList { m_channel + "+" });
    QVERIFY(m_asker.texts.isEmpty());

    // The next request notices the move: it is dropped and the player
    // reconnects to the recorded name.
    emit m_agent->sessionRequest(CoreProtocol::PauseDownloads, QStringList { "dropped" });
    QTRY_COMPARE_WITH_TIMEOUT(announced.size(), 1, 5000);
    QCOMPARE(TraceCapture::count("ServerName ERROR...wrong error server name.."), 1);
    QCOMPARE(m_agent->requestThread()->channelName(), m_channel + "+");
    // Only the first connection dialled the old name.
    const QString oldDial = "Try to connect at server : " + m_channel;
    QCOMPARE(std::count_if(TraceCapture::lines().cbegin(), TraceCapture::lines().cend(),
                 [&oldDial](const TraceLine &line) { return line.text == oldDial; }),
        1);
    emit m_agent->sessionRequest(CoreProtocol::PauseDownloads, QStringList { "kept" });
    QVERIFY(m_core->waitForRequests(5));
    QCOMPARE(m_core->requests().at(4).arguments, QStringList { "kept" });
    QCOMPARE(m_core->requestsOfType(12).size(), 1);
}

void TestClientAgent::silenceAsks_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("changes");
    QTest::addColumn<bool>("remembered");
    QTest::newRow("remember") << Remember << true << true;
    QTest::newRow("yes") << Yes << true << false;
    QTest::newRow("no") << No << false << false;
}

void TestClientAgent::silenceAsks()
{
    QFETCH(int, answer);
    QFETCH(bool, changes);
    QFETCH(bool, remembered);

    ClientRequestTHread::setDefaultIntervals(50, 200);
    m_asker.answers = { answer };
    connectAgent();
    QTRY_COMPARE_WITH_TIMEOUT(m_asker.texts, QStringList { TimeoutText }, 5000);
    QCOMPARE(m_asker.defaultButtons, QStringList { "Yes,and remember my choice" });
    if (changes) {
        QVERIFY(m_core->waitForRequests(3));
        QCOMPARE(m_core->requests().at(2).type, 18);
        QCOMPARE(m_core->requests().at(2).arguments, QStringList { m_channel + "+" });
    } else {
        // No stops the watch until a reply arrives.
        QVERIFY(!m_agent->requestThread()->isReplyTimerActive());
        m_core->reply(13, {});
        QTRY_VERIFY_WITH_TIMEOUT(m_agent->requestThread()->isReplyTimerActive(), 5000);
    }
    QCOMPARE(setting("/config/backReplyTimeOutAttitude").toBool(), remembered);
    QCOMPARE(setting("/config/backReplyTimeOutWarnShow").isValid(), remembered);
    if (remembered)
        QCOMPARE(setting("/config/backReplyTimeOutWarnShow").toBool(), false);
}

void TestClientAgent::lostCoreAsks_data()
{
    QTest::addColumn<bool>("storedAttitude");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("restarts");
    QTest::addColumn<bool>("remembered");
    QTest::newRow("remember") << false << Remember << true << true;
    QTest::newRow("yes") << false << Yes << true << false;
    QTest::newRow("no") << false << No << false << false;
    QTest::newRow("escape") << false << int(QMessageBox::Cancel) << false << false;
    QTest::newRow("stored, no box") << true << No << true << true;
}

void TestClientAgent::lostCoreAsks()
{
    QFETCH(bool, storedAttitude);
    QFETCH(int, answer);
    QFETCH(bool, restarts);
    QFETCH(bool, remembered);

    if (storedAttitude)
        setSetting("/config/backServerLostAttitude", true);
    m_asker.answers = { answer };
    connectAgent();
    QSignalSpy stateCheck(m_agent.get(), &ClientAgent::serverStateCheck);

    m_core->dropClient();
    if (storedAttitude) {
        QVERIFY(stateCheck.wait(5000));
        QVERIFY(m_asker.texts.isEmpty());
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(m_asker.texts, QStringList { LostText }, 5000);
        QCOMPARE(m_asker.defaultButtons, QStringList { "Yes,and remember my choice" });
    }
    if (restarts) {
        QTRY_COMPARE_WITH_TIMEOUT(stateCheck.size(), 1, 5000);
        QCOMPARE(stateCheck.first().at(0).toString(), m_channel + "+");
        QVERIFY(m_core->waitForConnectionCount(2));
    } else {
        QCOMPARE(stateCheck.size(), 0);
        QVERIFY(!m_agent->requestThread()->isConnected());
        QVERIFY(!m_agent->requestThread()->isReplyTimerActive());
    }
    QCOMPARE(setting("/config/backServerLostAttitude").toBool(), remembered);
    if (remembered && !storedAttitude)
        QCOMPARE(setting("/config/backServerLostWarnShow").toBool(), false);
}

// The real box: shown without a nested event loop, so replies and quitting
// go on while it is open, and its answer arrives later.
void TestClientAgent::lostCoreBoxDoesNotHoldTheLink()
{
    connectAgent();
    m_agent->prompt()->setAsker({});
    QSignalSpy stateCheck(m_agent.get(), &ClientAgent::serverStateCheck);
    QMessageBox &box = m_agent->prompt()->lostBox();

    m_core->dropClient();
    QTRY_VERIFY_WITH_TIMEOUT(box.isVisible(), 5000);
    QCOMPARE(m_agent->requestThread()->state(), ClientRequestTHread::State::AskingLost);
    // A second loss while the box is open asks nothing more.
    m_agent->requestThread()->serverLostProcess();
    QCOMPARE(stateCheck.size(), 0);

    box.defaultButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(stateCheck.size(), 1, 5000);
    QCOMPARE(stateCheck.first().at(0).toString(), m_channel + "+");
    QVERIFY(!box.isVisible());
    QCOMPARE(setting("/config/backServerLostAttitude").toBool(), true);
    QVERIFY(m_core->waitForConnectionCount(2));
}

void TestClientAgent::lostCoreRestartNameFollowsSettings()
{
    setSetting("/config/backServerLostAttitude", true);
    connectAgent();
    m_core->dropClient();
    QVERIFY(m_core->waitForConnectionCount(2));
    m_core->dropClient();
    QVERIFY(m_core->waitForConnectionCount(3));
    // The core recorded a new name before it was lost the third time.
    setSetting("/config/backServerName", m_channel + "+");
    QVERIFY(m_core->listen(m_channel + "+"));
    m_core->dropClient();
    QVERIFY(m_core->waitForConnectionCount(4));
    QCOMPARE(m_restarts, (QStringList { "", m_channel + "+", m_channel + "+", m_channel + "++" }));
    QCOMPARE(m_core->requestsOfType(12).size(), 1);
}

void TestClientAgent::restartedCoreIsToldWhatPlays_data()
{
    QTest::addColumn<QList<CoreRequest>>("sent");
    QTest::addColumn<QList<CoreRequest>>("toldAgain");
    const CoreRequest fileA { 9, { "aa", "0" } }, rangeA { 11, { "aa", "0", "3", "9" } };
    const CoreRequest fileB { 9, { "bb", "2" } }, rangeB { 11, { "bb", "10", "14", "40" } };
    const CoreRequest rangeB2 { 11, { "bb", "10", "20", "40" } };
    QTest::newRow("file and place, the last of each") << QList<CoreRequest> { fileA, rangeA, fileB, rangeB,
        rangeB2 } << QList<CoreRequest> { fileB, rangeB2 };
    QTest::newRow("a new file forgets the old place")
        << QList<CoreRequest> { fileA, rangeA, fileB } << QList<CoreRequest> { fileB };
}

// The core is killed while a file plays: the player dials the channel it gave
// the new core until that core listens (the settings still name the old one),
// and tells it again what plays and from where.
void TestClientAgent::restartedCoreIsToldWhatPlays()
{
    QFETCH(QList<CoreRequest>, sent);
    QFETCH(QList<CoreRequest>, toldAgain);
    m_coreFollowsRestart = false;
    m_asker.answers = { Yes };
    connectAgent();
    m_core->reply(12, {});
    QSignalSpy lost(m_agent.get(), &ClientAgent::connectionLost);
    for (const CoreRequest &request : sent)
        emit m_agent->sessionRequest(CoreProtocol::RequestType(request.type), request.arguments);
    QVERIFY(m_core->waitForRequests(2 + int(sent.size())));

    m_core->stopListening();
    m_core->dropClient();
    const QString renamed = m_channel + "+";
    const QString attempt = "Try to connect at server : ";
    QTRY_VERIFY_WITH_TIMEOUT(TraceCapture::count(attempt + renamed) >= 2, 5000);
    QCOMPARE(lost.size(), 1);
    m_core->clearRecorded();
    QVERIFY(m_core->listen(renamed));
    QVERIFY(m_core->waitForConnectionCount(2));
    QVERIFY(m_core->waitForRequests(1 + int(toldAgain.size())));

    // Every attempt went to the new channel.
    QCOMPARE(TraceCapture::count(attempt), 1 + TraceCapture::count(attempt + renamed));
    QCOMPARE(m_restarts, (QStringList { "", renamed }));
    QList<CoreRequest> expected { { 31, {} } };
    expected += toldAgain;
    const QList<CoreRequest> got = m_core->requests();
    QCOMPARE(got.size(), expected.size());
    for (qsizetype i = 0; i < got.size(); ++i) {
        QCOMPARE(got.at(i).type, expected.at(i).type);
        QCOMPARE(got.at(i).arguments, expected.at(i).arguments);
    }
}

void TestClientAgent::quietQuitSilencesEverything()
{
    connectAgent();
    QSignalSpy stateCheck(m_agent.get(), &ClientAgent::serverStateCheck);
    QSignalSpy gone(m_core.get(), &FakeCore::clientDisconnected);
    TraceCapture::lines().clear();

    emit m_agent->_disconnectFromServerBeforeQuit();
    QVERIFY(gone.wait(5000) || !gone.isEmpty());
    m_core->dropClient();
    // However the pipe reports its breaking, nobody is asked any more.
    m_agent->requestThread()->socketErrorCheck(QLocalSocket::ConnectionError);
    m_agent->requestThread()->socketErrorCheck(QLocalSocket::PeerClosedError);
    // Anything the loss would trigger is queued at most once around; let
    // two rounds of events through before looking.
    for (int i = 0; i < 2; ++i)
        QCoreApplication::processEvents();
    QVERIFY(m_asker.texts.isEmpty());
    QCOMPARE(stateCheck.size(), 0);
    QCOMPARE(TraceCapture::count("UnconnectedState.."), 0);
    QCOMPARE(TraceCapture::count("Try to connect"), 0);
    QVERIFY(!m_agent->requestThread()->isReplyTimerActive());
}

void TestClientAgent::requestChecks()
{
    connectAgent();
    TraceCapture::lines().clear();
    const qsizetype before = m_core->receivedBytes().size();

    emit m_agent->sessionRequest(CoreProtocol::PauseDownloads, QStringList {});
    QCOMPARE(TraceCapture::count("Error : empty QStringList in sessionRequest(int,QStringList) found.."), 1);
    emit m_agent->sessionRequest(CoreProtocol::PrepareQuit, QStringList { "" });
    emit m_agent->sessionRequest(CoreProtocol::Ipv6On, QStringList { "" });
    emit m_agent->sessionRequest(CoreProtocol::PauseDownloads, QStringList { "abc" });
    QVERIFY(m_core->waitForRequests(5));
    QCOMPARE(m_core->receivedBytes().mid(before).toHex(' '),
        QByteArray::fromHex("00000015 00000001 00000000"
                            "00000010 00000001 00000000"
                            "00000005 00000001 00000006 006100620063")
            .toHex(' '));
}

void TestClientAgent::addFailedNamesItemAndReason()
{
    connectAgent();
    QSignalSpy failed(m_agent.get(), &ClientAgent::addFailed);
    // Addresses announce their rows before the core answers for them.
    QSignalSpy temporary(m_agent.get(), &ClientAgent::buildTemporaryItem);
    QSignalSpy prepared(m_agent.get(), &ClientAgent::prepBuildItemForUrl);
    const QStringList addresses { "http://127.0.0.1:1/a.torrent", "ftp://127.0.0.1:1/b.torrent" };
    emit m_agent->sessionRequest(CoreProtocol::AddUrls, addresses);
    QCOMPARE(temporary.size(), 1);
    QCOMPARE(temporary.first().first().toInt(), 2);
    QCOMPARE(prepared.size(), 1);
    QCOMPARE(prepared.first().first().toStringList(), addresses);

    m_core->reply(30, { { "/dl/a b.torrent", "no such file" }, { "short row" }, {}, { "magnet:?xt=x", "" } });
    QVERIFY(failed.wait(5000));
    QCOMPARE(failed.size(), 2);
    QCOMPARE(failed.at(0), (QList<QVariant> { "/dl/a b.torrent", "no such file" }));
    QCOMPARE(failed.at(1), (QList<QVariant> { "magnet:?xt=x", "" }));
}

void TestClientAgent::streamAddressKeptUntilTheCoreGoes()
{
    connectAgent();
    QSignalSpy changed(m_agent.get(), &ClientAgent::streamAddressChanged);
    const QString address = "http://127.0.0.1:8123/0123456789abcdef0123456789abcdef/";
    m_core->reply(CoreProtocol::StreamAddress, { { address }, { "file:///etc/" } });
    QVERIFY(changed.wait(5000));
    QCOMPARE(m_agent->streamAddress(), address);
    QCOMPARE(m_agent->networkStreamAddress(), QString()); // not an http address: not one to hand out
    m_core->reply(CoreProtocol::StreamAddress, { { "http://127.0.0.1:8123/no-slash" } });
    QVERIFY(changed.wait(5000));
    QCOMPARE(m_agent->streamAddress(), QString());

    m_core->reply(CoreProtocol::StreamAddress, { { address }, { "http://192.168.1.2:8123/t/" } });
    QVERIFY(changed.wait(5000));
    QCOMPARE(m_agent->networkStreamAddress(), "http://192.168.1.2:8123/t/");
    // A core that comes back has another token.
    m_core->dropClient();
    QTRY_COMPARE_WITH_TIMEOUT(m_agent->streamAddress(), QString(), 5000);
    QCOMPARE(changed.last(), (QList<QVariant> { QString(), QString() }));
}

void TestClientAgent::brokenReplyDropsConnection_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("odd length") << QByteArray::fromHex("0000000D 00000001 00000001 00000003 006100");
    QTest::newRow("absurd count") << QByteArray::fromHex("0000000D FFFFFFF0");
}

void TestClientAgent::brokenReplyDropsConnection()
{
    QFETCH(QByteArray, bytes);
    connectAgent();
    QSignalSpy status(m_agent.get(), &ClientAgent::torrentDataSet);
    QSignalSpy gone(m_core.get(), &FakeCore::clientDisconnected);
    m_core->sendRaw(CoreProtocol::encodeReply(13, { { "good" } }) + bytes);
    QVERIFY(gone.wait(5000));
    QCOMPARE(status.size(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(m_asker.texts, QStringList { LostText }, 5000);
    QCOMPARE(TraceCapture::count("Error : broken reply from server, dropping the connection.."), 1);
}

QTEST_MAIN(TestClientAgent)
#include "tst_clientagent.moc"
