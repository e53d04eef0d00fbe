#include "downloads/downloadscontroller.h"
#include "downloads/informationwidget.h"
#include "downloads/listmenu.h"
#include "downloads/mydelegate.h"
#include "downloads/mytreeview.h"
#include "downloads/treeitem.h"
#include "downloads/treemodel.h"
#include "replyrows.h"
#include "tests/support/modalwatcher.h"
#include "tests/support/requestspy.h"
#include "tests/support/temporaryhome.h"
#include "tests/support/urlrecorder.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <functional>

namespace {

const QString H1 = rows::hash(1);
const QString H2 = rows::hash(2);
const QString H3 = rows::hash(3);

QStringList actionTexts(QWidget *w)
{
    QStringList texts;
    if (auto *menu = qobject_cast<QMenu *>(w)) {
        for (QAction *a : menu->actions())
            texts << a->text();
    }
    return texts;
}

// Chooses an action of an open menu the way the keyboard does.
void choose(QWidget *w, const QString &text)
{
    auto *menu = qobject_cast<QMenu *>(w);
    QVERIFY(menu);
    for (QAction *a : menu->actions()) {
        if (a->text() == text) {
            menu->setActiveAction(a);
            QTest::keyClick(menu, Qt::Key_Return);
            return;
        }
    }
    menu->close();
    QFAIL(qPrintable("no action " + text));
}

struct Fixture
{
    TemporaryHome home;
    TreeModel model;
    DownloadsController controller { &model };
    QAbstractItemModelTester tester { &model, QAbstractItemModelTester::FailureReportingMode::QtTest };
    QSignalSpy requests { &model, &TreeModel::sessionRequest };
    QStringList events;

    Fixture()
    {
        QObject::connect(&model, &TreeModel::stopPlay, &model, [this] { events << "stop"; });
        QObject::connect(&model, &QAbstractItemModel::rowsAboutToBeRemoved, &model,
            [this](const QModelIndex &, int first, int) {
                events << "remove " + model.rootItem()->child(first)->hash;
            });
        QObject::connect(&model, &TreeModel::sessionRequest, &model,
            [this](CoreProtocol::RequestType type, const QStringList &) { events << QString::number(type); });
    }

    // Three downloads, with states and finished flags from the status reply.
    void fill(const QStringList &states = { "1", "1", "1" }, const QStringList &finished = { "0", "0", "0" })
    {
        model.addedReturn(0,
            { rows::single(H1, "one", "/downloads/one.mkv"),
                rows::multi(H2, "two", { { "a.mkv", 10, "a.mkv" }, { "b.mkv", 20, "b.mkv" } }),
                rows::single(H3, "three", "/downloads/three.mp4") });
        model.torrentDataSet({ rows::status(H1, "1", states[0], 0, 0, finished[0]),
            rows::status(H2, "1", states[1], 0, 0, finished[1]),
            rows::status(H3, "1", states[2], 0, 0, finished[2]) });
        requests.clear();
        events.clear();
    }

    // The list in a view on screen.
    bool show(MyTreeView &view)
    {
        view.setModel(&model);
        view.resize(400, 300);
        view.show();
        return QTest::qWaitForWindowExposed(&view);
    }

    QModelIndex at(int row, const QModelIndex &parent = QModelIndex()) const
    {
        return model.index(row, 0, parent);
    }

    // Right-clicks the given rows and answers the menu with `action`
    // (nothing chosen when empty); returns the texts the menu offered.
    QStringList menuFor(const QModelIndexList &selection, const QString &action = QString(),
        std::function<void()> whileOpen = {})
    {
        QStringList offered;
        ModalWatcher answer(
            [&](QWidget *w) {
                offered = actionTexts(w);
                if (whileOpen)
                    whileOpen();
                if (action.isEmpty())
                    w->close();
                else
                    choose(w, action);
            },
            5000, ModalWatcher::Popup);
        controller.rightClickAction(selection);
        return offered;
    }

    QList<QStringList> requestsOf(int type) const { return ::requestsOf(requests, type); }
};

const QStringList singleRunning { "Pause", "Totally_Delete", "Remove_from_list", "ShowInfo",
    "JumpToDestFolder", "", "Copy stream address", "Open in another player" };
const QStringList singlePaused { "Start", "Totally_Delete", "Remove_from_list", "ShowInfo",
    "JumpToDestFolder", "", "Copy stream address", "Open in another player" };
const QStringList severalRunning { "Pause", "Totally_Delete", "Remove_from_list" };
const QStringList severalPaused { "Start", "Totally_Delete", "Remove_from_list" };

} // namespace

class TestDownloadsView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setApplicationName("Morvane"); }

    void menusBySelection_data()
    {
        QTest::addColumn<QList<int>>("rowsSelected");
        QTest::addColumn<bool>("withFileRow");
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("nothing") << QList<int> {} << false << QStringList { "AddNew", "AddMagnetLink" };
        QTest::newRow("one running") << QList<int> { 0 } << false << singleRunning;
        QTest::newRow("one paused") << QList<int> { 2 } << false << singlePaused;
        QTest::newRow("several, first running") << QList<int> { 0, 2 } << false << severalRunning;
        QTest::newRow("several, first paused") << QList<int> { 2, 0 } << false << severalPaused;
        QTest::newRow("a torrent and its own file") << QList<int> { 1 } << true << singleRunning;
    }
    void menusBySelection()
    {
        QFETCH(QList<int>, rowsSelected);
        QFETCH(bool, withFileRow);
        QFETCH(QStringList, offered);
        Fixture f;
        f.fill({ "1", "1", "3" });
        QModelIndexList selection;
        for (int row : rowsSelected)
            selection << f.at(row);
        if (withFileRow)
            selection << f.at(1, f.at(1));
        QCOMPARE(f.menuFor(selection), offered);
        QCOMPARE(f.controller.listMenu()->addMenu->styleSheet(), "background-color: gray");
        QVERIFY(f.requests.isEmpty());
    }

    void removingRows_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("delete stops playback first")
            << "Totally_Delete" << QStringList { "stop", "remove " + H2, "remove " + H3, "2" };
        QTest::newRow("remove only forgets the playing row")
            << "Remove_from_list" << QStringList { "remove " + H2, "remove " + H3, "3" };
    }
    void removingRows()
    {
        QFETCH(QString, action);
        QFETCH(QStringList, expected);
        Fixture f;
        f.fill();
        // The played file belongs to the second download.
        f.model.doubleClickSlot(f.at(0, f.at(1)));
        f.model.singleClickAction(f.at(1, f.at(1)));
        f.controller.mouseMoveSlot(true, QPoint(1, 1), f.at(2));
        f.controller.hoverTimer()->stop();
        QVERIFY(f.model.playingItem());
        f.events.clear();
        f.requests.clear();

        // The file row stands for its torrent, which is also selected.
        f.menuFor({ f.at(0, f.at(1)), f.at(1), f.at(2) }, action);
        QCOMPARE(f.events, expected);
        const int type = action == "Totally_Delete" ? 2 : 3;
        QCOMPARE(f.requestsOf(type), QList<QStringList> { QStringList({ H2, H3 }) });
        QCOMPARE(f.model.rowCount(), 1);
        QCOMPARE(f.model.rootItem()->child(0)->hash, H1);
        QVERIFY(!f.model.playingItem());
        QVERIFY(!f.model.clickedItem());
        QVERIFY(f.controller.selectedItems().isEmpty());
        QVERIFY(!f.controller.hoverIndex().isValid());
        QCOMPARE(f.model.rowOfHash(H2), -1);
        QVERIFY(!f.model.findItemByHash(H3));

        // Nothing left over to act on, play or show.
        f.requests.clear();
        f.controller.listMenuAction(2);
        f.model.mediaButtonAction(2);
        f.controller.mouseFloatEvent();
        QVERIFY(f.requests.isEmpty());
        QVERIFY(!f.controller.infoWidget()->popup->isVisible());
    }

    void checkingRowIsRefused()
    {
        Fixture f;
        f.fill({ "1", "1", "0" });
        f.model.doubleClickSlot(f.at(0));
        f.events.clear();
        f.requests.clear();

        QString boxText;
        QString boxInfo;
        auto box = std::make_unique<ModalWatcher>([&](QWidget *w) {
            auto *mb = qobject_cast<QMessageBox *>(w);
            QVERIFY(mb);
            boxText = mb->text();
            boxInfo = mb->informativeText();
            mb->button(QMessageBox::Close)->click();
        });
        f.menuFor({ f.at(0), f.at(2), f.at(1) }, "Totally_Delete");
        QTRY_VERIFY_WITH_TIMEOUT(box->handled(), 5000);
        QCOMPARE(boxText, "Warning!");
        QCOMPARE(
            boxInfo, "The downloading, you chose to delete or remove, is still checking, please do later..");
        // The playing row before the checking one was stopped; nothing removed.
        QCOMPARE(f.events, QStringList { "stop" });
        QCOMPARE(f.model.rowCount(), 3);
        QVERIFY(!f.model.playingItem());
        QVERIFY(f.requests.isEmpty());
    }

    void replyWhileMenuIsOpen()
    {
        Fixture f;
        f.fill();
        f.menuFor({ f.at(1) }, "Remove_from_list", [&] {
            f.model.torrentDataSet({ rows::status(H2, "11", "3"), rows::status(H1, "1") });
            f.model.addedReturn(0, { rows::single(rows::hash(4), "four", "/four.mkv") });
            f.model.addedReturn(14, { rows::multi(H2, "two", { { "a.mkv", 10, "a.mkv" } }) });
        });
        QCOMPARE(f.requestsOf(3), QList<QStringList> { QStringList { H2 } });
        QCOMPARE(f.model.rowCount(), 3);
        QCOMPARE(f.model.rootItem()->child(2)->hash, rows::hash(4));

        f.model.torrentDataSet({ rows::status(H3, "1", "1", 1024), rows::status(H1, "1", "1", 2048) });
        QCOMPARE(f.model.rootItem()->child(0)->downloadRateText, "2K/s");
        QCOMPARE(f.model.rootItem()->child(1)->downloadRateText, "1024B/s");
    }

    void startAndPause()
    {
        Fixture f;
        f.fill({ "1", "3", "3" }, { "0", "1", "0" });
        QCOMPARE(f.menuFor({ f.at(1), f.at(2) }, "Start"), severalPaused);
        QCOMPARE(f.requestsOf(4), QList<QStringList> { QStringList({ H2, H3 }) });
        QCOMPARE(f.model.rootItem()->child(1)->torrentState, 2);
        QCOMPARE(f.model.rootItem()->child(1)->stateIcon.cacheKey(), f.model.icons().seedingIcon.cacheKey());
        QCOMPARE(f.model.rootItem()->child(2)->torrentState, 1);
        QCOMPARE(
            f.model.rootItem()->child(2)->stateIcon.cacheKey(), f.model.icons().downloadingIcon.cacheKey());

        QCOMPARE(f.menuFor({ f.at(2), f.at(0) }, "Pause"), severalRunning);
        QCOMPARE(f.requestsOf(5), QList<QStringList> { QStringList({ H3, H1 }) });
        QCOMPARE(f.model.rootItem()->child(0)->torrentState, 3);
        QCOMPARE(f.model.rootItem()->child(0)->stateIcon.cacheKey(), f.model.icons().pausedIcon.cacheKey());
        QCOMPARE(f.model.rowCount(), 3);
    }

    void addAndTestCommands()
    {
        Fixture f;
        QSignalSpy addTorrent(&f.model, &TreeModel::addTorrent);
        QSignalSpy addMagnet(&f.model, &TreeModel::addMagnetUri);
        QSignalSpy test(&f.model, &TreeModel::treeModelTest);
        f.menuFor({}, "AddNew");
        QCOMPARE(addTorrent.count(), 1);
        f.menuFor({}, "AddMagnetLink");
        QCOMPARE(addMagnet.count(), 1);
        f.controller.listMenu()->action_TEST->trigger();
        QCOMPARE(test.count(), 1);
    }

    void openFolder()
    {
        Fixture f;
        UrlRecorder desktop { { "file" } };
        f.model.addedReturn(
            0, { { H1, "one", "1", "", "0", "/one.mkv" }, rows::single(H2, "two", "/downloads/two.mkv") });
        QCOMPARE(f.menuFor({ f.at(1), f.at(0) }), severalRunning);
        f.menuFor({ f.at(1) }, "JumpToDestFolder");
        f.menuFor({ f.at(0) }, "JumpToDestFolder");
        QCOMPARE(desktop.opened, (QList<QUrl> { QUrl::fromLocalFile("/downloads"), QUrl("file:///") }));
    }

    void streamActions_data()
    {
        QTest::addColumn<QString>("coreAddress");
        QTest::addColumn<int>("row"); // -1: a magnet without its files yet
        QTest::addColumn<int>("fileRow"); // -1: the download's own row
        QTest::addColumn<QString>("address"); // empty: the actions are greyed
        const QString base = "http://127.0.0.1:8123/0123456789abcdef0123456789abcdef/";
        QTest::newRow("single-file download") << base << 0 << -1 << base + H1 + "/0/one.mkv";
        QTest::newRow("a file of a download") << base << 1 << 0 << base + H2 + "/0/a.mkv";
        QTest::newRow("download of several files: its largest")
            << base << 1 << -1 << base + H2 + "/1/b%20c.mkv";
        QTest::newRow("no metadata yet") << base << -1 << -1 << QString();
        QTest::newRow("a core without a stream") << QString() << 0 << -1 << QString();
    }
    void streamActions()
    {
        QFETCH(QString, coreAddress);
        QFETCH(int, row);
        QFETCH(int, fileRow);
        QFETCH(QString, address);
        Fixture f;
        f.model.addedReturn(0,
            { rows::single(H1, "one", "/downloads/one.mkv"),
                rows::multi(H2, "two", { { "a.mkv", 10, "a.mkv" }, { "b c.mkv", 20, "b c.mkv" } }) });
        f.model.addedReturn(1, { { H3 } });
        f.controller.setStreamAddress(coreAddress, QString());
        QList<QPair<QString, QString>> opened;
        f.controller.setPlayerOpener([&](const QString &mime, const QString &url) {
            opened.append({ mime, url });
            return true;
        });
        const QModelIndex download = f.at(row < 0 ? 2 : row);
        const QModelIndex clicked = fileRow < 0 ? download : f.at(fileRow, download);

        QGuiApplication::clipboard()->clear();
        f.menuFor({ clicked }, "Copy stream address");
        QCOMPARE(f.controller.listMenu()->action_CopyStreamAddress->isEnabled(), !address.isEmpty());
        QCOMPARE(f.controller.listMenu()->action_OpenInOtherPlayer->isEnabled(), !address.isEmpty());
        if (address.isEmpty())
            return; // a greyed action does nothing when chosen
        QCOMPARE(QGuiApplication::clipboard()->text(), address);
        f.menuFor({ clicked }, "Open in another player");
        QCOMPARE(opened, (QList<QPair<QString, QString>> { { "video/x-matroska", address } }));

        // Without a default player the desktop's http handler gets it.
        UrlRecorder desktop { { "http" } };
        f.controller.setPlayerOpener([](const QString &, const QString &) { return false; });
        f.menuFor({ clicked }, "Open in another player");
        QCOMPARE(desktop.opened, QList<QUrl> { QUrl(address) });
        QVERIFY(f.requests.isEmpty());
    }

    void viewMouse()
    {
        Fixture f;
        f.fill();
        MyTreeView view;
        QVERIFY(f.show(view));
        QCOMPARE(view.indentation(), 5);
        QCOMPARE(view.font().pointSize(), 12);
        QVERIFY(view.isHeaderHidden());
        QVERIFY(view.hasMouseTracking());
        QVERIFY(qobject_cast<myDelegate *>(view.itemDelegate()));

        QObject::connect(&view, &MyTreeView::myDoubleClicked, &f.model,
            qOverload<QModelIndex>(&TreeModel::doubleClickSlot));
        QObject::connect(&view, &MyTreeView::myClicked, &f.model, &TreeModel::singleClickAction);
        QSignalSpy clicked(&view, &MyTreeView::myClicked);
        QSignalSpy right(&view, &MyTreeView::rightClicked);
        QSignalSpy played(&f.model, &TreeModel::stopPlay);

        const QModelIndex two = f.at(1);
        QWidget *vp = view.viewport();
        const QPoint twoPos = view.visualRect(two.siblingAtColumn(1)).center();

        QTest::mouseClick(vp, Qt::LeftButton, {}, twoPos);
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(clicked.last().at(0).value<QModelIndex>(), two.siblingAtColumn(1));
        QCOMPARE(view.currentIndex(), two.siblingAtColumn(1));
        QCOMPARE(f.model.clickedItem(), f.model.rootItem()->child(1));

        // Double-click on a torrent of several files opens it in the view and the model.
        QTest::mouseDClick(vp, Qt::LeftButton, {}, twoPos);
        QVERIFY(view.isExpanded(two));
        QVERIFY(f.model.rootItem()->child(1)->expanded);
        QCOMPARE(f.model.rootItem()->child(1)->nameIcon.cacheKey(), f.model.icons().collapseIcon.cacheKey());
        QCOMPARE(played.count(), 0);

        // Double-click on one of its files plays it.
        const QPoint filePos = view.visualRect(f.at(1, two)).center();
        QTest::mouseDClick(vp, Qt::LeftButton, {}, filePos);
        QCOMPARE(played.count(), 1);
        QCOMPARE(f.model.playingItem(), f.model.rootItem()->child(1)->child(1));

        QTest::mouseDClick(vp, Qt::LeftButton, {}, twoPos);
        QVERIFY(!view.isExpanded(two));
        QVERIFY(!f.model.rootItem()->child(1)->expanded);

        // Right-click: one index per selected row, then the empty space.
        const QPoint onePos = view.visualRect(f.at(0)).center();
        const QPoint threePos = view.visualRect(f.at(2)).center();
        QTest::mouseClick(vp, Qt::LeftButton, {}, onePos);
        QTest::mouseClick(vp, Qt::LeftButton, Qt::ControlModifier, threePos);
        QTest::mouseClick(vp, Qt::RightButton, {}, threePos);
        QCOMPARE(right.count(), 1);
        QModelIndexList sent = right.last().at(0).value<QModelIndexList>();
        QCOMPARE(sent.size(), 2);
        QCOMPARE(f.model.itemFromIndex(sent.at(0))->hash, H1);
        QCOMPARE(f.model.itemFromIndex(sent.at(1))->hash, H3);

        QTest::mouseClick(vp, Qt::RightButton, {}, QPoint(200, 280));
        QCOMPARE(right.count(), 2);
        QVERIFY(right.last().at(0).value<QModelIndexList>().isEmpty());
    }

    void viewMouseMoveAndLeave()
    {
        Fixture f;
        f.fill();
        MyTreeView view;
        QVERIFY(f.show(view));
        QSignalSpy moved(&view, qOverload<bool, QPoint, QModelIndex>(&MyTreeView::mousePosition));

        const QPoint pos = view.visualRect(f.at(2).siblingAtColumn(1)).center();
        QMouseEvent move(QEvent::MouseMove, pos, view.viewport()->mapToGlobal(pos), Qt::NoButton,
            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &move);
        QCOMPARE(moved.count(), 1);
        QCOMPARE(moved.last().at(0).toBool(), true);
        QCOMPARE(moved.last().at(1).toPoint(), pos);
        QCOMPARE(moved.last().at(2).value<QModelIndex>(), f.at(2));

        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&view, &leave);
        QCOMPARE(moved.count(), 2);
        QCOMPARE(moved.last().at(0).toBool(), false);
        QCOMPARE(moved.last().at(1).toPoint(), QPoint(0, 0));
        QVERIFY(!moved.last().at(2).value<QModelIndex>().isValid());
    }

    void hoverShowsInformation()
    {
        Fixture f;
        f.fill();
        f.model.torrentDataSet({ rows::status(H3, "1", "1", 0, 0, "0") });
        f.controller.setHoverInterval(20);
        InformationWidget *info = f.controller.infoWidget();
        info->hideTimer->setInterval(50);
        // The user works in a window: the pop-up must not take it over.
        QWidget window;
        auto *edit = new QLineEdit(&window);
        window.show();
        window.activateWindow();
        edit->setFocus();
        QVERIFY(QTest::qWaitForWindowActive(&window));

        f.controller.mouseMoveSlot(true, QPoint(10, 50), f.at(2));
        QVERIFY(f.controller.hoverTimer()->isActive());
        QTRY_VERIFY_WITH_TIMEOUT(info->popup->isVisible(), 2000);
        QCOMPARE(QApplication::activeWindow(), &window);
        QCOMPARE(QApplication::focusWidget(), edit);
        QCOMPARE(info->nameLabel->text(), "three");
        QCOMPARE(info->_seedLabel->text(), "3");
        QCOMPARE(info->_peerLabel->text(), "7");
        QCOMPARE(info->_processLabel->text(), "42%");
        QCOMPARE(info->_uploadedLabel->text(), "2.0K");
        QCOMPARE(info->_sizeLabel->text(), "1000B");
        QVERIFY(info->_trackerLabel->text().isEmpty());
        // It hides itself.
        QTRY_VERIFY_WITH_TIMEOUT(!info->popup->isVisible(), 2000);

        // A move hides it at once and starts the wait again; leaving stops it.
        f.controller.mouseMoveSlot(true, QPoint(10, 50), f.at(2));
        QTRY_VERIFY_WITH_TIMEOUT(info->popup->isVisible(), 2000);
        f.controller.mouseMoveSlot(true, QPoint(11, 50), f.at(2));
        QVERIFY(!info->popup->isVisible());
        QVERIFY(f.controller.hoverTimer()->isActive());
        f.controller.mouseMoveSlot(true, QPoint(11, 290), QModelIndex());
        QVERIFY(!f.controller.hoverTimer()->isActive());
        f.controller.mouseMoveSlot(true, QPoint(11, 50), f.at(2));
        f.controller.mouseMoveSlot(false, QPoint(0, 0), QModelIndex());
        QVERIFY(!f.controller.hoverTimer()->isActive());
    }

    void informationLayout_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("height");
        QTest::addColumn<QStringList>("shown");
        const QString alphabet = "abcdefghijklmnopqrstuvwxyz0123456789";
        QString name140;
        while (name140.size() < 140)
            name140 += alphabet;
        name140.truncate(140);
        QTest::newRow("34 characters") << 34 << 1 << 85 << QStringList { name140.left(34) };
        QTest::newRow("35 characters")
            << 35 << 2 << 105 << QStringList { name140.left(34), name140.mid(34, 1) };
        QTest::newRow("140 characters")
            << 140 << 5 << 165 << QStringList { name140.left(34), name140.mid(34, 34), name140.mid(68, 34) };
    }
    void informationLayout()
    {
        QFETCH(int, length);
        QFETCH(int, lines);
        QFETCH(int, height);
        QFETCH(QStringList, shown);
        QString name;
        const QString alphabet = "abcdefghijklmnopqrstuvwxyz0123456789";
        while (name.size() < length)
            name += alphabet;
        name.truncate(length);

        InformationWidget info;
        QCOMPARE(info.objectName(), "informationwidget");
        QCOMPARE(info.popupHeight, 85);
        TreeItem item(H1, name);
        info.showFor(&item, 100, 200);
        QCOMPARE(info.lineCount, lines);
        QCOMPARE(info.popup->size(), QSize(250, height));
        QCOMPARE(info.popup->pos(), QPoint(110, 200));
        QVERIFY(info.hideTimer->isActive());
        QCOMPARE(info.nameLabel->text(), shown.value(0));
        QCOMPARE(info.nameLabel1->isVisibleTo(info.popup), lines > 1);
        QCOMPARE(info.nameLabel2->isVisibleTo(info.popup), lines > 2);
        if (lines > 1) {
            QCOMPARE(info.nameLabel1->text(), shown.value(1));
            QCOMPARE(info.nameLabel1->geometry(), QRect(5, 25, 240, 15));
        }
        if (lines > 2) {
            QCOMPARE(info.nameLabel2->text(), shown.value(2));
            QCOMPARE(info.nameLabel2->geometry(), QRect(5, 45, 240, 15));
        }
        const int y1 = lines * 20 + 5;
        QCOMPARE(info.nameLabel->geometry(), QRect(5, 5, 240, 15));
        QCOMPARE(info._processLabel->geometry(), QRect(60, y1, 30, 15));
        QCOMPARE(info._uploadedLabel->geometry(), QRect(150, y1, 50, 15));
        QCOMPARE(info._sizeLabel->geometry(), QRect(165, y1 + 15, 60, 15));
        QCOMPARE(info._trackerLabel->geometry(), QRect(40, y1 + 35, 205, 15));
        QVERIFY(!info._trackerLabel->isVisibleTo(info.popup));
        QCOMPARE(info.seedLabel->text(), "Seeds:");
        QCOMPARE(info.uploadedLabel->styleSheet(), "color: rgb(255, 255, 255);");

        info.hideWidget();
        QVERIFY(!info.popup->isVisible());
        QVERIFY(!info.hideTimer->isActive());
    }

    void delegateKeepsRowColourWhenSelected()
    {
        Fixture f;
        f.fill();
        f.model.doubleClickSlot(f.at(0));
        const QColor active = f.model.icons().activeColor;
        QCOMPARE(f.at(0).data(Qt::ForegroundRole).value<QColor>(), active);

        myDelegate delegate;
        QImage image(300, 20, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QStyleOptionViewItem option;
        option.rect = image.rect();
        option.state = QStyle::State_Selected | QStyle::State_Enabled | QStyle::State_Active;
        option.palette.setColor(QPalette::Highlight, Qt::black);
        option.palette.setColor(QPalette::HighlightedText, Qt::blue);
        option.font.setPointSize(14);
        option.features = QStyleOptionViewItem::HasDisplay;
        {
            QPainter painter(&image);
            delegate.paint(&painter, option, f.at(0));
        }
        int activePixels = 0;
        int bluePixels = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c == active)
                    ++activePixels;
                if (c == QColor(Qt::blue))
                    ++bluePixels;
            }
        }
        QVERIFY(activePixels > 0);
        QCOMPARE(bluePixels, 0);
    }
};

QTEST_MAIN(TestDownloadsView)
#include "tst_downloadsview.moc"
