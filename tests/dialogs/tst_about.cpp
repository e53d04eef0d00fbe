#include "dialogs/about.h"
#include "dialogs/options.h"
#include "dialogs/wizard.h"
#include "settings/preferences.h"
#include "tests/support/temporaryhome.h"

#include <QDateTime>
#include <QLabel>
#include <QLocale>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>
#include <QTranslator>

class TestAbout : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_home = TemporaryHome::forPlayer()); }
    void cleanup() { m_home.reset(); }

    void texts()
    {
        about dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("About Morvane"));
        QVERIFY(dialog.findChild<QTabWidget *>("tw_tabs"));
        QCOMPARE(label(dialog, "versionlabel"), QStringLiteral("1.05"));
        QCOMPARE(label(dialog, "label"), QStringLiteral("Morvane version"));
        QCOMPARE(label(dialog, "label_2"), QStringLiteral("compile time"));
        QCOMPARE(label(dialog, "label_3"), QStringLiteral("Thanks to the use of the software"));
        QVERIFY(!dialog.findChild<QLabel *>("mascot_lbl")->pixmap().isNull());
        QVERIFY(!dialog.findChild<QLabel *>("logo")->pixmap().isNull());
    }

    void buildTimeAsTheCompilerWritesIt()
    {
        about dialog;
        const QString shown = label(dialog, "timelabel");
        QCOMPARE(shown, about::buildTime());
        // "Apr 27 2013 23:06:14"; the compiler pads a one-digit day with a blank.
        static const QRegularExpression form(
            QStringLiteral("^[A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}$"));
        QVERIFY2(form.match(shown).hasMatch(), qPrintable(shown));
        const QDateTime built
            = QLocale::c().toDateTime(shown.simplified(), QStringLiteral("MMM d yyyy hh:mm:ss"));
        QVERIFY2(built.isValid(), qPrintable(shown));
        QVERIFY(built <= QDateTime::currentDateTime().addDays(1));
        QVERIFY(built.date().year() >= 2024);
    }

    void links_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("website");
        QTest::addColumn<QString>("forum");
        QTest::newRow("no server: plain names") << ""
                                                << ""
                                                << "";
        QTest::newRow("blank server") << "   "
                                      << ""
                                      << "";
        QTest::newRow("loopback with port") << "127.0.0.1:8080"
                                            << "http://127.0.0.1:8080/"
                                            << "http://127.0.0.1:8080/forum";
        QTest::newRow("host name") << "localhost"
                                   << "http://localhost/"
                                   << "http://localhost/forum";
        QTest::newRow("markup is not a host") << "\"><script>x</script>"
                                              << ""
                                              << "";
    }
    void links()
    {
        QFETCH(QString, server);
        QFETCH(QString, website);
        QFETCH(QString, forum);
        if (!server.isNull())
            Preferences().setValue(QStringLiteral("/config/webServer"), server);
        about dialog;
        QLabel *links = dialog.findChild<QLabel *>("lb_about");
        const QString text = links->text();
        QVERIFY(text.contains("Website"));
        QVERIFY(text.contains("Forum"));
        QVERIFY2(!text.contains("<script"), qPrintable(text));
        if (website.isEmpty()) {
            QVERIFY2(!text.contains("href"), qPrintable(text));
        } else {
            QVERIFY2(text.contains("href=\"" + website + "\""), qPrintable(text));
            QVERIFY2(text.contains("href=\"" + forum + "\""), qPrintable(text));
            QVERIFY(links->openExternalLinks());
        }
    }

    void chineseReachesEveryDialog()
    {
        QTranslator translator;
        QVERIFY(translator.load(QStringLiteral(":/lang/Morvane_zh_CN")));
        QCoreApplication::installTranslator(&translator);
        const QString aboutTitle = about().windowTitle();
        const QString optionsTitle = Options().windowTitle();
        const QString wizardTitle = Wizard().windowTitle();
        QCoreApplication::removeTranslator(&translator);
        QCOMPARE(aboutTitle, QStringLiteral("关于 Morvane"));
        QCOMPARE(optionsTitle, QStringLiteral("选项"));
        QCOMPARE(wizardTitle, QStringLiteral("设置向导"));
    }

private:
    static QString label(const about &dialog, const char *name)
    {
        QLabel *l = dialog.findChild<QLabel *>(QString::fromLatin1(name));
        return l ? l->text() : QStringLiteral("<missing %1>").arg(QString::fromLatin1(name));
    }

    std::unique_ptr<TemporaryHome> m_home;
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
