#include "settings/misc.h"
#include "tests/support/temporaryhome.h"

#include <QDir>
#include <QTest>

class TestMisc : public QObject
{
    Q_OBJECT

private slots:
    void folders()
    {
        TemporaryHome home;
        QCoreApplication::setApplicationName(QStringLiteral("Morvane"));
        QCOMPARE(misc::dataLocation(), home.dataHome() + QStringLiteral("/Morvane/"));
        const QString backup = misc::backupLocation();
        QCOMPARE(backup, home.dataHome() + QStringLiteral("/Morvane/BT_backup"));
        QVERIFY(QDir(backup).exists());
        QCOMPARE(misc::backupLocation(), backup);
        QCOMPARE(misc::defaultSavePath(), home.documents() + QStringLiteral("/Downloads"));
        QVERIFY(!QDir(misc::defaultSavePath()).exists());
    }

    void isUrl_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("expected");
        QTest::newRow("http") << "http://example.org/a.torrent" << true;
        QTest::newRow("HTTPS upper") << "HTTPS://example.org/a.torrent" << true;
        QTest::newRow("ftp mixed") << "Ftp://example.org/a.torrent" << true;
        QTest::newRow("magnet") << "magnet:?xt=urn:btih:abc" << false;
        QTest::newRow("bc link") << "bc://bt/QUFB" << false;
        QTest::newRow("drive letter") << "C:\\videos\\a.mkv" << false;
        QTest::newRow("no scheme") << "example.org/a.torrent" << false;
        QTest::newRow("httpx") << "httpx://example.org" << false;
        QTest::newRow("prefix ftp") << "sftp://example.org" << false;
    }
    void isUrl()
    {
        QFETCH(QString, text);
        QFETCH(bool, expected);
        QCOMPARE(misc::isUrl(text), expected);
    }

    void bcLink_data()
    {
        QTest::addColumn<QString>("decoded");
        QTest::addColumn<QString>("expected");
        QTest::newRow("five fields") << "AA/name/12/HASH/ZZ"
                                     << "magnet:?xt=urn:btih:HASH&dn=name";
        QTest::newRow("empty hash") << "AA/name/12//ZZ"
                                    << "magnet:?xt=urn:btih:&dn=name";
        QTest::newRow("four fields") << "AA/name/12/HASH" << QString();
        QTest::newRow("six fields") << "AA/name/12/HASH/ZZ/extra" << QString();
    }
    void bcLink()
    {
        QFETCH(QString, decoded);
        QFETCH(QString, expected);
        const QString link = QStringLiteral("bc://bt/") + QString::fromLatin1(decoded.toLatin1().toBase64());
        QCOMPARE(misc::magnetFromBcLink(link), expected);
    }

    void bcLinkSkipsCharactersOutsideBase64()
    {
        QString encoded = QString::fromLatin1(QByteArray("AA/n/1/H/Z").toBase64());
        encoded.insert(4, QStringLiteral("*!"));
        QCOMPARE(misc::magnetFromBcLink(QStringLiteral("bc://bt/") + encoded),
            QStringLiteral("magnet:?xt=urn:btih:H&dn=n"));
    }

    void pipeLink_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("expected");
        QTest::newRow("scheme and hash only") << "morvane://|HASH" << QString();
        QTest::newRow("empty hash") << "morvane://||name"
                                    << "magnet:?xt=urn:btih:&dn=name";
        QTest::newRow("hash and name") << "morvane://|HASH|name"
                                       << "magnet:?xt=urn:btih:HASH&dn=name";
        QTest::newRow("one tracker") << "morvane://|H|n|udp://t1"
                                     << "magnet:?xt=urn:btih:H&dn=n&tr=udp://t1";
        QTest::newRow("three trackers keep two") << "morvane://|H|n|t1|t2|t3"
                                                 << "magnet:?xt=urn:btih:H&dn=n&tr=t1&tr=t2";
    }
    void pipeLink()
    {
        QFETCH(QString, link);
        QFETCH(QString, expected);
        QCOMPARE(misc::magnetFromPipeLink(link), expected);
    }

    void nonAsciiNamesBecomeOneCharacterPerUtf8Byte()
    {
        const QString name = QStringLiteral("电影");
        const QString magnet = misc::magnetFromPipeLink(QStringLiteral("morvane://|H|") + name);
        QCOMPARE(magnet, QStringLiteral("magnet:?xt=urn:btih:H&dn=") + QString::fromLatin1(name.toUtf8()));
        QCOMPARE(magnet.size(), QStringLiteral("magnet:?xt=urn:btih:H&dn=").size() + 6);

        const QByteArray decoded = QByteArray("A/") + name.toUtf8() + QByteArray("/1/H/Z");
        QCOMPARE(misc::magnetFromBcLink(QStringLiteral("bc://bt/") + QString::fromLatin1(decoded.toBase64())),
            QStringLiteral("magnet:?xt=urn:btih:H&dn=") + QString::fromLatin1(name.toUtf8()));
    }
};

QTEST_GUILESS_MAIN(TestMisc)
#include "tst_misc.moc"
