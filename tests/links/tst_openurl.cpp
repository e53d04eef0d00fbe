#include "links/openurl.h"
#include "settings/preferences.h"
#include "tests/support/modalwatcher.h"
#include "tests/support/requestspy.h"
#include "tests/support/temporaryhome.h"

#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

Q_DECLARE_METATYPE(Requests)

class TestOpenUrl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        QCoreApplication::setApplicationName(QStringLiteral("Morvane"));
        Preferences().setValue(QStringLiteral("/config/trackerSite"), QStringLiteral("tracker.test:8080"));
    }

    void okSendsRequests_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Requests>("expected");

        QTest::newRow("duplicate in other case and empty line")
            << "magnet:?xt=urn:btih:ABCDEF\n\n  MAGNET:?XT=URN:BTIH:abcdef  \n"
            << Requests { { 1, { "magnet:?xt=urn:btih:ABCDEF" } } };
        QTest::newRow("magnet first carries a web address along")
            << "magnet:?xt=urn:btih:1\nhttp://example.test/a.torrent"
            << Requests { { 1, { "magnet:?xt=urn:btih:1", "http://example.test/a.torrent" } } };
        QTest::newRow("https in capitals first carries a magnet along")
            << "HTTPS://EXAMPLE.TEST/A.TORRENT\nmagnet:?xt=urn:btih:2"
            << Requests { { 19, { "HTTPS://EXAMPLE.TEST/A.TORRENT", "magnet:?xt=urn:btih:2" } } };
        QTest::newRow("ftp first") << "ftp://example.test/b.torrent"
                                   << Requests { { 19, { "ftp://example.test/b.torrent" } } };
        QTest::newRow("two tracker links then a plain word")
            << "morvane://&ty=1&ro=1&id=7&ua=k1\nmorvane://ty=1&RO=1&ID=8&ua=k2\nword\nmorvane://"
               "&ty=1&ro=1&id=9"
            << Requests { { 19, { "http://tracker.test:8080/download.php?id=7&passkey=k1" } },
                   { 19, { "http://tracker.test:8080/download.php?id=8&passkey=k2" } } };
        QTest::newRow("other site, repeated key keeps the last")
            << "morvane://ty=1&ro=0&url=site.test/x&id=1&id=5&ua=p q"
            << Requests { { 19, { "http://site.test/x/download.php?id=5&passkey=p q" } } };
        QTest::newRow("other site without url sends nothing") << "morvane://ty=1&ro=0&id=42" << Requests {};
        QTest::newRow("no ty sends nothing, pipe form not accepted")
            << "morvane://|HASH|name|udp://t1/" << Requests {};
        QTest::newRow("start-page key not known here") << "morvane://ty=0&sp=news" << Requests {};
        QTest::newRow("bc link first ends at once")
            << "bc://bt/QUFBL2IvYy9kL2U=\nmagnet:?xt=urn:btih:3" << Requests {};
    }
    void okSendsRequests()
    {
        QFETCH(QString, text);
        QFETCH(Requests, expected);

        openurl dialog;
        QSignalSpy requests(&dialog, &openurl::sessionRequest);
        QSignalSpy ready(&dialog, qOverload<QString, bool>(&openurl::urlReadyToBeDownloaded));
        dialog.show();
        dialog.setText(text);
        QTest::mouseClick(dialog.findChild<QPushButton *>("okpushButton"), Qt::LeftButton);

        QCOMPARE(requestsIn(requests), expected);
        QVERIFY(!ready.isEmpty());
        QVERIFY(ready.constFirst().at(1).toBool());
        QVERIFY(!dialog.isVisible());
    }

    void emptyInputWarnsAndStaysOpen()
    {
        openurl dialog;
        QSignalSpy requests(&dialog, &openurl::sessionRequest);
        dialog.show();
        dialog.setText(" \n\t\n");

        QString title;
        QString message;
        ModalWatcher closer([&](QWidget *modal) {
            if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                title = box->windowTitle();
                message = box->text();
            }
            modal->close();
        });
        QTest::mouseClick(dialog.findChild<QPushButton *>("okpushButton"), Qt::LeftButton);

        QCOMPARE(title, QStringLiteral("invalid address"));
        QCOMPARE(message, QStringLiteral("Please at least one input URL"));
        QVERIFY(requests.isEmpty());
        QVERIFY(dialog.isVisible());
    }

    void cancelKeepsText()
    {
        openurl dialog;
        QSignalSpy requests(&dialog, &openurl::sessionRequest);
        dialog.show();
        dialog.findChild<QPlainTextEdit *>("textEdit")->setPlainText("magnet:?xt=urn:btih:4");
        QTest::mouseClick(dialog.findChild<QPushButton *>("cancelpushButton"), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QVERIFY(requests.isEmpty());

        dialog.show();
        QCOMPARE(dialog.text(), QStringLiteral("magnet:?xt=urn:btih:4"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Open URL file"));
    }

    void processDownloadListResult()
    {
        openurl dialog;
        QCOMPARE(dialog.processDownloadList({ "morvane://ty=1&ro=1&id=1", "plain" }), 1);
        QCOMPARE(dialog.processDownloadList({ "magnet:?xt=urn:btih:5", "plain" }), 0);
    }

    void noTrackerSiteSendsNothing()
    {
        Preferences().setValue(QStringLiteral("/config/trackerSite"), QString());
        openurl dialog;
        QSignalSpy requests(&dialog, &openurl::sessionRequest);
        dialog.processDownloadList(
            { "morvane://ty=1&ro=1&id=1&ua=k", "morvane://ty=1&url=other.test&id=2&ua=k" });
        QCOMPARE(
            requestsIn(requests), (Requests { { 19, { "http://other.test/download.php?id=2&passkey=k" } } }));
        Preferences().setValue(QStringLiteral("/config/trackerSite"), QStringLiteral("tracker.test:8080"));
    }

private:
    TemporaryHome m_home;
};

QTEST_MAIN(TestOpenUrl)
#include "tst_openurl.moc"
