#include "settings/misc.h"
#include "settings/preferences.h"
#include "tests/support/temporaryhome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

class TestPreferences : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_home = TemporaryHome::forPlayer()); }
    void cleanup() { m_home.reset(); }

    void fileLivesUnderTheBackupFolder()
    {
        QCOMPARE(Preferences::settingsFilePath(),
            m_home->dataHome() + QStringLiteral("/Morvane/BT_backup/data/Morvane.ini"));
    }

    void freshUserDefaults()
    {
        Preferences prefs;
        QCOMPARE(prefs.getBackServerName(), QStringLiteral("MorvaneCore"));
        QCOMPARE(prefs.getBackServerLostAttitude(), false);
        QCOMPARE(prefs.getBackReplyTimeOutAttitude(), false);
        QCOMPARE(prefs.getLocale(), QString());
        QCOMPARE(prefs.getStartPage(), QStringLiteral("new"));
        QCOMPARE(prefs.getSavePath(), m_home->documents() + QStringLiteral("/Downloads"));
        QCOMPARE(prefs.getDiskCache(), 16u);
        QCOMPARE(prefs.getPortCheckbox(), true);
        QCOMPARE(prefs.getPortLineEdit(), QString());
        QCOMPARE(prefs.getPtBackgroundWork(), true);
        QCOMPARE(prefs.getAutoPlayMethod(), true);
        QCOMPARE(prefs.getIpv6Checkbox(), true);
        QCOMPARE(prefs.getFileCheckbox(), true);
        QCOMPARE(prefs.getDownloadLimit(), 0u);
        QCOMPARE(prefs.getUploadLimit(), 0u);
        QCOMPARE(prefs.getMaxConnections(), 0u);
        QVERIFY(prefs.value(QStringLiteral("/config/time")).toString().isEmpty());
        QCOMPARE(prefs.loadPosition(QStringLiteral("/never/played.mkv")), 0.0f);
        // Reading must not create the file.
        QVERIFY(!QFile::exists(Preferences::settingsFilePath()));
    }

    void roundTripEveryType()
    {
        {
            Preferences prefs;
            prefs.setBackServerLostAttitude(true);
            prefs.setBackServerLostWarnShow(false);
            prefs.setBackReplyTimeOutAttitude(true);
            prefs.setBackReplyTimeOutWarnShow(false);
            prefs.setLocale(QStringLiteral("zh_CN"));
            prefs.setStartPage(QStringLiteral("old"));
            prefs.setSavePath(QStringLiteral("/srv/videos"));
            prefs.setDiskCache(512);
            prefs.setPortCheckbox(false);
            prefs.setPortLineEdit(QStringLiteral("6881"));
            prefs.setPtBackgroundWork(false);
            prefs.setAutoPlayMethod(false);
            prefs.setIpv6Checkbox(false);
            prefs.setDownloadLimit(300);
            prefs.setUploadLimit(40);
            prefs.setMaxConnections(80);
            prefs.savePosition(QStringLiteral("/v/a b.mkv"), 0.375f);
            prefs.setValue(QStringLiteral("/config/verison"), 1.05f);
        }
        Preferences prefs;
        QCOMPARE(prefs.getBackServerLostAttitude(), true);
        QCOMPARE(prefs.getBackReplyTimeOutAttitude(), true);
        QCOMPARE(prefs.value(QStringLiteral("/config/backServerLostWarnShow")).toBool(), false);
        QCOMPARE(prefs.getLocale(), QStringLiteral("zh_CN"));
        QCOMPARE(prefs.getStartPage(), QStringLiteral("old"));
        QCOMPARE(prefs.getSavePath(), QStringLiteral("/srv/videos"));
        QCOMPARE(prefs.getDiskCache(), 512u);
        QCOMPARE(prefs.getPortCheckbox(), false);
        QCOMPARE(prefs.getPortLineEdit(), QStringLiteral("6881"));
        QCOMPARE(prefs.getPtBackgroundWork(), false);
        QCOMPARE(prefs.getAutoPlayMethod(), false);
        QCOMPARE(prefs.getIpv6Checkbox(), false);
        QCOMPARE(prefs.getDownloadLimit(), 300u);
        QCOMPARE(prefs.getUploadLimit(), 40u);
        QCOMPARE(prefs.getMaxConnections(), 80u);
        QCOMPARE(prefs.loadPosition(QStringLiteral("/v/a b.mkv")), 0.375f);
        const QVariant version = prefs.value(QStringLiteral("/config/verison"));
        QCOMPARE(version.typeId(), int(QMetaType::Float));
        QCOMPARE(version.toFloat(), 1.05f);
    }

    void keysAndSectionsOnDisk()
    {
        {
            Preferences prefs;
            prefs.savePosition(QStringLiteral("/v/x.mp4"), 0.5f);
            prefs.setLocale(QStringLiteral("en_GB"));
            prefs.setPortLineEdit(QStringLiteral("6881"));
            prefs.setDownloadLimit(300);
        }
        QSettings raw(Preferences::settingsFilePath(), QSettings::IniFormat);
        QVERIFY(raw.childGroups().contains(QStringLiteral("file")));
        QCOMPARE(raw.value(QStringLiteral("file/ /v/x.mp4")).toFloat(), 0.5f);
        QCOMPARE(raw.value(QStringLiteral("Preferences/General/Locale")).toString(), QStringLiteral("en_GB"));
        QCOMPARE(raw.value(QStringLiteral("config/portlineEdit")).toString(), QStringLiteral("6881"));
        // The core reads this key from the same file.
        QCOMPARE(raw.value(QStringLiteral("config/downloadLimit")).toUInt(), 300u);
    }

    void emptySavePathReadsAsDefaultAndIsNotWrittenBack()
    {
        Preferences prefs;
        prefs.setSavePath(QString());
        QCOMPARE(prefs.getSavePath(), misc::defaultSavePath());
        prefs.sync();
        QSettings raw(Preferences::settingsFilePath(), QSettings::IniFormat);
        QCOMPARE(raw.value(QStringLiteral("Preferences/Downloads/SavePath")).toString(), QString());
    }

    void twoObjectsSeeEachOtherAfterSync()
    {
        Preferences first;
        Preferences second;
        QCOMPARE(second.getStartPage(), QStringLiteral("new"));
        first.setStartPage(QStringLiteral("elsewhere"));
        first.sync();
        second.sync();
        QCOMPARE(second.getStartPage(), QStringLiteral("elsewhere"));
        // The last writer of a key wins, and neither erases the other's keys.
        second.setValue(QStringLiteral("/config/time"), QStringLiteral("20261207"));
        second.sync();
        first.setStartPage(QStringLiteral("again"));
        first.sync();
        Preferences third;
        QCOMPARE(third.getStartPage(), QStringLiteral("again"));
        QCOMPARE(third.value(QStringLiteral("/config/time")).toString(), QStringLiteral("20261207"));
    }

    void garbageFileReadsAsEmptyAndKeepsValidKeys_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("binary noise") << QByteArray("\x00\xff\xfe[[[\x01\x02\n=\n", 12);
        QTest::newRow("broken sections") << QByteArray("[config\nportlineEdit\n==\n[\n");
        QTest::newRow("valid key among garbage")
            << QByteArray("garbage line\n[config]\nportlineEdit=7000\n%%%\n");
    }
    void garbageFileReadsAsEmptyAndKeepsValidKeys()
    {
        QFETCH(QByteArray, content);
        const QString path = Preferences::settingsFilePath();
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        const bool hadPort = content.contains("portlineEdit=7000");
        {
            Preferences prefs;
            QCOMPARE(prefs.getDiskCache(), 16u);
            QCOMPARE(prefs.getPortLineEdit(), hadPort ? QStringLiteral("7000") : QString());
        }
        // Reading never truncates.
        QCOMPARE(QFileInfo(path).size(), qint64(content.size()));
        {
            Preferences prefs;
            prefs.setDiskCache(64);
        }
        Preferences prefs;
        QCOMPARE(prefs.getDiskCache(), 64u);
        QCOMPARE(prefs.getPortLineEdit(), hadPort ? QStringLiteral("7000") : QString());
    }

    void unreadableFileBehavesAsEmpty()
    {
        // A folder where the file should be cannot be read, not even by root.
        QVERIFY(QDir().mkpath(Preferences::settingsFilePath()));
        Preferences prefs;
        QCOMPARE(prefs.getBackServerName(), QStringLiteral("MorvaneCore"));
        QCOMPARE(prefs.getDiskCache(), 16u);
        prefs.setDiskCache(3);
        prefs.sync();
        QCOMPARE(prefs.status(), QSettings::AccessError);
        QVERIFY(QFileInfo(Preferences::settingsFilePath()).isDir());
    }

private:
    std::unique_ptr<TemporaryHome> m_home;
};

QTEST_GUILESS_MAIN(TestPreferences)
#include "tst_preferences.moc"
