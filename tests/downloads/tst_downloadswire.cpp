#include "corelink/clientagent.h"
#include "corelink/clientrequestthread.h"
#include "downloads/downloadscontroller.h"
#include "downloads/torrentpieces.h"
#include "downloads/treeitem.h"
#include "downloads/treemodel.h"
#include "links/linkprocessor.h"
#include "player/agentwiring.h"
#include "player/torrentpiecesource.h"
#include "replyrows.h"
#include "settings/preferences.h"
#include "tests/support/fakecore.h"
#include "tests/support/temporaryhome.h"

#include <QSignalSpy>
#include <QTest>

using Rows = QList<QStringList>;

namespace {

const QString H1 = rows::hash(1);
const QString H2 = rows::hash(2);
const QString H3 = rows::hash(3);

struct Request
{
    int type;
    QStringList arguments;
    bool operator==(const Request &other) const = default;
};

char *toString(const Request &r)
{
    return QTest::toString(QString::number(r.type) + u' ' + r.arguments.join(u'|'));
}

} // namespace

// The downloads list talking to a core through the real agent and connection:
// every request it sends is recorded from the wire, in order.
class TestDownloadsWire : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<Rows>(); }

    void requestsOnTheWire()
    {
        TemporaryHome home;
        QCoreApplication::setApplicationName("Morvane");
        const QString channel = FakeCore::uniqueChannelName();
        {
            Preferences pref;
            pref.setValue("/config/backServerName", channel);
            pref.sync();
        }
        FakeCore core;
        QVERIFY(core.listen(channel));
        ClientRequestTHread::setDefaultIntervals(50, 60000);
        ClientAgent agent;
        TreeModel model;
        DownloadsController controller(&model);
        TorrentPieceSource pieces(model.pieces());
        // Nothing plays: an added download would start at once.
        LinkProcessor links({}, nullptr, nullptr, [] { return 0; });
        AgentWiring::connectDownloads(&agent, &model, &links);
        QVERIFY(core.waitForRequests(1));

        // Start-up list: a torrent of one file and a magnet link without data.
        core.reply(12, { rows::single(H1, "one", "/downloads/one.mkv"), { H2 } });
        QTRY_COMPARE(model.rowCount(), 2);
        // Status: the magnet and an unknown download are asked about.
        core.reply(13, { rows::status(H1, "1101111"), rows::status(H3, "1"), rows::status(H2, "") });
        QVERIFY(core.waitForRequests(3));
        core.reply(14, { rows::multi(H2, "two", { { "a.mkv", 10, "a.mkv" }, { "b.mkv", 20, "b.mkv" } }) });
        QTRY_COMPARE(model.rowCount(QModelIndex(model.index(1, 0))), 2);
        core.reply(13,
            { rows::status(H1, "1101111"),
                rows::status(
                    H2, "0111", "1", 0, 0, "0", { { "1%", "0", "0", "1" }, { "2%", "0", "1", "3" } }) });
        QSignalSpy refreshed(&model, &TreeModel::bitFieldRefresh);
        QSignalSpy rates(&model, &TreeModel::overallUpDownloadRate);
        QVERIFY(rates.wait());

        // Played from the list, then asked about by the player.
        model.doubleClickSlot(model.index(0, 0));
        pieces.requestFrom(H1, 0, 3);
        model.doubleClickSlot(model.index(1, 0, model.index(1, 0)));
        pieces.requestFrom(H2, 1, 0);
        model.callResumeAll();

        // The context menu's commands.
        const QPersistentModelIndex one = model.index(0, 0);
        const QPersistentModelIndex two = model.index(1, 0);
        command(controller, { one, two }, 7);
        command(controller, { two, one }, 6);
        command(controller, { two }, 3);
        command(controller, { one }, 2);

        const QList<Request> expected {
            { 12, { "" } },
            // The opt-in to our own replies, after every connection.
            { 31, {} },
            { 14, { H3, H2 } },
            { 9, { H1, "0" } },
            { 11, { H1, "0", "0", "6" } },
            { 11, { H1, "0", "3", "6" } },
            { 9, { H2, "1" } },
            // Its first pieces are in: only the player's priority asks.
            { 11, { H2, "1", "1", "3" } },
            { 6, { "" } },
            { 5, { H1, H2 } },
            { 4, { H2, H1 } },
            { 3, { H2 } },
            { 2, { H1 } },
        };
        QVERIFY(core.waitForRequests(int(expected.size())));
        QList<Request> sent;
        QByteArray bytes;
        for (const CoreRequest &r : core.requests())
            sent.append({ r.type, r.arguments });
        for (const Request &r : expected)
            bytes += CoreProtocol::encodeRequest(r.type, r.arguments);
        QCOMPARE(sent, expected);
        // Byte for byte: an empty argument is not a null one on the wire.
        QCOMPARE(core.receivedBytes(), bytes);
    }

private:
    static void command(DownloadsController &controller, const QModelIndexList &selection, int code)
    {
        controller.select(selection);
        controller.listMenuAction(code);
    }
};

QTEST_MAIN(TestDownloadsWire)
#include "tst_downloadswire.moc"
