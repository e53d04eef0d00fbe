#include "player/menu/mainmenu.h"
#include "player/menu/mywebview.h"
#include "player/menu/updatecheck.h"
#include "player/menu/webpages.h"
#include "player/menu/windowbuttons.h"
#include "settings/preferences.h"
#include "tests/support/httpserver.h"
#include "tests/support/temporaryhome.h"
#include "tests/support/urlrecorder.h"

#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>

namespace {
QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}
}

class TestPlayerMenu : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qRegisterMetaType<QAbstractButton *>();
        QCoreApplication::setApplicationName(QStringLiteral("Morvane"));
        QVERIFY(m_server.listen());
        m_server.serve("/top/start.php?startPage=new&version=1.05",
            "<html><body><a id='go' href='http://127.0.0.1:9/next?x=1'>go</a></body></html>", "text/html");
        m_server.serve("/paused/", "<html><body>paused</body></html>", "text/html");
    }

    void init()
    {
        Preferences settings;
        settings.setValue("/config/webServer", m_server.hostAndPort());
        settings.setStartPage("new");
        m_browser.opened.clear();
        m_playState = 0;
    }

    void updateCheckDates_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QDate>("today");
        QTest::addColumn<bool>("due");
        QTest::newRow("two days") << QVariant("20130428") << QDate(2013, 4, 30) << false;
        QTest::newRow("one day across a month end") << QVariant("20130430") << QDate(2013, 5, 1) << false;
        QTest::newRow("one day across a year end") << QVariant("20121231") << QDate(2013, 1, 1) << false;
        QTest::newRow("three days across a month end") << QVariant("20130429") << QDate(2013, 5, 2) << true;
        QTest::newRow("same day") << QVariant("20130430") << QDate(2013, 4, 30) << false;
        QTest::newRow("stored as a number") << QVariant(20130420) << QDate(2013, 4, 30) << true;
        QTest::newRow("missing") << QVariant() << QDate(2013, 4, 30) << true;
        QTest::newRow("unreadable") << QVariant("2013-04-29") << QDate(2013, 4, 30) << true;
        QTest::newRow("no such day") << QVariant("20130231") << QDate(2013, 4, 30) << true;
        QTest::newRow("after today") << QVariant("20990101") << QDate(2013, 4, 30) << true;
    }
    void updateCheckDates()
    {
        QFETCH(QVariant, stored);
        QFETCH(QDate, today);
        QFETCH(bool, due);
        QCOMPARE(UpdateCheck::isCheckDue(stored, today), due);
    }

    void startWritesVersionAndSchedules()
    {
        QTemporaryDir folder;
        const QString record = writeFakeUpdater(folder);
        Preferences().setValue("/config/time", "20130428");

        UpdateCheck notDue;
        notDue.setProgramFolder(folder.path());
        notDue.start(QDate(2013, 4, 30), 0);
        QVERIFY(!notDue.checkScheduled());
        {
            Preferences settings;
            QCOMPARE(settings.value("/config/verison").typeId(), QMetaType::Float);
            QCOMPARE(settings.value("/config/verison").toFloat(), 1.05f);
            QVERIFY(!settings.value("/config/buildtime").toString().isEmpty());
        }

        UpdateCheck due;
        due.setProgramFolder(folder.path());
        QSignalSpy launched(&due, &UpdateCheck::launched);
        due.start(QDate(2013, 5, 1), 0);
        QVERIFY(due.checkScheduled());
        QVERIFY(launched.wait(5000));
        QCOMPARE(launched.constFirst().at(0).toStringList(), QStringList { "hide" });
        QTRY_COMPARE_WITH_TIMEOUT(readAll(record), QStringLiteral("args:hide"), 5000);
    }

    void upgradeFromMenuAndQuietCheckWithoutServer()
    {
        QTemporaryDir folder;
        const QString record = writeFakeUpdater(folder);
        UpdateCheck updates;
        updates.setProgramFolder(folder.path());
        QSignalSpy launched(&updates, &UpdateCheck::launched);

        // Without a server the quiet check still runs: only the updater
        // records the date that ends the first-run wizard.
        Preferences().setValue("/config/webServer", QString());
        updates.slotupdater();
        QCOMPARE(launched.size(), 1);
        QCOMPARE(launched.constFirst().at(0).toStringList(), QStringList { "hide" });
        QTRY_COMPARE_WITH_TIMEOUT(readAll(record), QStringLiteral("args:hide"), 5000);

        updates.slotupgrade();
        QCOMPARE(launched.size(), 2);
        QCOMPARE(launched.last().at(0).toStringList(), QStringList());
        QTRY_COMPARE_WITH_TIMEOUT(readAll(record), QStringLiteral("args:"), 5000);

        updates.setProgramFolder(folder.path() + "/missing");
        updates.slotupgrade();
        QCOMPARE(launched.size(), 2);
    }

    void noStartPageShowsLogo()
    {
        Preferences().setStartPage("none");
        QWidget area;
        area.resize(821, 487);
        WebPages pages(&area, [this] { return m_playState; });
        QSignalSpy loads(pages.view(), &QWebEngineView::loadStarted);
        area.show();

        pages.playing();
        QVERIFY(pages.centreLogo()->isHidden());
        pages.stopped();
        QVERIFY(!pages.centreLogo()->isHidden());
        QVERIFY(pages.view()->isHidden());
        QCoreApplication::processEvents();
        QVERIFY(loads.isEmpty());
        QVERIFY(pages.view()->url().isEmpty());
    }

    void noWebServerShowsLogo()
    {
        Preferences().setValue("/config/webServer", QString());
        QWidget area;
        WebPages pages(&area, [this] { return m_playState; });
        QVERIFY(WebPages::startPageAddress().isEmpty());
        pages.stopped();
        QVERIFY(!pages.centreLogo()->isHidden());
        QVERIFY(pages.view()->url().isEmpty());
    }

    void startPageThenPausedPageOnce()
    {
        QWidget area;
        area.resize(821, 487);
        area.show();
        const int requestsBefore = m_server.requestedPaths().size();
        WebPages pages(&area, [this] { return m_playState; });
        QSignalSpy finished(pages.view(), &QWebEngineView::loadFinished);

        QVERIFY(finished.wait(20000));
        QVERIFY(finished.constFirst().at(0).toBool());
        QVERIFY(m_server.requestedPaths()
                    .mid(requestsBefore)
                    .contains("/top/start.php?startPage=new&version=1.05"));
        QVERIFY(pages.view()->isVisible());
        QVERIFY(pages.centreLogo()->isHidden());
        QCOMPARE(pages.view()->geometry(), QRect(30, 30, 740, 390));

        // The first pause in the process loads the paused page...
        m_playState = 2;
        pages.playing();
        QVERIFY(pages.view()->isHidden());
        QCOMPARE(WebPages::pauseCount(), 0);
        m_playState = 1;
        pages.paused();
        QVERIFY(finished.wait(20000));
        QCOMPARE(pages.view()->url(), m_server.url("/paused/"));
        QVERIFY(pages.view()->isVisible());

        m_playState = 2;
        pages.resumed();
        QVERIFY(pages.view()->isHidden());
        QTRY_VERIFY_WITH_TIMEOUT(pages.view()->url() != m_server.url("/paused/"), 10000);

        // ...a later one does not.
        const int pausedRequests = m_server.requestedPaths().count("/paused/");
        m_playState = 1;
        pages.paused();
        QCOMPARE(WebPages::pauseCount(), 2);
        QVERIFY(pages.view()->isHidden());
        QVERIFY(pages.view()->url() != m_server.url("/paused/"));
        QCOMPARE(m_server.requestedPaths().count("/paused/"), pausedRequests);
    }

    void startPageFinishingWhilePlayingStaysHidden()
    {
        QWidget area;
        area.show();
        m_playState = 2;
        WebPages pages(&area, [this] { return m_playState; });
        pages.playing();
        QSignalSpy finished(pages.view(), &QWebEngineView::loadFinished);
        QVERIFY(finished.wait(20000));
        QVERIFY(finished.constFirst().at(0).toBool());
        QVERIFY(pages.view()->isHidden());
        QVERIFY(pages.centreLogo()->isHidden());
    }

    void failedPageShowsLogo()
    {
        // Nothing listens on the discard port of loopback.
        Preferences().setValue("/config/webServer", "127.0.0.1:9");
        QWidget area;
        area.show();
        WebPages pages(&area, [this] { return m_playState; });
        pages.centreLogo()->hide();
        QSignalSpy finished(pages.view(), &QWebEngineView::loadFinished);
        QVERIFY(finished.wait(20000));
        QVERIFY(!finished.constFirst().at(0).toBool());
        QVERIFY(pages.view()->isHidden());
        QVERIFY(pages.centreLogo()->isVisible());
    }

    void linksAreDelegated()
    {
        QWidget area;
        area.show();
        WebPages pages(&area, [this] { return m_playState; });
        QSignalSpy finished(pages.view(), &QWebEngineView::loadFinished);
        QSignalSpy links(pages.view(), &MyWebView::linkClicked);
        QVERIFY(finished.wait(20000));
        const QUrl start = pages.view()->url();

        pages.view()->page()->runJavaScript("document.getElementById('go').click();");
        QVERIFY(links.wait(10000));
        QCOMPARE(links.constFirst().at(0).toUrl(), QUrl("http://127.0.0.1:9/next?x=1"));
        QCOMPARE(pages.view()->url(), start);
    }

    void viewHandsOnDoubleClicks()
    {
        QWidget area;
        area.show();
        WebPages pages(&area, [this] { return m_playState; });
        pages.view()->show();
        QSignalSpy clicks(pages.view(), &MyWebView::sendDoubldClick);
        QTest::mouseDClick(pages.view(), Qt::LeftButton);
        QCOMPARE(clicks.size(), 1);
    }

    void playlistToggleAndComment()
    {
        QWidget window;
        window.resize(900, 600);
        auto *area = new QWidget(&window);
        area->setGeometry(0, 0, 600, 400);
        auto *fileList = new QWidget(&window);
        auto *comment = new QPushButton(&window);
        auto *playlist = new QPushButton(&window);
        auto *mini = new QPushButton(&window);
        window.show();
        m_playState = 2;
        WebPages pages(area, [this] { return m_playState; });
        WindowButtons buttons(&window, fileList, &pages, comment, playlist, mini);
        QSignalSpy frames(&buttons, &WindowButtons::frameRequested);

        buttons.hideplaylistClicked(false);
        QVERIFY(fileList->isHidden());
        QCOMPARE(frames.last().at(0).value<QAbstractButton *>(), playlist);
        QCOMPARE(frames.last().at(1).toInt(), 1);
        QCOMPARE(pages.view()->size(), QSize(540, 340));

        area->resize(800, 500);
        QTRY_COMPARE_WITH_TIMEOUT(pages.view()->size(), QSize(540, 340), 1000);
        buttons.hideplaylistClicked(true);
        QVERIFY(!fileList->isHidden());
        QCOMPARE(frames.last().at(1).toInt(), 0);
        QCOMPARE(pages.view()->geometry(), QRect(200, 125, 740, 390));

        buttons.setCommentButton(QString());
        QVERIFY(!buttons.commentAvailable());
        QCOMPARE(frames.last().at(0).value<QAbstractButton *>(), comment);
        QCOMPARE(frames.last().at(1).toInt(), 2);
        buttons.commentClicked();
        QVERIFY(m_browser.opened.isEmpty());

        buttons.setCommentButton("http://tracker.test/details.php?id=42&cmtpage=1&page=0");
        QVERIFY(buttons.commentAvailable());
        QCOMPARE(frames.last().at(1).toInt(), 1);
        buttons.commentClicked();
        QCOMPARE(
            m_browser.opened, QList<QUrl> { QUrl("http://tracker.test/details.php?id=42&cmtpage=1&page=0") });

        buttons.setCommentButton("file:///etc/passwd");
        buttons.commentClicked();
        QCOMPARE(m_browser.opened.size(), 1);

        buttons.feedbackClicked();
        QCOMPARE(m_browser.opened.last(), m_server.url("/forum"));
        Preferences().setValue("/config/webServer", QString());
        buttons.feedbackClicked();
        QCOMPARE(m_browser.opened.size(), 2);

        buttons.miniClicked();
        QVERIFY(window.isMinimized());
        QCOMPARE(frames.last().at(0).value<QAbstractButton *>(), mini);
    }

    void menuEntriesAndShortcuts()
    {
        Preferences().setValue("/config/webServer", QString());
        QWidget window;
        window.move(40, 50);
        MainMenu menu(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));

        QStringList titles;
        for (QAction *action : menu.menu()->actions())
            titles << action->text();
        QCOMPARE(titles, (QStringList { "File", "Power-off", "Setup", "shutdown-completely", "Help" }));
        const auto *power = menu.menu()->findChild<QMenu *>("poweroffmenu");
        QVERIFY(power);
        QCOMPARE(power->actions().size(), 3);

        struct Entry
        {
            const char *name;
            void (MainMenu::*signal)();
        };
        const Entry entries[] = { { "openFileAction", &MainMenu::openFileTriggered },
            { "openUrlAction", &MainMenu::openUrlTriggered },
            { "openTorrentAction", &MainMenu::openTorrentTriggered },
            { "setupAction", &MainMenu::setupTriggered },
            { "shutdownAction", &MainMenu::shutdownCompletelyTriggered },
            { "upgradeAction", &MainMenu::upgradeTriggered }, { "aboutAction", &MainMenu::aboutTriggered } };
        for (const Entry &entry : entries) {
            auto *action = window.findChild<QAction *>(entry.name);
            QVERIFY2(action, entry.name);
            QVERIFY(window.actions().contains(action));
            QSignalSpy spy(&menu, entry.signal);
            action->trigger();
            QCOMPARE(spy.size(), 1);
        }

        // Shortcuts work while the menu is closed.
        QVERIFY(!menu.menu()->isVisible());
        QSignalSpy openUrl(&menu, &MainMenu::openUrlTriggered);
        QTest::keyClick(&window, Qt::Key_U, Qt::ControlModifier);
        QCOMPARE(openUrl.size(), 1);

        QDialog options;
        MainMenu::showBeside(&options, &window);
        QVERIFY(options.isVisible());
        QCOMPARE(options.pos(), window.pos() + QPoint(100, 100));
    }

private:
    QString writeFakeUpdater(const QTemporaryDir &folder)
    {
        const QString program = folder.filePath("updater");
        QFile script(program);
        if (!script.open(QIODevice::WriteOnly))
            return QString();
        script.write("#!/bin/sh\necho \"args:$*\" > \"$(dirname \"$0\")/ran.txt\"\n");
        script.close();
        script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
        return folder.filePath("ran.txt");
    }

    TemporaryHome m_home;
    HttpServer m_server;
    UrlRecorder m_browser { { "http", "https", "file" } };
    int m_playState = 0;
};

QTEST_MAIN(TestPlayerMenu)
#include "tst_playermenu.moc"
