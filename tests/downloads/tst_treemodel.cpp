#include "downloads/torrentpieces.h"
#include "downloads/treeitem.h"
#include "downloads/treemodel.h"
#include "replyrows.h"
#include "settings/preferences.h"
#include "tests/support/requestspy.h"
#include "tests/support/temporaryhome.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

struct PlayCall
{
    QString path;
    QString hash;
    int fileIndex;
    bool piece0Exist;
    QString bitField;
    int pieceLength;
};

// A model under the item-model tester, with its requests and playback
// orders recorded in the order they were emitted.
struct Fixture
{
    TemporaryHome home;
    TreeModel model;
    QAbstractItemModelTester tester { &model, QAbstractItemModelTester::FailureReportingMode::QtTest };
    QSignalSpy requests { &model, &TreeModel::sessionRequest };
    QSignalSpy changes { &model, &QAbstractItemModel::dataChanged };
    QList<PlayCall> plays;
    QStringList events;

    Fixture()
    {
        QObject::connect(&model, qOverload<QString &, QString, int, bool, QString, int>(&TreeModel::playFile),
            &model, [this](QString &path, QString h, int index, bool ready, QString bits, int length) {
                plays.append({ path, h, index, ready, bits, length });
                events << "play";
            });
        QObject::connect(&model, &TreeModel::stopPlay, &model, [this] { events << "stop"; });
        // The pieces' requests go to the core beside the list's.
        QObject::connect(model.pieces(), &TorrentPieces::sessionRequest, &model, &TreeModel::sessionRequest);
        QObject::connect(&model, &TreeModel::sessionRequest, &model,
            [this](CoreProtocol::RequestType type, const QStringList &) { events << QString::number(type); });
    }

    QList<QStringList> requestsOf(int type) const { return ::requestsOf(requests, type); }

    // A status list, as the agent hands it to the list and to the pieces.
    void status(const QList<QStringList> &list)
    {
        model.pieces()->statusReceived(list);
        model.torrentDataSet(list);
    }
    // What the player does: ask, then have the core fetch what is missing.
    bool ask(const QString &hash, int fileIndex, int piece, bool priority)
    {
        const PieceCheck check = model.pieces()->checkPieces(hash, fileIndex, piece);
        model.pieces()->requestPieces(check, priority);
        return check.ready;
    }
    QString pieces(const QString &hash, int fileIndex = -1) const
    {
        const TorrentPieces *p = model.pieces();
        return (fileIndex < 0 ? p->torrentPieces(hash) : p->filePieces(hash, fileIndex)).toText();
    }

    TreeItem *top(int row) const { return model.rootItem()->child(row); }
    QString text(int row, int column, const QModelIndex &parent = QModelIndex()) const
    {
        return model.index(row, column, parent).data().toString();
    }
};

bool sameIcon(const QIcon &a, const QIcon &b)
{
    return a.cacheKey() == b.cacheKey();
}

const QString H1 = rows::hash(1);
const QString H2 = rows::hash(2);
const QString H3 = rows::hash(3);

} // namespace

class TestTreeModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setApplicationName("Morvane"); }

    void icons()
    {
        Fixture f;
        const filelisticons &i = f.model.icons();
        for (const QIcon *icon : { &i.collapseIcon, &i.expandIcon, &i.appIcon, &i.pauseSymbolIcon,
                 &i.pausedIcon, &i.downloadingIcon, &i.seedingIcon, &i.checkingIcon })
            QVERIFY(!icon->pixmap(16, 16).isNull());
        QVERIFY(i.noIcon.isNull());
        QCOMPARE(f.model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "Name");
        QCOMPARE(f.model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "Done");
        QVERIFY(!f.model.headerData(0, Qt::Vertical, Qt::DisplayRole).isValid());
    }

    void formatters_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("size 1.5 GiB") << "size" << 1.5 * (1 << 30) << "2GB";
        QTest::newRow("size exactly 1 GiB") << "size" << double(1 << 30) << "1024MB";
        QTest::newRow("size exactly 1 MiB") << "size" << double(1 << 20) << "1024KB";
        QTest::newRow("size exactly 1 KiB") << "size" << 1024.0 << "1024B";
        QTest::newRow("size 1025") << "size" << 1025.0 << "1KB";
        QTest::newRow("size 512") << "size" << 512.0 << "512B";
        QTest::newRow("size 0") << "size" << 0.0 << "0B";
        QTest::newRow("rate exactly 1 MiB") << "rate" << double(1 << 20) << "1024K/s";
        QTest::newRow("rate above 1 MiB") << "rate" << double((1 << 20) + 1) << "1M/s";
        QTest::newRow("rate 3 GiB") << "rate" << 3.0 * (1 << 30) << "3072M/s";
        QTest::newRow("rate 1024") << "rate" << 1024.0 << "1024B/s";
        QTest::newRow("short 1.5 GiB") << "short" << 1.5 * (1 << 30) << "1.5G";
        QTest::newRow("short 2.25 MiB") << "short" << 2.25 * (1 << 20) << "2.3M";
        QTest::newRow("short 1536") << "short" << 1536.0 << "1.5K";
        QTest::newRow("short 1024") << "short" << 1024.0 << "1024B";
        QTest::newRow("short 512") << "short" << 512.0 << "512B";
    }
    void formatters()
    {
        QFETCH(QString, kind);
        QFETCH(double, value);
        QFETCH(QString, expected);
        Fixture f;
        const QString got = kind == "size" ? f.model.sizeFormat(value)
            : kind == "rate"               ? f.model.rateFormat(value)
                                           : f.model.shortFormat(value);
        QCOMPARE(got, expected);
    }

    void playable_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("playable");
        QTest::newRow("mixed case") << "/v/a.Mkv" << true;
        QTest::newRow("upper") << "/v/A.AVI" << true;
        QTest::newRow("lower ts") << "/v/a.ts" << true;
        QTest::newRow("rmvb") << "/v/a.rmvb" << true;
        QTest::newRow("3gp") << "/v/a.3gp" << true;
        QTest::newRow("partial file") << "/v/a.mkv.part" << false;
        QTest::newRow("text") << "/v/a.txt" << false;
        QTest::newRow("no extension") << "/v/mkv" << false;
        QTest::newRow("empty") << "" << false;
    }
    void playable()
    {
        QFETCH(QString, path);
        QFETCH(bool, playable);
        Fixture f;
        QCOMPARE(f.model.isPlayable(path), playable);
        f.model.addedReturn(0, { rows::single(H1, "one", path) });
        QCOMPARE(f.top(0)->playable, playable);
    }

    void singleFileRow()
    {
        Fixture f;
        QSignalSpy inserted(&f.model, &QAbstractItemModel::rowsInserted);
        f.model.addedReturn(0, { rows::single(H1, "Movie", "/downloads/Movie.mp4", 3.0 * (1 << 20), "0") });
        QCOMPARE(f.model.rowCount(), 1);
        QCOMPARE(inserted.count(), 1);
        TreeItem *row = f.top(0);
        QCOMPARE(row->hash, H1);
        QCOMPARE(row->childCount(), 0);
        QCOMPARE(row->fileIndex, -1);
        QCOMPARE(row->filePath, "/downloads/Movie.mp4");
        QCOMPARE(row->savePath, "/downloads");
        QCOMPARE(row->sizeText, "3MB");
        QVERIFY(row->playable);
        QVERIFY(!row->noData);
        QCOMPARE(f.text(0, 0), "Movie");
        QCOMPARE(f.model.index(0, 0).data(Qt::SizeHintRole).toSize(), QSize(2200, 20));
        QCOMPARE(f.model.index(0, 1).data(Qt::ForegroundRole).value<QColor>(), QColor(161, 161, 161));
        QCOMPARE(f.model.flags(f.model.index(0, 0)), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        QCOMPARE(f.model.flags(QModelIndex()), Qt::NoItemFlags);
        QCOMPARE(f.changes.count(), 1);
        QVERIFY(f.requests.isEmpty());
    }

    void multiFileRow()
    {
        Fixture f;
        f.model.startupTorrent(
            { rows::multi(H1, "Pack",
                  { { "a.txt", 10, "a.txt" }, { "b.mkv", 2000, "b.mkv" }, { "c.avi", 3000, "sub/c.avi" } }),
                rows::multi(H2, "Empty", {}) });
        QCOMPARE(f.model.rowCount(), 2);
        TreeItem *pack = f.top(0);
        QCOMPARE(pack->childCount(), 3);
        QVERIFY(sameIcon(pack->nameIcon, f.model.icons().expandIcon));
        QVERIFY(!pack->expanded);
        const QModelIndex packIndex = f.model.index(0, 0);
        QCOMPARE(f.model.rowCount(packIndex), 3);
        QCOMPARE(f.model.rowCount(f.model.index(0, 1)), 0);
        QCOMPARE(f.text(2, 0, packIndex), "c.avi");
        TreeItem *c = pack->child(2);
        QCOMPARE(c->fileIndex, 2);
        QCOMPARE(c->hash, H1);
        QCOMPARE(c->filePath, "/downloads/Pack/sub/c.avi");
        QVERIFY(c->playable);
        QVERIFY(!pack->child(0)->playable);
        QCOMPARE(f.model.largestPlayableFile(pack), 2);
        QCOMPARE(f.model.parent(f.model.index(2, 0, packIndex)), packIndex);
        QCOMPARE(f.model.itemFromIndex(f.model.index(2, 1, packIndex)), c);

        TreeItem *empty = f.top(1);
        QCOMPARE(empty->childCount(), 0);
        QVERIFY(sameIcon(empty->nameIcon, f.model.icons().expandIcon));
        QCOMPARE(f.model.largestPlayableFile(empty), -1);
    }

    void startupRowSizes()
    {
        Fixture f;
        QStringList seven = rows::single(H3, "seven", "/x.mkv");
        seven << "extra";
        f.model.startupTorrent({ { H1 }, seven, {}, rows::single(H2, "two", "/y.mkv") });
        QCOMPARE(f.model.rowCount(), 2);
        QCOMPARE(f.top(0)->hash, H1);
        QVERIFY(f.top(0)->noData);
        QCOMPARE(f.top(0)->name, H1);
        QCOMPARE(f.text(0, 1), "no data..");
        QCOMPARE(f.top(1)->hash, H2);
        QCOMPARE(f.model.rowOfHash(H2), 1);
        QCOMPARE(f.model.rowOfHash(H3), -1);
    }

    void columnOneText_data()
    {
        QTest::addColumn<QString>("finished");
        QTest::addColumn<bool>("magnet");
        QTest::addColumn<QString>("expected");
        QTest::newRow("finished shows upload") << "1" << false << "3K/s";
        QTest::newRow("unfinished shows download") << "0" << false << "2M/s";
        QTest::newRow("magnet without data") << "0" << true << "no data..";
    }
    void columnOneText()
    {
        QFETCH(QString, finished);
        QFETCH(bool, magnet);
        QFETCH(QString, expected);
        Fixture f;
        if (magnet)
            f.model.addedReturn(1, { { H1 } });
        else
            f.model.addedReturn(0, { rows::single(H1, "one", "/one.mkv") });
        f.status({ rows::status(H1, "1", "1", 2.0 * (1 << 20), 3 * 1024, finished) });
        QCOMPARE(f.text(0, 1), expected);
    }

    void duplicateHashAddsNoRow()
    {
        Fixture f;
        f.model.addedReturn(0, { rows::single(H1, "first", "/first.mkv") });
        f.model.addedReturn(1, { { H1 } });
        f.model.addedReturn(0, { rows::single(H1, "again", "/again.mkv") }, true);
        QCOMPARE(f.model.rowCount(), 1);
        QCOMPARE(f.top(0)->name, "first");
        QVERIFY(!f.top(0)->noData);
        // The existing row is still played.
        QCOMPARE(f.requestsOf(9), QList<QStringList> { QStringList({ H1, "0" }) });
        QCOMPARE(f.plays.size(), 1);
        QCOMPARE(f.plays.first().path, "/first.mkv");
    }

    void statusUpdatesRowsAndFiles()
    {
        Fixture f;
        f.model.addedReturn(
            0, { rows::multi(H1, "Pack", { { "a.mkv", 10, "a.mkv" }, { "b.mkv", 20, "b.mkv" } }) });
        f.model.addedReturn(0, { rows::single(H2, "one", "/one.mkv") });
        QSignalSpy totals(&f.model, &TreeModel::overallUpDownloadRate);
        f.changes.clear();

        f.status({ rows::status(H1, "1101100", "1", 2048, 1024, "0",
                       { { "10%", "0", "2", "4" }, { "90%", "1", "5", "6" }, { "x", "x", "0", "0" } }),
            rows::status(H2, "1", "2", 1024, 3 * 1024, "1") });
        TreeItem *pack = f.top(0);
        QCOMPARE(pack->downloadRateText, "2K/s");
        QCOMPARE(pack->uploadRateText, "1024B/s");
        QCOMPARE(pack->progressText, "42%");
        QCOMPARE(pack->seedsText, "3");
        QCOMPARE(pack->peersText, "7");
        QCOMPARE(pack->torrentState, 1);
        QVERIFY(sameIcon(pack->stateIcon, f.model.icons().downloadingIcon));
        QCOMPARE(f.pieces(H1), "1101100");
        QCOMPARE(f.model.pieces()->pieceLength(H1), 262144);
        QCOMPARE(pack->uploadedText, "2.0K");
        QCOMPARE(f.pieces(H1, 0), "011");
        QCOMPARE(pack->child(0)->progressText, "10%");
        QCOMPARE(f.pieces(H1, 1), "00");
        QCOMPARE(pack->child(1)->finished, "1");
        QCOMPARE(f.text(1, 1, f.model.index(0, 0)), "90%");
        QCOMPARE(f.top(1)->torrentState, 2);
        QVERIFY(sameIcon(f.top(1)->stateIcon, f.model.icons().seedingIcon));

        QCOMPARE(totals.count(), 1);
        QCOMPARE(totals.first().at(0).toString(), "4K/s");
        QCOMPARE(totals.first().at(1).toString(), "3K/s");
        QCOMPARE(f.changes.count(), 1);
        QCOMPARE(f.changes.first().at(0).value<QModelIndex>(), f.model.index(0, 0));
        QCOMPARE(f.changes.first().at(1).value<QModelIndex>(), f.model.index(1, 1));
        QVERIFY(f.requests.isEmpty());

        // A lost core sends nothing more: no rate of before may stay shown.
        f.model.clearRates();
        QCOMPARE(totals.last().at(1).toString(), f.model.rateFormat(0));
        QCOMPARE(pack->downloadRateText, f.model.rateFormat(0));
        QCOMPARE(f.top(1)->uploadRateText, f.model.rateFormat(0));
    }

    void statusRowsInAnyOrder()
    {
        Fixture f;
        f.model.addedReturn(0, { rows::single(H1, "one", "/one.mkv"), rows::single(H2, "two", "/two.mkv") });
        f.model.buildTemporaryItem(1);
        const auto rates = [&] {
            QStringList texts;
            for (int row = 0; row < f.model.rowCount(); ++row)
                texts << f.top(row)->downloadRateText;
            return texts;
        };
        f.status({ rows::status(H1, "1", "1", 1024), rows::status(H2, "1", "1", 2048) });
        QCOMPARE(rates(), (QStringList { "1024B/s", "2K/s", "" }));
        f.status({ rows::status(H2, "1", "1", 3072), rows::status(H1, "1", "1", 4096) });
        QCOMPARE(rates(), (QStringList { "4K/s", "3K/s", "" }));

        // The placeholder becomes a download that the core lists first.
        f.model.addedReturn(14, { rows::single(H3, "three", "/three.mkv") });
        f.status({ rows::status(H3, "1", "1", 5120), rows::status(H2, "1", "1", 0),
            rows::status(H1, "1", "1", 1) });
        QCOMPARE(rates(), (QStringList { "1B/s", "0B/s", "5K/s" }));
        QVERIFY(f.requests.isEmpty());
    }

    void statusStateCodes_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<int>("state");
        QTest::newRow("checking") << "0" << 0;
        QTest::newRow("paused") << "3" << 3;
        QTest::newRow("unknown code") << "4" << -1;
        QTest::newRow("negative") << "-2" << -1;
        QTest::newRow("not a number reads 0") << "busy" << 0;
    }
    void statusStateCodes()
    {
        QFETCH(QString, code);
        QFETCH(int, state);
        Fixture f;
        f.model.addedReturn(0, { rows::single(H1, "one", "/one.mkv") });
        f.status({ rows::status(H1, "1", "3") });
        f.status({ rows::status(H1, "1", code) });
        QCOMPARE(f.top(0)->torrentState, state);
        const QIcon expected = state == -1 ? f.model.icons().noIcon : f.model.icons().stateIcon(state);
        QCOMPARE(f.top(0)->stateIcon.isNull(), state == -1);
        QVERIFY(sameIcon(f.top(0)->stateIcon, expected));
    }

    void statusWrongSizeAbortsReply()
    {
        Fixture f;
        f.model.addedReturn(0, { rows::single(H1, "one", "/one.mkv") });
        f.model.addedReturn(0, { rows::single(H2, "two", "/two.mkv") });
        f.model.addedReturn(0, { rows::single(H3, "three", "/three.mkv") });
        QSignalSpy totals(&f.model, &TreeModel::overallUpDownloadRate);
        f.changes.clear();

        QStringList thirteen = rows::status(H2, "11", "1", 5000);
        thirteen << "extra";
        QCOMPARE(thirteen.size(), 13);
        f.status({ rows::status(H1, "10", "1", 2048), thirteen, rows::status(H3, "11", "1", 4096),
            { rows::hash(9), "1" } });
        QCOMPARE(f.top(0)->downloadRateText, "2K/s");
        QVERIFY(f.top(1)->downloadRateText.isEmpty());
        QVERIFY(f.top(2)->downloadRateText.isEmpty());
        QCOMPARE(f.changes.count(), 0);
        QCOMPARE(totals.count(), 0);
        QVERIFY(f.requests.isEmpty());

        // The next reply is processed normally.
        f.status({ rows::status(H3, "11", "1", 4096) });
        QCOMPARE(f.top(2)->downloadRateText, "4K/s");
        QCOMPARE(f.changes.count(), 1);
    }

    void statusAsksForMissingDescriptions()
    {
        Fixture f;
        f.model.addedReturn(1, { { H1 } });
        f.model.addedReturn(0, { rows::single(H2, "two", "/two.mkv") });
        const QString unknown = rows::hash(7);
        f.status({ { unknown, "short" }, rows::status(H1, ""), rows::status(H2, "1") });
        QCOMPARE(f.requestsOf(14), QList<QStringList> { QStringList({ unknown, H1 }) });
        f.status({ rows::status(H2, "1") });
        QCOMPARE(f.requestsOf(14).size(), 1);
    }

    void statusBadNumbers_data()
    {
        QTest::addColumn<QStringList>("fileGroup");
        QTest::addColumn<QString>("slice");
        QTest::newRow("in range") << QStringList { "p", "0", "1", "3" } << "101";
        QTest::newRow("first after last") << QStringList { "p", "0", "4", "2" } << "";
        QTest::newRow("last beyond the string") << QStringList { "p", "0", "3", "12" } << "";
        QTest::newRow("negative first") << QStringList { "p", "0", "-1", "2" } << "";
        QTest::newRow("words read as 0") << QStringList { "p", "0", "x", "y" } << "1";
        QTest::newRow("overflowing numbers read as 0")
            << QStringList { "p", "0", "99999999999", "99999999999" } << "1";
    }
    void statusBadNumbers()
    {
        QFETCH(QStringList, fileGroup);
        QFETCH(QString, slice);
        Fixture f;
        f.model.addedReturn(0, { rows::multi(H1, "Pack", { { "a.mkv", 10, "a.mkv" } }) });
        QStringList row { H1, "fast", "-", "p", "s", "p", "1", "0", "11010", "many", "big", "lots" };
        row << fileGroup;
        f.status({ row });
        TreeItem *pack = f.top(0);
        QCOMPARE(pack->downloadRate, 0.0);
        QCOMPARE(pack->uploadRate, 0.0);
        QCOMPARE(f.model.pieces()->pieceLength(H1), 0);
        QCOMPARE(f.pieces(H1, 0), slice);
    }

    void bitFieldShorterThanPieceCount()
    {
        Fixture f;
        f.model.addedReturn(0, { rows::single(H1, "one", "/one.mkv") });
        QStringList row = rows::status(H1, "11");
        row[9] = "6";
        f.status({ row });
        QVERIFY(!f.ask(H1, 0, 0, false));
        QCOMPARE(f.requestsOf(11), QList<QStringList> { QStringList({ H1, "0", "0", "5" }) });
    }

    void magnetPlayedBeforeMetadata()
    {
        Fixture f;
        f.model.addedReturn(0, { rows::single(H2, "other", "/other.mkv") }, true);
        QCOMPARE(f.model.playingItem(), f.top(0));
        f.events.clear();
        f.plays.clear();
        f.requests.clear();

        f.model.addedReturn(1, { { H1 } });
        QCOMPARE(f.top(1)->name, H1);
        f.model.doubleClickSlot(f.model.index(1, 0));
        // Playback stops and the row is marked, but nothing is played yet.
        QCOMPARE(f.events, QStringList { "stop" });
        QCOMPARE(f.model.playingItem(), f.top(1));
        QVERIFY(f.top(1)->playing);
        QVERIFY(!f.top(0)->playing);
        QCOMPARE(f.top(0)->textColor, f.model.icons().normalColor);
        QCOMPARE(f.top(1)->textColor, f.model.icons().activeColor);

        f.status({ rows::status(H1, "") });
        QCOMPARE(f.requestsOf(14), QList<QStringList> { QStringList { H1 } });

        f.model.addedReturn(14,
            { rows::multi(H1, "Found",
                { { "small.mkv", 100, "small.mkv" }, { "big.mp4", 900, "big.mp4" },
                    { "huge.iso", 5000, "huge.iso" } }) });
        TreeItem *row = f.top(1);
        QCOMPARE(row->name, "Found");
        QVERIFY(!row->noData);
        QCOMPARE(row->childCount(), 2 + 1);
        QCOMPARE(f.requestsOf(9), QList<QStringList> { QStringList({ H1, "1" }) });
        QCOMPARE(f.plays.size(), 1);
        QCOMPARE(f.plays.first().path, "/downloads/Found/big.mp4");
        QCOMPARE(f.plays.first().fileIndex, 1);
        QCOMPARE(f.model.playingItem(), row->child(1));
        QVERIFY(row->playing);
        QCOMPARE(row->textColor, f.model.icons().activeColor);
        QVERIFY(sameIcon(row->child(1)->nameIcon, f.model.icons().appIcon));

        // A second description of the same download adds no second set of files.
        f.model.addedReturn(14,
            { rows::multi(H1, "Found",
                { { "small.mkv", 100, "small.mkv" }, { "big.mp4", 900, "big.mp4" },
                    { "huge.iso", 5000, "huge.iso" } }) });
        QCOMPARE(row->childCount(), 3);
    }

    void rebuildUnknownHashTakesOverTemporaryRows()
    {
        Fixture f;
        f.model.buildTemporaryItem(0);
        QCOMPARE(f.model.rowCount(), 0);
        f.model.addedReturn(0, { rows::single(H3, "first", "/first.mkv") });
        f.model.buildTemporaryItem(2);
        QCOMPARE(f.model.rowCount(), 3);
        QCOMPARE(f.text(1, 0), "Processing..");
        QCOMPARE(f.model.findATemporaryBuiltItem(), f.top(1));

        f.model.addedReturn(14, { rows::single(H1, "Resolved", "/r.mkv") }, true);
        QCOMPARE(f.model.rowCount(), 3);
        QCOMPARE(f.text(1, 0), "Resolved");
        QVERIFY(!f.top(1)->temporary);
        QCOMPARE(f.model.findItemByHash(H1), f.top(1));
        QCOMPARE(f.text(2, 0), "Processing..");
        QCOMPARE(f.model.findATemporaryBuiltItem(), f.top(2));
        QCOMPARE(f.plays.size(), 1);
        QCOMPARE(f.plays.first().path, "/r.mkv");

        // Without a temporary row left to take, a new row is added.
        f.model.addedReturn(14, { rows::single(H2, "Second", "/s.mkv") });
        f.model.addedReturn(14, { rows::single(rows::hash(4), "Third", "/t.mkv") });
        QCOMPARE(f.model.rowCount(), 4);
        QCOMPARE(f.text(2, 0), "Second");
        QCOMPARE(f.text(3, 0), "Third");
        QCOMPARE(f.model.findItemByHash(rows::hash(4)), f.top(3));
        QCOMPARE(f.plays.size(), 1);
    }

    void pieceReady_data()
    {
        QTest::addColumn<bool>("multiFile");
        QTest::addColumn<QString>("bits");
        QTest::addColumn<int>("piece");
        QTest::addColumn<bool>("priority");
        QTest::addColumn<bool>("ready");
        QTest::addColumn<QStringList>("request");
        QTest::newRow("110: piece 2 missing")
            << false << "110" << 0 << false << false << QStringList { "0", "0", "2" };
        QTest::newRow("first five present") << false << "1111100" << 0 << false << true << QStringList {};
        QTest::newRow("present, priority asked")
            << false << "1111100" << 0 << true << true << QStringList { "0", "0", "6" };
        QTest::newRow("piece 0 checks five")
            << false << "1111011" << 0 << false << false << QStringList { "0", "0", "6" };
        QTest::newRow("later piece checks three")
            << false << "1011101" << 2 << false << true << QStringList {};
        QTest::newRow("later piece missing")
            << false << "1111101" << 3 << false << false << QStringList { "0", "3", "6" };
        QTest::newRow("one piece only") << false << "1" << 0 << false << false << QStringList {};
        QTest::newRow("no pieces yet") << false << "" << 0 << false << false << QStringList {};
        QTest::newRow("piece beyond the file") << false << "111" << 5 << false << true << QStringList {};
        QTest::newRow("negative piece")
            << false << "111" << -3 << false << false << QStringList { "0", "-3", "2" };
        // File pieces 3..7 of the torrent: piece 0 of the file is torrent piece 3.
        QTest::newRow("file ready") << true << "00011111" << 0 << false << true << QStringList {};
        QTest::newRow("file missing")
            << true << "00011011" << 0 << false << false << QStringList { "3", "3", "7" };
        QTest::newRow("file later piece")
            << true << "00011110" << 2 << false << false << QStringList { "3", "5", "7" };
    }
    void pieceReady()
    {
        QFETCH(bool, multiFile);
        QFETCH(QString, bits);
        QFETCH(int, piece);
        QFETCH(bool, priority);
        QFETCH(bool, ready);
        QFETCH(QStringList, request);
        Fixture f;
        if (multiFile) {
            f.model.addedReturn(
                0, { rows::multi(H1, "Pack", { { "a.txt", 1, "a.txt" }, { "b.mkv", 9, "b.mkv" } }) });
            f.status(
                { rows::status(H1, bits, "1", 0, 0, "0", { { "", "0", "0", "3" }, { "", "0", "3", "7" } }) });
        } else {
            f.model.addedReturn(0, { rows::single(H1, "one", "/one.mkv") });
            f.status({ rows::status(H1, bits) });
        }
        f.requests.clear();
        // Asking alone sends nothing.
        QCOMPARE(f.model.pieces()->pieceReady(H1, multiFile ? 1 : 0, piece), ready);
        QVERIFY(f.requests.isEmpty());
        QCOMPARE(f.ask(H1, multiFile ? 1 : 0, piece, priority), ready);
        if (request.isEmpty()) {
            QVERIFY(f.requests.isEmpty());
        } else {
            QCOMPARE(f.requests.size(), 1);
            QCOMPARE(f.requestsOf(11).value(0), QStringList { H1 } + request);
        }
    }

    void pieceQueriesUnknownRows()
    {
        Fixture f;
        f.model.addedReturn(0, { rows::multi(H1, "Pack", { { "a.mkv", 1, "a.mkv" } }) });
        QVERIFY(!f.ask(H2, 0, 0, true));
        QVERIFY(!f.ask(H1, 5, 0, true));
        QVERIFY(!f.model.pieces()->hasLastPiece(H1, 5));
        QVERIFY(f.requests.isEmpty());
    }

    void hasLastPiece_data()
    {
        QTest::addColumn<QString>("bits");
        QTest::addColumn<bool>("multiFile");
        QTest::addColumn<bool>("expected");
        QTest::newRow("ends in 1") << "0001" << false << true;
        QTest::newRow("ends in 0") << "1110" << false << false;
        QTest::newRow("empty") << "" << false << false;
        QTest::newRow("file slice ends in 1") << "00110" << true << true;
        QTest::newRow("file slice ends in 0") << "11101" << true << false;
    }
    void hasLastPiece()
    {
        QFETCH(QString, bits);
        QFETCH(bool, multiFile);
        QFETCH(bool, expected);
        Fixture f;
        if (multiFile) {
            f.model.addedReturn(0, { rows::multi(H1, "Pack", { { "a.mkv", 1, "a.mkv" } }) });
            f.status({ rows::status(H1, bits, "1", 0, 0, "0", { { "", "0", "1", "3" } }) });
        } else {
            f.model.addedReturn(0, { rows::single(H1, "one", "/one.mkv") });
            f.status({ rows::status(H1, bits) });
        }
        QCOMPARE(f.model.pieces()->hasLastPiece(H1, 0), expected);
    }

    void doubleClickPlaysSingleFile()
    {
        Fixture f;
        {
            Preferences prefs;
            prefs.setValue("/comment_url/" + H1, "http://127.0.0.1/comment/1");
        }
        QSignalSpy comments(&f.model, &TreeModel::setCommentButton);
        f.model.addedReturn(0, { rows::single(H1, "one", "/one.mkv") });
        f.status({ rows::status(H1, "1111100") });
        f.events.clear();
        f.model.doubleClickSlot(f.model.index(0, 0));
        QCOMPARE(f.events, (QStringList { "stop", "9", "play" }));
        QCOMPARE(f.requestsOf(9).value(0), (QStringList { H1, "0" }));
        QCOMPARE(f.plays.size(), 1);
        const PlayCall &call = f.plays.first();
        QCOMPARE(call.path, "/one.mkv");
        QCOMPARE(call.hash, H1);
        QCOMPARE(call.fileIndex, 0);
        QVERIFY(call.piece0Exist);
        QCOMPARE(call.bitField, "1111100");
        QCOMPARE(call.pieceLength, 262144);
        QCOMPARE(comments.count(), 1);
        QCOMPARE(comments.first().at(0).toString(), "http://127.0.0.1/comment/1");
        QVERIFY(sameIcon(f.top(0)->nameIcon, f.model.icons().appIcon));
    }

    void doubleClickTogglesTorrentWithFiles()
    {
        Fixture f;
        f.model.addedReturn(0, { rows::multi(H1, "Pack", { { "a.mkv", 1, "a.mkv" } }) });
        f.model.addedReturn(0, { rows::single(H2, "one", "/one.mkv") }, true);
        f.events.clear();
        f.model.doubleClickSlot(f.model.index(0, 0));
        QVERIFY(f.top(0)->expanded);
        QVERIFY(sameIcon(f.top(0)->nameIcon, f.model.icons().collapseIcon));
        f.model.doubleClickSlot(f.model.index(0, 0));
        QVERIFY(!f.top(0)->expanded);
        QVERIFY(sameIcon(f.top(0)->nameIcon, f.model.icons().expandIcon));
        QVERIFY(f.events.isEmpty());
        QCOMPARE(f.model.playingItem(), f.top(1));
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("row");
        QTest::addColumn<bool>("byHash");
        QTest::newRow("unplayable single file") << rows::single(H1, "doc", "/doc.txt") << false;
        QTest::newRow("torrent without playable files, by hash")
            << rows::multi(H1, "Docs", { { "a.txt", 1, "a.txt" }, { "b.iso", 2, "b.iso" } }) << true;
        QTest::newRow("unknown hash") << rows::single(H2, "other", "/other.mkv") << true;
        QTest::newRow("temporary row") << QStringList {} << false;
    }
    void refusals()
    {
        QFETCH(QStringList, row);
        QFETCH(bool, byHash);
        Fixture f;
        if (row.isEmpty())
            f.model.buildTemporaryItem(1);
        else
            f.model.addedReturn(0, { row });
        f.model.doubleClickSlot(f.model.index(-1, 0));
        if (byHash)
            QVERIFY(QMetaObject::invokeMethod(&f.model, "doubleClickSlot", Q_ARG(QString, H1)));
        else
            f.model.doubleClickSlot(f.model.index(0, 0));
        QVERIFY(f.events.isEmpty());
        QVERIFY(!f.model.playingItem());
    }

    void mediaButtons()
    {
        Fixture f;
        f.model.addedReturn(
            0, { rows::multi(H1, "Pack", { { "a.mkv", 10, "a.mkv" }, { "b.mkv", 20, "b.mkv" } }) });
        TreeItem *pack = f.top(0);
        TreeItem *file = pack->child(0);
        f.model.doubleClickSlot(f.model.index(0, 0, f.model.index(0, 0)));
        QCOMPARE(f.model.playingItem(), file);

        f.model.mediaButtonAction(1);
        QVERIFY(sameIcon(file->nameIcon, f.model.icons().pauseSymbolIcon));
        QCOMPARE(file->textColor, f.model.icons().errorColor);
        QCOMPARE(pack->textColor, f.model.icons().errorColor);
        QVERIFY(sameIcon(pack->nameIcon, f.model.icons().expandIcon));

        f.model.mediaButtonAction(2);
        QVERIFY(sameIcon(file->nameIcon, f.model.icons().appIcon));
        QCOMPARE(pack->textColor, f.model.icons().activeColor);
        QCOMPARE(f.plays.size(), 1);

        f.model.mediaButtonAction(7);
        QCOMPARE(f.model.playingItem(), file);

        f.model.mediaButtonAction(0);
        QVERIFY(!f.model.playingItem());
        QVERIFY(!file->playing);
        QVERIFY(!pack->playing);
        QVERIFY(file->nameIcon.isNull());
        QCOMPARE(pack->textColor, f.model.icons().normalColor);

        // Play without a playing row plays the row clicked last; a torrent
        // of several files plays its largest video.
        f.model.singleClickAction(f.model.index(0, 1));
        f.model.mediaButtonAction(2);
        QCOMPARE(f.plays.size(), 2);
        QCOMPARE(f.plays.last().fileIndex, 1);

        f.model.mediaButtonAction(0);
        f.model.mediaButtonAction(0);
        QVERIFY(!f.model.clickedItem());
        f.model.mediaButtonAction(2);
        QCOMPARE(f.plays.size(), 2);
    }

    void bitFieldRefreshFollowsPlayingFile()
    {
        Fixture f;
        QSignalSpy refresh(&f.model, &TreeModel::bitFieldRefresh);
        f.model.addedReturn(
            0, { rows::multi(H1, "Pack", { { "a.mkv", 10, "a.mkv" }, { "b.mkv", 20, "b.mkv" } }) });
        f.status(
            { rows::status(H1, "110011", "1", 0, 0, "0", { { "", "0", "0", "2" }, { "", "0", "3", "5" } }) });
        QCOMPARE(refresh.count(), 0);

        f.model.doubleClickSlot(f.model.index(1, 0, f.model.index(0, 0)));
        QCOMPARE(f.plays.last().bitField, "011");
        f.status(
            { rows::status(H1, "110111", "1", 0, 0, "0", { { "", "0", "0", "2" }, { "", "0", "3", "5" } }) });
        QCOMPARE(refresh.count(), 1);
        QCOMPARE(refresh.first().at(0).toString(), "111");
        QCOMPARE(refresh.first().at(1).toInt(), 262144);
    }

    // A finished piece reaches the pieces at once, and the playing file's
    // text only when it is that file's torrent and a piece of it.
    void finishedPieceFollowsPlayingFile()
    {
        Fixture f;
        QSignalSpy refresh(&f.model, &TreeModel::bitFieldRefresh);
        f.model.addedReturn(0,
            { rows::multi(H1, "Pack", { { "a.mkv", 10, "a.mkv" }, { "b.mkv", 20, "b.mkv" } }),
                rows::single(H2, "one", "/one.mkv") });
        f.status(
            { rows::status(H1, "000000", "1", 0, 0, "0", { { "", "0", "0", "2" }, { "", "0", "3", "5" } }),
                rows::status(H2, "00") });
        f.model.doubleClickSlot(f.model.index(1, 0, f.model.index(0, 0)));
        refresh.clear();

        f.model.pieces()->pieceFinished(H1, 4);
        f.model.pieces()->pieceFinished(H1, 6);
        f.model.pieces()->pieceFinished(H1, -1);
        f.model.pieces()->pieceFinished(H2, 1);
        f.model.pieces()->pieceFinished(H3, 0);
        QCOMPARE(f.pieces(H1), "000010");
        QCOMPARE(f.pieces(H2), "01");
        QCOMPARE(refresh.count(), 1);
        QCOMPARE(refresh.first().at(0).toString(), "010");
        QVERIFY(!f.model.pieces()->pieceReady(H1, 1, 0));
    }

    void waitCauseFromStatus_data()
    {
        QTest::addColumn<QString>("progress");
        QTest::addColumn<QString>("seeds");
        QTest::addColumn<QString>("peers");
        QTest::addColumn<QString>("cause");
        QTest::newRow("delivering") << "42%"
                                    << "1"
                                    << "0"
                                    << "";
        QTest::newRow("no peer") << "42%"
                                 << "0"
                                 << "0"
                                 << "no peers";
        // The disk comes first: peers are no help while it takes nothing.
        QTest::newRow("disk full") << "disk full: /media/x"
                                   << "2"
                                   << "3"
                                   << "disk full";
        QTest::newRow("read-only") << "permission denied: /ro"
                                   << "0"
                                   << "0"
                                   << "permission denied";
    }
    void waitCauseFromStatus()
    {
        QFETCH(QString, progress);
        QFETCH(QString, seeds);
        QFETCH(QString, peers);
        QFETCH(QString, cause);
        Fixture f;
        f.model.addedReturn(0, { rows::single(H1, "one", "/one.mkv") });
        QStringList row = rows::status(H1, "0101");
        row[3] = progress;
        row[4] = seeds;
        row[5] = peers;
        f.status({ row });
        QCOMPARE(f.model.pieces()->waitCause(H1), cause);
    }

    // A download without metadata is asked about at once, then less and
    // less often, and no more once it is described.
    void descriptionAsksBackOff()
    {
        Fixture f;
        qint64 now = 0;
        f.model.setClock([&now] { return now; });
        f.model.addedReturn(1, { { H1 } });
        QList<qint64> asked;
        for (now = 0; now <= 200000; now += 500) {
            f.requests.clear();
            f.status({ rows::status(H1, "") });
            if (!f.requestsOf(14).isEmpty()) {
                QCOMPARE(f.requestsOf(14).first(), QStringList { H1 });
                asked << now;
            }
        }
        QCOMPARE(asked.mid(0, 6), (QList<qint64> { 0, 1000, 3000, 7000, 15000, 31000 }));
        QCOMPARE(asked.last() - asked.at(asked.size() - 2), 32000);

        f.model.addedReturn(14, { rows::single(H1, "one", "/one.mkv") });
        f.requests.clear();
        f.status({ rows::status(H1, "") });
        QVERIFY(f.requestsOf(14).isEmpty());
    }

    // Each address shows "Processing.." until the core has answered for it.
    void addressRowsUntilTheCoreAnswers()
    {
        Fixture f;
        const QString a = "http://127.0.0.1:1/a.torrent", b = "http://127.0.0.1:1/b.torrent";
        f.model.prepBuildItemForUrl({ a, b }, { a, b });
        f.model.buildTemporaryItem(2);
        QCOMPARE(f.model.rowCount(), 2);
        QCOMPARE(f.text(1, 0), "Processing..");

        f.model.addFailed(b);
        f.model.addFailed("http://127.0.0.1:1/never-asked.torrent");
        QCOMPARE(f.model.rowCount(), 1);
        f.model.addedReturn(0, { rows::single(H1, "fetched", "/f.mkv") });
        QCOMPARE(f.model.rowCount(), 1);
        QCOMPARE(f.text(0, 0), "fetched");
        QVERIFY(!f.model.findATemporaryBuiltItem());
    }

    void resumeAllAndUrlNodes()
    {
        Fixture f;
        f.model.callResumeAll();
        QCOMPARE(f.requests.count(), 1);
        QCOMPARE(f.requestsOf(6), QList<QStringList> { QStringList { "" } });

        // Links being resolved are remembered but not listed.
        f.model.prepBuildItemForUrl(
            { "http://127.0.0.1/a.torrent", "", "http://127.0.0.1/c.torrent" }, { "1", "2" });
        QCOMPARE(f.model.rowCount(), 0);
    }

    void emptyRepliesChangeNothing()
    {
        Fixture f;
        f.model.addedReturn(0, {});
        f.model.addedReturn(1, {});
        f.model.addedReturn(14, { {} });
        f.model.addedReturn(5, { { H1 } });
        f.model.addItemByMagnetUri({});
        f.status({});
        f.model.startupTorrent({});
        f.model.addedReturn(1, { {} });
        QCOMPARE(f.model.rowCount(), 0);
        QVERIFY(f.events.isEmpty());
        QCOMPARE(f.changes.count(), 0);
    }
};

QTEST_MAIN(TestTreeModel)
#include "tst_treemodel.moc"
