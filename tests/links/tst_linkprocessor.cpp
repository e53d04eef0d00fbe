#include "links/linkprocessor.h"
#include "links/parameterpaths.h"
#include "settings/preferences.h"
#include "tests/support/requestspy.h"
#include "tests/support/temporaryhome.h"
#include "tests/support/urlrecorder.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

Q_DECLARE_METATYPE(Requests)

class TestLinkProcessor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        QCoreApplication::setApplicationName(QStringLiteral("Morvane"));
    }

    void init()
    {
        Preferences settings;
        settings.setValue(QStringLiteral("/config/trackerSite"), QStringLiteral("tracker.test:8080"));
        settings.setValue(QStringLiteral("/config/webServer"), QStringLiteral("www.maker.test"));
        settings.setStartPage(QStringLiteral("new"));
        m_browser.opened.clear();
    }

    void startupParametersWaitForCoreLink()
    {
        const QString media = QStringLiteral("/videos/My Film.mkv");
        LinkProcessor links({ "  /downloads/a.torrent ", media }, nullptr, nullptr, nullptr);
        QSignalSpy requests(&links, &LinkProcessor::sessionRequest);
        QSignalSpy plays(&links, &LinkProcessor::playFileRequested);
        QVERIFY(requests.isEmpty());
        QVERIFY(plays.isEmpty());

        links.webRequestCheckProcess();
        QCOMPARE(requestsIn(requests), (Requests { { 0, { "/downloads/a.torrent" } } }));
        QCOMPARE(plays.size(), 1);
        QCOMPARE(plays.at(0).at(0).toString(), QDir::toNativeSeparators(media));
        QVERIFY(links.startupParameters().isEmpty());

        links.webRequestCheckProcess();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(plays.size(), 1);
    }

    void params_data()
    {
        QTest::addColumn<QString>("parameter");
        QTest::addColumn<Requests>("expected");
        QTest::addColumn<int>("plays");

        QTest::newRow("web torrent ignored") << "http://example.test/a.torrent" << Requests {} << 0;
        QTest::newRow("ftp ignored") << "FTP://example.test/b.torrent" << Requests {} << 0;
        QTest::newRow("torrent in capitals")
            << "C:/x/A.TORRENT" << Requests { { 0, { "C:/x/A.TORRENT" } } } << 0;
        QTest::newRow("magnet") << "Magnet:?xt=urn:btih:AB"
                                << Requests { { 1, { "Magnet:?xt=urn:btih:AB" } } } << 0;
        // "AAA/name/c/HASH/e" in Base64
        QTest::newRow("bc link") << "BC://bt/QUFBL25hbWUvYy9IQVNIL2U="
                                 << Requests { { 1, { "magnet:?xt=urn:btih:HASH&dn=name" } } } << 0;
        QTest::newRow("bc link with four fields") << "bc://bt/QUFBL25hbWUvYy9IQVNI" << Requests {} << 0;
        QTest::newRow("pipe link, two trackers, trailing slash")
            << "morvane://|H1|N1|udp://t1:80|http://t2/announce/"
            << Requests { { 1, { "magnet:?xt=urn:btih:H1&dn=N1&tr=udp://t1:80&tr=http://t2/announce" } } }
            << 0;
        QTest::newRow("pipe link without name") << "morvane://|H1" << Requests {} << 0;
        QTest::newRow("tracker site link")
            << "morvane://&ty=1&ro=1&id=42&ua=pass%20key"
            << Requests { { 19,
                   { "http://tracker.test:8080/download.php?id=42&passkey=pass%20key"
                     "@http://tracker.test:8080/details.php?id=42&cmtpage=1&page=0" } } }
            << 0;
        QTest::newRow("other site link")
            << "morvane://x&TY=1&ro=2&url=site.test:81&id=9&ua=k&dm=d&xl=1&tr=t&ts=s&cs=c"
            << Requests { { 19,
                   { "http://site.test:81/download.php?id=9&passkey=k"
                     "@http://site.test:81/details.php?id=9&cmtpage=1&page=0" } } }
            << 0;
        QTest::newRow("ty 1 without ro or url") << "morvane://&ty=1&id=42" << Requests {} << 0;
        QTest::newRow("unknown ty") << "morvane://&ty=2&ro=1&id=42" << Requests {} << 0;
        QTest::newRow("ty only in the scheme part counts as pipe form")
            << "morvane://ty=1&ro=1&id=42" << Requests {} << 0;
        QTest::newRow("own scheme without slashes is no file")
            << "morvane:/etc/passwd.mkv" << Requests {} << 0;
        QTest::newRow("own scheme torrent is no file") << "Morvane:x/../../a.torrent" << Requests {} << 0;
        QTest::newRow("bc other than bt is no file") << "bc://xx/film.mkv" << Requests {} << 0;
        QTest::newRow("media file") << "/videos/a b.mp4" << Requests {} << 1;
    }
    void params()
    {
        QFETCH(QString, parameter);
        QFETCH(Requests, expected);
        QFETCH(int, plays);

        LinkProcessor links({}, nullptr, nullptr, nullptr);
        QSignalSpy requests(&links, &LinkProcessor::sessionRequest);
        QSignalSpy played(&links, &LinkProcessor::playFileRequested);
        links.processParams(QStringList { parameter });
        QCOMPARE(requestsIn(requests), expected);
        QCOMPARE(played.size(), plays);
        QVERIFY(m_browser.opened.isEmpty());
    }

    // Launchers pass files as percent-encoded file: URIs (the desktop entry's %u).
    void fileUrisArePaths_data()
    {
        QTest::addColumn<QString>("parameter");
        QTest::addColumn<Requests>("expected");
        QTest::addColumn<QString>("played");

        QTest::newRow("video with a blank") << "file:///videos/My%20Film.mkv" << Requests {}
                                            << QDir::toNativeSeparators("/videos/My Film.mkv");
        QTest::newRow("torrent") << " FILE:///dl/a%20b%23.TORRENT"
                                 << Requests { { 0, { "/dl/a b#.TORRENT" } } } << "";
        QTest::newRow("this machine by name")
            << "file://localhost/videos/x.mkv" << Requests {} << QDir::toNativeSeparators("/videos/x.mkv");
        QTest::newRow("another machine") << "file://elsewhere.test/videos/x.mkv" << Requests {} << "";
        QTest::newRow("links keep working")
            << "magnet:?xt=urn:btih:AB" << Requests { { 1, { "magnet:?xt=urn:btih:AB" } } } << "";
    }
    void fileUrisArePaths()
    {
        QFETCH(QString, parameter);
        QFETCH(Requests, expected);
        QFETCH(QString, played);

        LinkProcessor links({}, nullptr, nullptr, nullptr);
        QSignalSpy requests(&links, &LinkProcessor::sessionRequest);
        QSignalSpy plays(&links, &LinkProcessor::playFileRequested);
        links.processParams(parameter);
        QCOMPARE(requestsIn(requests), expected);
        QCOMPARE(plays.size(), played.isEmpty() ? 0 : 1);
        if (!played.isEmpty())
            QCOMPARE(plays.at(0).at(0).toString(), played);
    }

    // A second start names its files from its own folder before handing them over.
    void secondStartPathsAreAbsolute_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("handedOver");

        QTest::newRow("relative files")
            << QStringList { "clip 1.mkv", "../b/c.torrent", "./s.srt" }
            << QStringList { "/home/u/Videos/clip 1.mkv", "/home/u/b/c.torrent", "/home/u/Videos/s.srt" };
        QTest::newRow("absolute file and file URI") << QStringList { "/tmp/a.mkv", "file:///tmp/b%20c.mkv" }
                                                    << QStringList { "/tmp/a.mkv", "/tmp/b c.mkv" };
        QTest::newRow("links and switches unchanged")
            << QStringList { "--x", "magnet:?xt=urn:btih:AB", "morvane://|H|N", "bc://bt/QUFB",
                   "http://a/b.torrent", "smb://share/x.mkv", "morvane:x" }
            << QStringList { "--x", "magnet:?xt=urn:btih:AB", "morvane://|H|N", "bc://bt/QUFB",
                   "http://a/b.torrent", "smb://share/x.mkv", "morvane:x" };
    }
    void secondStartPathsAreAbsolute()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, handedOver);
        QCOMPARE(ParameterPaths::absolute(arguments, QStringLiteral("/home/u/Videos")), handedOver);
    }

    void noTrackerSiteSendsNothing()
    {
        Preferences().setValue(QStringLiteral("/config/trackerSite"), QString());
        LinkProcessor links({}, nullptr, nullptr, nullptr);
        QSignalSpy requests(&links, &LinkProcessor::sessionRequest);
        QSignalSpy notices(&links, &LinkProcessor::notice);
        links.processmorvane(QStringLiteral("morvane://&ty=1&ro=1&id=42&ua=k"));
        QVERIFY(requests.isEmpty());
        // Said, not only logged.
        QCOMPARE(notices.size(), 1);
        QVERIFY(notices.first().first().toString().contains("tracker site"));
        QCOMPARE(links.linkParameters().id, QStringLiteral("42"));
    }

    void startPageLinks_data()
    {
        QTest::addColumn<bool>("viaStartPage");
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("storedStartPage");
        QTest::addColumn<QString>("loaded");
        QTest::addColumn<QString>("browser");

        const QString server = "http://www.maker.test/top/start.php?startPage=";
        QTest::newRow("custom link sets start page") << false << "morvane://&ty=0&sp=sport/"
                                                     << "sport" << server + "sport&version=1.05"
                                                     << "";
        QTest::newRow("custom link with empty sp changes nothing") << false << "morvane://&ty=0&sp="
                                                                   << "new"
                                                                   << ""
                                                                   << "";
        QTest::newRow("start-page link stores an empty start page")
            << true << "http://www.maker.test/top/x.php?a=1&ty=0&sp="
            << "" << server + "&version=1.05"
            << "";
        QTest::newRow("start-page link with a name")
            << true << "http://www.maker.test/top/x.php?a=1&Sp=films&TY=0/"
            << "films" << server + "films&version=1.05"
            << "";
        QTest::newRow("ty right after the question mark is not a key")
            << true << "http://www.maker.test/top/x.php?ty=0&sp=films"
            << "new"
            << ""
            << "http://www.maker.test/top/x.php?ty=0&sp=films";
        QTest::newRow("ordinary link opens in the browser") << true << "https://news.test/item?id=3"
                                                            << "new"
                                                            << ""
                                                            << "https://news.test/item?id=3";
        QTest::newRow("file link is refused") << true << "file:///usr/bin/xterm"
                                              << "new"
                                              << ""
                                              << "";
        QTest::newRow("script link is refused") << true << "javascript:alert(1)"
                                                << "new"
                                                << ""
                                                << "";
    }
    void startPageLinks()
    {
        QFETCH(bool, viaStartPage);
        QFETCH(QString, link);
        QFETCH(QString, storedStartPage);
        QFETCH(QString, loaded);
        QFETCH(QString, browser);

        LinkProcessor links({}, nullptr, nullptr, nullptr);
        QSignalSpy loads(&links, &LinkProcessor::startPageLoadRequested);
        QSignalSpy requests(&links, &LinkProcessor::sessionRequest);
        if (viaStartPage)
            links.openUrlSlot(QUrl(link));
        else
            links.processParams(QStringList { link });

        QCOMPARE(Preferences().getStartPage(), storedStartPage);
        QCOMPARE(loads.isEmpty() ? QString() : loads.constFirst().at(0).toUrl().toString(), loaded);
        QCOMPARE(m_browser.opened.isEmpty() ? QString() : m_browser.opened.constFirst().toString(), browser);
        QVERIFY(requests.isEmpty());
    }

    void noWebServerStoresButLoadsNothing()
    {
        Preferences().setValue(QStringLiteral("/config/webServer"), QString());
        LinkProcessor links({}, nullptr, nullptr, nullptr);
        QSignalSpy loads(&links, &LinkProcessor::startPageLoadRequested);
        links.processmorvane(QStringLiteral("morvane://&ty=0&sp=music"));
        QCOMPARE(Preferences().getStartPage(), QStringLiteral("music"));
        QVERIFY(loads.isEmpty());
    }

    void autoPlay_data()
    {
        QTest::addColumn<bool>("method");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("expected");
        QTest::newRow("stopped") << false << 0 << true;
        QTest::newRow("paused") << false << 1 << false;
        QTest::newRow("playing") << false << 2 << false;
        QTest::newRow("caching") << false << 3 << true;
        QTest::newRow("playing, asked for") << true << 2 << true;
        QTest::newRow("paused, asked for") << true << 1 << true;
    }
    void autoPlay()
    {
        QFETCH(bool, method);
        QFETCH(int, state);
        QFETCH(bool, expected);

        Preferences().setAutoPlayMethod(!method);
        QWidget fileList;
        fileList.hide();
        LinkProcessor links({}, nullptr, &fileList, [&state] { return state; });
        QCOMPARE(links.autoPlayMethod(), !method);
        links.autoPlayMethodChanged(method);

        QSignalSpy added(&links, &LinkProcessor::addedReturn);
        const QList<QStringList> rows { { "row", "1" } };
        links.addedReturnPrepProcess(1, rows);
        QCOMPARE(added.size(), 1);
        QCOMPARE(added.at(0).at(0).toInt(), 1);
        QCOMPARE(added.at(0).at(1).value<QList<QStringList>>(), rows);
        QCOMPARE(added.at(0).at(2).toBool(), expected);
        QVERIFY(!fileList.isHidden());
    }

    void secondStartBringsWindowToFront()
    {
        QWidget window;
        window.showMinimized();
        QTRY_VERIFY_WITH_TIMEOUT(window.isMinimized(), 5000);
        LinkProcessor links({}, &window, nullptr, nullptr);
        QSignalSpy requests(&links, &LinkProcessor::sessionRequest);

        links.processParams(QStringLiteral("magnet:?xt=urn:btih:CD|"));

        QCOMPARE(requestsIn(requests), (Requests { { 1, { "magnet:?xt=urn:btih:CD|" } } }));
        QVERIFY(!window.isMinimized());
        QVERIFY(window.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(window.isActiveWindow(), 5000);
    }

private:
    TemporaryHome m_home;
    UrlRecorder m_browser { { "http", "https", "ftp", "magnet", "morvane", "bc", "file", "javascript" } };
};

QTEST_MAIN(TestLinkProcessor)
#include "tst_linkprocessor.moc"
