#include "assoc/desktopassociations.h"
#include "assoc/desktopentry.h"
#include "assoc/urihandler.h"
#include "tests/support/temporaryhome.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

// The freedesktop back-end in a throw-away home, read back through the real
// xdg-mime so that what we write is what desktops read.
class TestDesktopAssociations : public QObject
{
    Q_OBJECT

    std::unique_ptr<TemporaryHome> m_home;

    QString applications() const { return m_home->dataHome() + "/applications"; }
    QString mimeApps() const { return m_home->path() + "/config/mimeapps.list"; }
    QString programFolder() const { return m_home->path() + "/prog"; }
    QString programPath() const { return programFolder() + "/Morvane"; }

    static bool writeFile(const QString &path, const QByteArray &content)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
    }
    static QByteArray readFile(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // A program file xdg-mime can find, and an entry for another player.
    void makePrograms()
    {
        QVERIFY(writeFile(programPath(), "#!/bin/sh\n"));
        QVERIFY(QFile::setPermissions(programPath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(writeFile(applications() + "/vlc.desktop",
            "[Desktop Entry]\nType=Application\nName=Other\nExec=/bin/true %U\n"));
    }
    std::unique_ptr<DesktopAssociations> tool(const QString &folder) const
    {
        return std::make_unique<DesktopAssociations>(folder);
    }
    std::unique_ptr<DesktopAssociations> tool() const { return tool(programFolder()); }

    static QString xdgDefault(const QString &mimeType)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // The generic lookup: no desktop's own mimeapps file or trader.
        for (const char *name : { "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                 "GNOME_DESKTOP_SESSION_ID", "XDG_MENU_PREFIX" })
            env.remove(name);
        QProcess process;
        process.setProcessEnvironment(env);
        process.start("xdg-mime", { "query", "default", mimeType });
        if (!process.waitForFinished(20000))
            return "<xdg-mime did not finish>";
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable("xdg-mime").isEmpty())
            QFAIL("xdg-mime (xdg-utils) is needed");
    }
    void init()
    {
        m_home = std::make_unique<TemporaryHome>();
        QVERIFY(m_home->isValid());
        makePrograms();
    }
    void cleanup() { m_home.reset(); }

    void execArgumentQuoting_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("inFile");
        QTest::newRow("plain") << "/opt/morvane/Morvane"
                               << "/opt/morvane/Morvane";
        QTest::newRow("space") << "/opt/My Apps/Morvane"
                               << "\"/opt/My Apps/Morvane\"";
        QTest::newRow("double quote") << "/opt/a\"b/Morvane"
                                      << "\"/opt/a\\\\\"b/Morvane\"";
        QTest::newRow("single quote") << "/opt/it's/Morvane"
                                      << "\"/opt/it's/Morvane\"";
        QTest::newRow("dollar") << "/opt/$HOME/Morvane"
                                << "\"/opt/\\\\$HOME/Morvane\"";
        QTest::newRow("backslash") << "/opt/a\\b/Morvane"
                                   << "\"/opt/a\\\\\\\\b/Morvane\"";
        QTest::newRow("percent") << "/opt/100%/Morvane"
                                 << "/opt/100%%/Morvane";
        QTest::newRow("non-ASCII") << QString::fromUtf8("/opt/视频/Morvane")
                                   << QString::fromUtf8("/opt/视频/Morvane");
        QTest::newRow("newline") << "/opt/a\nb/M"
                                 << "\"/opt/a\\nb/M\"";
    }
    void execArgumentQuoting()
    {
        QFETCH(QString, path);
        QFETCH(QString, inFile);
        QCOMPARE(DesktopEntry::execArgument(path), inFile);
        QCOMPARE(DesktopEntry::execProgram(inFile + " %u"), path);
        QVERIFY(writeFile(applications() + "/x.desktop", DesktopEntry::render(path, { "video/mp4" })));
        QCOMPARE(DesktopEntry::programOf(applications() + "/x.desktop"), path);
    }

    void mediaTypes_data()
    {
        QTest::addColumn<QString>("ext");
        QTest::addColumn<QString>("type");
        QTest::newRow("avi") << ".avi"
                             << "video/x-msvideo";
        QTest::newRow("mkv") << ".mkv"
                             << "video/x-matroska";
        QTest::newRow("ts is video, not a translation") << ".ts"
                                                        << "video/mp2t";
        QTest::newRow("postscript is no video") << ".ps" << QString();
        QTest::newRow("disc image is no video") << ".iso" << QString();
        QTest::newRow("unknown binary") << ".bin" << QString();
    }
    void mediaTypes()
    {
        QFETCH(QString, ext);
        QFETCH(QString, type);
        QCOMPARE(DesktopAssociations::mimeTypeFor(ext), type);
        QCOMPARE(tool()->bindableExtensions().contains(ext), !type.isEmpty());
    }

    void kelvoraAutoBindsLinksButNotTorrentFiles()
    {
        const QString binDir = qEnvironmentVariable("MORVANE_BIN_DIR", MORVANE_BUILD_BIN_DIR);
        const QString player = binDir + "/Morvane";
        QVERIFY2(QFile::exists(player), qPrintable(player));
        QVERIFY(writeFile(mimeApps(), "[Default Applications]\napplication/x-bittorrent=vlc.desktop;\n"));
        tool(binDir)->setTorrentAssociation(true);
        QCOMPARE(xdgDefault("application/x-bittorrent"), QString("morvane.desktop"));
        QVERIFY(!UriHandler::isUriHandlerRegistered(player));

        QProcess kelvora;
        kelvora.start(binDir + "/Kelvora", { "auto" });
        QVERIFY(kelvora.waitForFinished(30000));
        QCOMPARE(kelvora.exitStatus(), QProcess::NormalExit);
        QCOMPARE(kelvora.exitCode(), 0);

        QCOMPARE(xdgDefault("x-scheme-handler/morvane"), QString("morvane.desktop"));
        QCOMPARE(xdgDefault("x-scheme-handler/magnet"), QString("morvane.desktop"));
        QCOMPARE(xdgDefault("application/x-bittorrent"), QString("vlc.desktop"));
        QCOMPARE(DesktopEntry::programOf(applications() + "/morvane.desktop"), player);
        QVERIFY(UriHandler::isUriHandlerRegistered(player));
        QVERIFY(!UriHandler::isUriHandlerRegistered(programPath()));
    }

    void videoTypesComeBackToTheirFormerDefaults()
    {
        const QByteArray original = "# kept as it is\n"
                                    "[Added Associations]\n"
                                    "video/x-msvideo=vlc.desktop;\n"
                                    "\n"
                                    "[Default Applications]\n"
                                    "text/plain=editor.desktop;\n"
                                    "video/x-msvideo=vlc.desktop;\n"
                                    "video/mp4=vlc.desktop;other.desktop;\n"
                                    "not a key value line\n"
                                    "bytes=\xff\xfe\n"
                                    "\n"
                                    "[Removed Associations]\n"
                                    "image/png=viewer.desktop;\n";
        QVERIFY(writeFile(mimeApps(), original));
        auto t = tool();
        t->associateVideoFiles();
        QVERIFY(t->videoFilesAssociated());
        QCOMPARE(xdgDefault("video/x-msvideo"), QString("morvane.desktop"));
        QCOMPARE(xdgDefault("video/webm"), QString("morvane.desktop"));
        // Binding twice must not record our own entry as the former default.
        t->associateExtension(".avi");

        t->restoreVideoFiles();
        QCOMPARE(xdgDefault("video/x-msvideo"), QString("vlc.desktop"));
        QCOMPARE(xdgDefault("video/mp4"), QString("vlc.desktop"));
        QVERIFY(!t->extensionAssociated(".avi"));
        QCOMPARE(readFile(mimeApps()), original);
        // Offering nothing any more, the entry is gone.
        QVERIFY(!QFile::exists(applications() + "/morvane.desktop"));
    }

    void formerDefaultIsKeptOutsideMimeapps()
    {
        QVERIFY(writeFile(mimeApps(), "[Default Applications]\nvideo/x-msvideo=vlc.desktop;\n"));
        auto t = tool();
        t->associateExtension(".avi");
        t->associateExtension(".avi");
        // A settings panel that keeps only the chosen default drops the rest.
        QVERIFY(writeFile(mimeApps(), "[Default Applications]\nvideo/x-msvideo=morvane.desktop;\n"));
        QVERIFY(t->extensionAssociated(".avi"));

        t->restoreExtension(".avi");
        QCOMPARE(xdgDefault("video/x-msvideo"), QString("vlc.desktop"));
        QVERIFY(!readFile(m_home->dataHome() + "/Morvane/mimeapps-previous.ini").contains("vlc"));
    }

    void unbindingLeavesOtherProgramsAlone()
    {
        const QByteArray original = "[Default Applications]\n"
                                    "video/x-msvideo=vlc.desktop;morvane.desktop;\n"
                                    "x-scheme-handler/magnet=vlc.desktop;\n";
        QVERIFY(writeFile(mimeApps(), original));
        auto t = tool();
        t->restoreExtension(".mp4");
        t->setMagnetAssociation(false);
        t->setTorrentAssociation(false);
        QCOMPARE(readFile(mimeApps()), original);
        QVERIFY(!QFile::exists(applications() + "/morvane.desktop"));

        // A trailing mention of our entry is ours to take back; the rest stays.
        t->restoreExtension(".avi");
        QCOMPARE(readFile(mimeApps()),
            QByteArray("[Default Applications]\n"
                       "video/x-msvideo=vlc.desktop;\n"
                       "x-scheme-handler/magnet=vlc.desktop;\n"));
    }

    void awkwardMimeappsFiles_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("readOnly");
        QTest::newRow("missing") << false << QByteArray() << false;
        QTest::newRow("empty") << true << QByteArray() << false;
        QTest::newRow("malformed")
            << true
            << QByteArray(
                   "garbage\n[Default Applications\nx-scheme-handler/morvane\n=\n\xc3\x28\nno newline at end")
            << false;
        QTest::newRow("read-only") << true << QByteArray("[Default Applications]\nvideo/mp4=vlc.desktop;\n")
                                   << true;
    }
    void awkwardMimeappsFiles()
    {
        QFETCH(bool, exists);
        QFETCH(QByteArray, content);
        QFETCH(bool, readOnly);
        if (exists)
            QVERIFY(writeFile(mimeApps(), content));
        if (readOnly)
            QVERIFY(QFile::setPermissions(mimeApps(), QFile::ReadOwner | QFile::ReadGroup));

        tool()->setSchemeAssociation(true);

        QCOMPARE(tool()->schemeAssociated(), !readOnly);
        QCOMPARE(UriHandler::isUriHandlerRegistered(programPath()), !readOnly);
        QCOMPARE(xdgDefault("x-scheme-handler/morvane"), readOnly ? QString() : QString("morvane.desktop"));
        const QByteArray after = readFile(mimeApps());
        if (readOnly) {
            QCOMPARE(after, content);
            QVERIFY(!QFile::exists(applications() + "/morvane.desktop"));
        } else {
            QVERIFY2(after.startsWith(content), after.constData());
        }
    }

    void unreadableMimeappsIsLeftAlone()
    {
        // A folder in the file's place cannot be read, even by root.
        QVERIFY(QDir().mkpath(mimeApps()));
        tool()->setSchemeAssociation(true);
        QVERIFY(!tool()->schemeAssociated());
        QVERIFY(QFileInfo(mimeApps()).isDir());
        QVERIFY(!QFile::exists(applications() + "/morvane.desktop"));
    }

    void symlinkedMimeappsStaysALink()
    {
        const QString target = m_home->path() + "/dotfiles/mimeapps.list";
        QVERIFY(writeFile(target, "[Default Applications]\nvideo/mp4=vlc.desktop;\n"));
        QVERIFY(QFile::link(target, mimeApps()));
        tool()->setSchemeAssociation(true);
        QVERIFY(QFileInfo(mimeApps()).isSymLink());
        QVERIFY(readFile(target).contains("x-scheme-handler/morvane=morvane.desktop;"));
        QVERIFY(tool()->schemeAssociated());
    }

    void uriHandlerCheckFollowsTheEntry()
    {
        auto t = tool();
        t->setSchemeAssociation(true);
        QVERIFY(UriHandler::isUriHandlerRegistered(programPath()));
        QVERIFY(!UriHandler::isUriHandlerRegistered(programPath() + "2"));

        // The same entry name, now starting a program elsewhere.
        tool(m_home->path() + "/moved")->setMagnetAssociation(true);
        QVERIFY(!UriHandler::isUriHandlerRegistered(programPath()));
        QVERIFY(!t->schemeAssociated());
        QVERIFY(!t->magnetAssociated());

        t->setSchemeAssociation(true);
        QVERIFY(UriHandler::isUriHandlerRegistered(programPath()));
        t->setSchemeAssociation(false);
        QVERIFY(!UriHandler::isUriHandlerRegistered(programPath()));
        QCOMPARE(xdgDefault("x-scheme-handler/morvane"), QString());
    }
};

QTEST_MAIN(TestDesktopAssociations)
#include "tst_desktopassociations.moc"
