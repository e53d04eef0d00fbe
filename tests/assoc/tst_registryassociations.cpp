#include "assoc/regedit.h"
#include "assoc/registryassociations.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

// The registry rules, against two ini files standing in for the classes and
// user roots.
class TestRegistryAssociations : public QObject
{
    Q_OBJECT

    const QString folder = "C:/Program Files/Morvane";
    const QString program = R"(C:\Program Files\Morvane\Morvane.exe)";

    // In memory where possible: every write of the stand-in files syncs to disk.
    QTemporaryDir m_dir { QFileInfo("/dev/shm").isWritable() ? "/dev/shm/tst_registry-XXXXXX"
                                                             : QDir::tempPath() + "/tst_registry-XXXXXX" };
    QString classesFile() const { return m_dir.filePath("classes.ini"); }
    RegistryStore store() const { return RegistryStore::iniFiles(classesFile(), m_dir.filePath("user.ini")); }
    std::unique_ptr<RegistryAssociations> tool(const QString &in) const
    {
        return std::make_unique<RegistryAssociations>(in, store());
    }
    std::unique_ptr<RegistryAssociations> tool() const { return tool(folder); }
    QString classes(const QString &path) const { return store().value(RegistryStore::Classes, path); }
    QString user(const QString &path) const { return store().value(RegistryStore::User, path); }
    static QString fileExts(const QString &ext, const QString &leaf)
    {
        return "Software/Microsoft/Windows/CurrentVersion/Explorer/FileExts/" + ext + "/" + leaf;
    }
    QByteArray classesBytes() const
    {
        QFile f(classesFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Clicks OK on a window showing the current state, after setting the boxes.
    void runWindow(bool videos, bool torrent, bool magnet, bool scheme)
    {
        regedit window(tool(), nullptr, QString());
        window.findChild<QCheckBox *>("loaclcheckBox")->setChecked(videos);
        window.findChild<QCheckBox *>("torrentcheckBox_2")->setChecked(torrent);
        window.findChild<QCheckBox *>("mangentcheckBox")->setChecked(magnet);
        window.findChild<QCheckBox *>("xvodcheckBox")->setChecked(scheme);
        window.findChild<QPushButton *>("okpushButton")->click();
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QFile::remove(classesFile());
        QFile::remove(m_dir.filePath("user.ini"));
    }

    void writtenCommandsMatchTheStartupCheck()
    {
        auto t = tool();
        t->setSchemeAssociation(true);
        t->associateExtension(".avi");
        QCOMPARE(classes("morvane/shell/open/command/Default"),
            QString(R"("C:\Program Files\Morvane\Morvane.exe" "%1")"));
        QCOMPARE(
            classes("morvane/DefaultIcon/Default"), QString(R"("C:\Program Files\Morvane\Morvane.exe",1)"));
        QCOMPARE(classes("Morvane.avi/shell/open/command/Default"),
            QString(R"("C:\Program Files\Morvane\Morvane.exe"  "%1")"));
        QCOMPARE(classes("Morvane.avi/DefaultIcon/Default"),
            QString(R"("C:\Program Files\Morvane\Morvane.exe",0)"));
        QVERIFY(RegistryAssociations::isUriHandlerRegistered(store(), program));
        QVERIFY(
            RegistryAssociations::isUriHandlerRegistered(store(), "C:/Program Files/Morvane/Morvane.exe"));
        QVERIFY(!RegistryAssociations::isUriHandlerRegistered(store(), R"(D:\Morvane\Morvane.exe)"));
    }

    void startupCheckIsExact_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("registered");
        QTest::newRow("as written") << R"("C:\Program Files\Morvane\Morvane.exe" "%1")" << true;
        QTest::newRow("forward slashes") << R"("C:/Program Files/Morvane/Morvane.exe" "%1")" << false;
        QTest::newRow("unquoted argument") << R"("C:\Program Files\Morvane\Morvane.exe" %1)" << false;
        QTest::newRow("trailing blank") << R"("C:\Program Files\Morvane\Morvane.exe" "%1" )" << false;
        QTest::newRow("other case") << R"("c:\program files\morvane\morvane.exe" "%1")" << false;
        QTest::newRow("empty") << QString() << false;
    }
    void startupCheckIsExact()
    {
        QFETCH(QString, value);
        QFETCH(bool, registered);
        store().setValue(RegistryStore::Classes, "morvane/shell/open/command/Default", value);
        QCOMPARE(RegistryAssociations::isUriHandlerRegistered(store(), program), registered);
    }

    void autoBindsLinksButNotTorrentFiles()
    {
        tool()->setTorrentAssociation(true);
        QVERIFY(tool()->torrentAssociated());

        regedit window(tool(), nullptr, "auto");
        QVERIFY(!window.isVisible());
        QVERIFY(!tool()->torrentAssociated());
        QVERIFY(tool()->magnetAssociated());
        QVERIFY(tool()->schemeAssociated());
        QVERIFY(classes(".torrent/Default").isEmpty());
        QVERIFY(!store().contains(RegistryStore::Classes, ".avi/Default"));
        QVERIFY(user(fileExts(".torrent", "UserChoice/Progid")).isEmpty());
    }

    void bindingKeepsTheFirstBackupAndUnbindingRestoresIt()
    {
        store().setValue(RegistryStore::Classes, ".avi/Default", "VLC.avi");
        auto t = tool();
        t->associateExtension(".avi");
        QCOMPARE(classes(".avi/Default"), QString("Morvane.avi"));
        QCOMPARE(classes(".avi/Morvane.backup"), QString("VLC.avi"));
        QVERIFY(t->extensionAssociated(".avi"));

        t->associateExtension(".avi");
        QCOMPARE(classes(".avi/Morvane.backup"), QString("VLC.avi"));

        t->restoreExtension(".avi");
        QCOMPARE(classes(".avi/Default"), QString("VLC.avi"));
        QCOMPARE(classes(".avi/Morvane.backup"), QString());
        QCOMPARE(user(fileExts(".avi", "Progid")), QString());
        QVERIFY(!t->extensionAssociated(".avi"));
    }

    void unbindingAForeignExtensionChangesNothing_data()
    {
        QTest::addColumn<QString>("owner");
        QTest::newRow("another program") << "VLC.avi";
        QTest::newRow("nobody") << QString();
    }
    void unbindingAForeignExtensionChangesNothing()
    {
        QFETCH(QString, owner);
        store().setValue(RegistryStore::Classes, ".avi/Default", owner);
        store().setValue(RegistryStore::Classes, ".avi/Morvane.backup", "Old.avi");
        store().setValue(RegistryStore::User, fileExts(".avi", "UserChoice/Progid"), "VLC.avi");
        const QByteArray before = classesBytes();
        tool()->restoreExtension(".avi");
        QCOMPARE(classesBytes(), before);
        QCOMPARE(user(fileExts(".avi", "UserChoice/Progid")), QString("VLC.avi"));
    }

    void oneUnboundExtensionUnticksVideosAndOkRestoresTheRest()
    {
        const QStringList extensions = Associations::videoExtensions();
        QCOMPARE(extensions.size(), 55);
        for (const QString &ext : extensions)
            store().setValue(RegistryStore::Classes, ext + "/Default", "Prev" + ext);
        tool()->associateVideoFiles();
        QVERIFY(tool()->videoFilesAssociated());
        store().setValue(RegistryStore::Classes, ".mkv/Default", "Other.mkv");
        QVERIFY(!tool()->videoFilesAssociated());

        regedit window(tool(), nullptr, QString());
        auto *videos = window.findChild<QCheckBox *>("loaclcheckBox");
        QVERIFY(videos);
        QVERIFY(!videos->isChecked());
        window.findChild<QPushButton *>("okpushButton")->click();

        for (const QString &ext : extensions) {
            const QString expected = ext == ".mkv" ? QString("Other.mkv") : "Prev" + ext;
            QCOMPARE(classes(ext + "/Default"), expected);
        }
    }

    void windowShowsTheRealState_data()
    {
        QTest::addColumn<bool>("videos");
        QTest::addColumn<bool>("torrent");
        QTest::addColumn<bool>("magnet");
        QTest::addColumn<bool>("scheme");
        QTest::newRow("nothing") << false << false << false << false;
        QTest::newRow("torrent without scheme") << false << true << true << false;
        QTest::newRow("scheme without torrent") << true << false << false << true;
        QTest::newRow("everything") << true << true << true << true;
    }
    void windowShowsTheRealState()
    {
        QFETCH(bool, videos);
        QFETCH(bool, torrent);
        QFETCH(bool, magnet);
        QFETCH(bool, scheme);
        // From both starting points, so every box is both bound and unbound.
        for (const bool start : { true, false }) {
            runWindow(start, start, start, start);
            runWindow(videos, torrent, magnet, scheme);

            regedit window(tool(), nullptr, QString());
            QCOMPARE(window.findChild<QCheckBox *>("loaclcheckBox")->isChecked(), videos);
            QCOMPARE(window.findChild<QCheckBox *>("torrentcheckBox_2")->isChecked(), torrent);
            QCOMPARE(window.findChild<QCheckBox *>("mangentcheckBox")->isChecked(), magnet);
            QCOMPARE(window.findChild<QCheckBox *>("xvodcheckBox")->isChecked(), scheme);
            QCOMPARE(RegistryAssociations::isUriHandlerRegistered(store(), program), scheme);
        }
    }

    void movedInstallationFailsEveryCheck()
    {
        auto old = tool();
        old->setTorrentAssociation(true);
        old->setMagnetAssociation(true);
        old->setSchemeAssociation(true);
        old->associateVideoFiles();
        QVERIFY(old->torrentAssociated() && old->magnetAssociated() && old->schemeAssociated());
        QVERIFY(old->videoFilesAssociated());

        auto moved = tool("D:/Apps/Morvane");
        QVERIFY(!moved->torrentAssociated());
        QVERIFY(!moved->magnetAssociated());
        QVERIFY(!moved->schemeAssociated());
        for (const QString &ext : Associations::videoExtensions())
            QVERIFY2(!moved->extensionAssociated(ext), qPrintable(ext));
        QVERIFY(!RegistryAssociations::isUriHandlerRegistered(store(), R"(D:\Apps\Morvane\Morvane.exe)"));
    }

    void letterCaseRules_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("check");
        QTest::addColumn<bool>("holds");
        const QString upper = R"("C:\PROGRAM FILES\MORVANE\MORVANE.EXE")";
        QTest::newRow("torrent ProgID case") << ".torrent/Default"
                                             << "morvane.TORRENT"
                                             << "torrent" << false;
        QTest::newRow("torrent command path case")
            << "Morvane.torrent/shell/open/command/Default" << upper + R"( "%1")"
            << "torrent" << true;
        QTest::newRow("torrent command other program") << "Morvane.torrent/shell/open/command/Default"
                                                       << R"("C:\Other\Morvane.exe" "%1")"
                                                       << "torrent" << false;
        QTest::newRow("torrent icon case") << "Morvane.torrent/DefaultIcon/Default" << upper + ",1"
                                           << "torrent" << true;
        QTest::newRow("torrent icon index") << "Morvane.torrent/DefaultIcon/Default" << upper + ",0"
                                            << "torrent" << false;
        QTest::newRow("magnet path case") << "Magnet/shell/open/command/Default" << upper + " %1"
                                          << "magnet" << true;
        QTest::newRow("magnet unquoted") << "Magnet/shell/open/command/Default"
                                         << R"(C:\Program Files\Morvane\Morvane.exe "%1")"
                                         << "magnet" << false;
        QTest::newRow("scheme case") << "morvane/shell/open/command/Default" << upper + R"( "%1")"
                                     << "scheme" << false;
        QTest::newRow("extension ProgID case") << ".avi/Default"
                                               << "morvane.avi"
                                               << "avi" << false;
        QTest::newRow("video command one space") << "Morvane.avi/shell/open/command/Default"
                                                 << R"("C:\Program Files\Morvane\Morvane.exe" "%1")"
                                                 << "avi" << false;
    }
    void letterCaseRules()
    {
        QFETCH(QString, path);
        QFETCH(QString, value);
        QFETCH(QString, check);
        QFETCH(bool, holds);
        auto t = tool();
        t->setTorrentAssociation(true);
        t->setMagnetAssociation(true);
        t->setSchemeAssociation(true);
        t->associateExtension(".avi");
        store().setValue(RegistryStore::Classes, path, value);
        const bool result = check == "torrent" ? t->torrentAssociated()
            : check == "magnet"                ? t->magnetAssociated()
            : check == "scheme"                ? t->schemeAssociated()
                                               : t->extensionAssociated(".avi");
        QCOMPARE(result, holds);
    }

    void unbindingMagnetLeavesAnotherClient_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("removed");
        QTest::newRow("another client") << R"("C:\Other\client.exe" "%1")" << false;
        QTest::newRow("this installation") << R"("C:\Program Files\Morvane\Morvane.exe" "%1")" << true;
        QTest::newRow("a moved installation") << R"("D:\Old\morvane.exe" "%1")" << true;
    }
    void unbindingMagnetLeavesAnotherClient()
    {
        QFETCH(QString, command);
        QFETCH(bool, removed);
        store().setValue(RegistryStore::Classes, "Magnet/Default", "Magnet URI");
        store().setValue(RegistryStore::Classes, "Magnet/shell/open/command/Default", command);
        tool()->setMagnetAssociation(false);
        QCOMPARE(store().contains(RegistryStore::Classes, "Magnet/shell/open/command/Default"), !removed);
        QCOMPARE(store().contains(RegistryStore::Classes, "Magnet/Default"), !removed);
    }

    void translationsAndIconAreWhereTheToolLoadsThem()
    {
        QTranslator chinese;
        QVERIFY(chinese.load(":/new/prefix1/lang/Kelvora_zh_CN"));
        QTranslator british;
        QVERIFY(british.load(":/new/prefix1/lang/Kelvora_en_GB"));
        QVERIFY(!QIcon(":/icon/systraysmall.png").isNull());

        QCoreApplication::installTranslator(&chinese);
        regedit window(tool(), nullptr, QString());
        QCoreApplication::removeTranslator(&chinese);
        QCOMPARE(window.windowTitle(), QString::fromUtf8("文件关联"));
        QCOMPARE(window.findChild<QCheckBox *>("mangentcheckBox")->text(), QString::fromUtf8("磁力链接"));
        QCOMPARE(window.size(), QSize(409, 345));
    }
};

QTEST_MAIN(TestRegistryAssociations)
#include "tst_registryassociations.moc"
