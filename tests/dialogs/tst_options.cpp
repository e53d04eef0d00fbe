#include "dialogs/elevatedlauncher.h"
#include "dialogs/options.h"
#include "recordingtool.h"
#include "settings/misc.h"
#include "settings/preferences.h"
#include "tests/support/modalwatcher.h"
#include "tests/support/temporaryhome.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTest>

// What one press of OK sent: the request types in order and their arguments.
struct Sent
{
    QList<int> types;
    QStringList arguments;
};

class TestOptions : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_home = TemporaryHome::forPlayer());
        ElevatedLauncher::setProgramFolder(QString());
    }
    void cleanup()
    {
        ElevatedLauncher::setProgramFolder(QString());
        m_home.reset();
    }

    void freshUserOkSendsFolderAndCacheOnly()
    {
        Options options;
        options.show();
        QCOMPARE(options.size(), QSize(602, 424));
        QCOMPARE(options.windowTitle(), QStringLiteral("Options"));
        QCOMPARE(lineEdit(options, "browselineEdit")->text(), misc::defaultSavePath());
        QCOMPARE(spin(options, "cacheSize")->value(), 16);
        QVERIFY(check(options, "portcheckBox")->isChecked());
        QVERIFY(check(options, "ipv6checkBox")->isChecked());
        QVERIFY(check(options, "ptBackCheckBox")->isChecked());
        QVERIFY(check(options, "autoPlayMethodCheckBox")->isChecked());

        QSignalSpy requests(&options, &Options::sessionRequest);
        QSignalSpy autoPlay(&options, &Options::autoPlayMethodChanged);
        button(options, "okButton")->click();

        const Sent sent = collect(requests);
        QCOMPARE(sent.types, (QList<int> { 15, 20 }));
        QCOMPARE(sent.arguments, (QStringList { misc::defaultSavePath(), QStringLiteral("16") }));
        QCOMPARE(autoPlay.size(), 1);
        QCOMPARE(autoPlay.at(0).at(0).toBool(), true);
        QVERIFY(!options.isVisible());
    }

    void ipv6ChangeSendsItsRequestFirst_data()
    {
        QTest::addColumn<bool>("stored");
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<QList<int>>("types");
        QTest::newRow("switched on") << false << true << QList<int> { 16, 15, 20 };
        QTest::newRow("switched off") << true << false << QList<int> { 17, 15, 20 };
        QTest::newRow("left on") << true << true << QList<int> { 15, 20 };
        QTest::newRow("left off") << false << false << QList<int> { 15, 20 };
    }
    void ipv6ChangeSendsItsRequestFirst()
    {
        QFETCH(bool, stored);
        QFETCH(bool, ticked);
        QFETCH(QList<int>, types);
        Preferences().setIpv6Checkbox(stored);

        Options options;
        QCOMPARE(check(options, "ipv6checkBox")->isChecked(), stored);
        check(options, "ipv6checkBox")->setChecked(ticked);
        QSignalSpy requests(&options, &Options::sessionRequest);
        button(options, "okButton")->click();

        const Sent sent = collect(requests);
        QCOMPARE(sent.types, types);
        if (types.size() == 3) {
            // The switch travels as one empty, non-null text, not as no text.
            QCOMPARE(sent.arguments.first(), QString());
            QVERIFY(!sent.arguments.first().isNull());
        }
        QCOMPARE(Preferences().getIpv6Checkbox(), ticked);

        // A second OK has nothing new to tell about IPv6.
        requests.clear();
        options.show();
        button(options, "okButton")->click();
        QCOMPARE(collect(requests).types, (QList<int> { 15, 20 }));
    }

    void locale_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("shownIndex");
        QTest::addColumn<int>("chosenIndex");
        QTest::addColumn<QString>("written");
        QTest::newRow("chinese kept") << "zh_CN" << 0 << 0 << "zh_CN";
        QTest::newRow("chinese to english") << "zh_CN" << 0 << 1 << "en_GB";
        QTest::newRow("english to chinese") << "en_GB" << 1 << 0 << "zh_CN";
        QTest::newRow("other locale shows english") << "de_DE" << 1 << 1 << "en_GB";
        QTest::newRow("no locale shows english") << "" << 1 << 1 << "en_GB";
    }
    void locale()
    {
        QFETCH(QString, stored);
        QFETCH(int, shownIndex);
        QFETCH(int, chosenIndex);
        QFETCH(QString, written);
        if (!stored.isEmpty())
            Preferences().setLocale(stored);

        Options options;
        QComboBox *box = options.findChild<QComboBox *>("languangecomboBox");
        QVERIFY(box);
        QCOMPARE(box->count(), 2);
        QCOMPARE(box->itemText(0), QStringLiteral("Simplified Chinese"));
        QCOMPARE(box->itemText(1), QStringLiteral("English"));
        QCOMPARE(box->currentIndex(), shownIndex);
        box->setCurrentIndex(chosenIndex);
        button(options, "okButton")->click();
        QCOMPARE(Preferences().getLocale(), written);
    }

    void storedValuesLoadAndSaveBack()
    {
        {
            Preferences prefs;
            prefs.setPortCheckbox(false);
            prefs.setPortLineEdit(QStringLiteral("6881"));
            prefs.setIpv6Checkbox(false);
            prefs.setPtBackgroundWork(false);
            prefs.setAutoPlayMethod(false);
            prefs.setSavePath(QStringLiteral("/srv/films"));
            prefs.setDiskCache(64);
            prefs.setSubtitleLanguage(QStringLiteral("en"));
            prefs.setStreamOnNetwork(false);
        }
        Options options;
        QVERIFY(!check(options, "portcheckBox")->isChecked());
        QCOMPARE(lineEdit(options, "portlineEdit")->text(), QStringLiteral("6881"));
        QVERIFY(!check(options, "ipv6checkBox")->isChecked());
        QVERIFY(!check(options, "ptBackCheckBox")->isChecked());
        QVERIFY(!check(options, "autoPlayMethodCheckBox")->isChecked());
        QCOMPARE(lineEdit(options, "browselineEdit")->text(), QStringLiteral("/srv/films"));
        QCOMPARE(spin(options, "cacheSize")->value(), 64);
        QCOMPARE(lineEdit(options, "audioLanguage")->text(), QString());
        QCOMPARE(lineEdit(options, "subtitleLanguage")->text(), QStringLiteral("en"));
        QVERIFY(!check(options, "streamOnNetworkCheckBox")->isChecked());

        // Now flip everything and check each lands under its own key.
        check(options, "portcheckBox")->setChecked(true);
        lineEdit(options, "portlineEdit")->setText(QStringLiteral("51413"));
        check(options, "ptBackCheckBox")->setChecked(true);
        check(options, "autoPlayMethodCheckBox")->setChecked(true);
        lineEdit(options, "browselineEdit")->setText(QStringLiteral("/srv/other"));
        spin(options, "cacheSize")->setValue(128);
        lineEdit(options, "audioLanguage")->setText(QStringLiteral(" fre "));
        lineEdit(options, "subtitleLanguage")->clear();
        check(options, "streamOnNetworkCheckBox")->setChecked(true);
        QSignalSpy requests(&options, &Options::sessionRequest);
        QSignalSpy autoPlay(&options, &Options::autoPlayMethodChanged);
        button(options, "okButton")->click();

        const Sent sent = collect(requests);
        QCOMPARE(sent.types, (QList<int> { 15, 20 }));
        QCOMPARE(sent.arguments, (QStringList { "/srv/other", "128" }));
        QCOMPARE(autoPlay.size(), 1);
        QCOMPARE(autoPlay.at(0).at(0).toBool(), true);
        Preferences prefs;
        QCOMPARE(prefs.getPortCheckbox(), true);
        QCOMPARE(prefs.getPortLineEdit(), QStringLiteral("51413"));
        QCOMPARE(prefs.getIpv6Checkbox(), false);
        QCOMPARE(prefs.getPtBackgroundWork(), true);
        QCOMPARE(prefs.getAutoPlayMethod(), true);
        QCOMPARE(prefs.getSavePath(), QStringLiteral("/srv/other"));
        QCOMPARE(prefs.getDiskCache(), 128u);
        QCOMPARE(prefs.getAudioLanguage(), QStringLiteral("fre"));
        QCOMPARE(prefs.getSubtitleLanguage(), QString());
        QCOMPARE(prefs.getStreamOnNetwork(), true);
    }

    void emptiedFolderSendsTheDefault()
    {
        Options options;
        lineEdit(options, "browselineEdit")->clear();
        QSignalSpy requests(&options, &Options::sessionRequest);
        button(options, "okButton")->click();
        const Sent sent = collect(requests);
        QCOMPARE(sent.types, (QList<int> { 15, 20 }));
        QCOMPARE(sent.arguments.first(), misc::defaultSavePath());
        QCOMPARE(lineEdit(options, "browselineEdit")->text(), misc::defaultSavePath());
    }

    void reopeningShowsWhatWasLeft()
    {
        Options options;
        options.show();
        lineEdit(options, "browselineEdit")->setText(QStringLiteral("/typed/but/cancelled"));
        spin(options, "cacheSize")->setValue(300);
        button(options, "cancleButton")->click();
        QVERIFY(!options.isVisible());
        // Cancel stored nothing...
        QCOMPARE(Preferences().getDiskCache(), 16u);
        QVERIFY(!Preferences().contains(QStringLiteral("Preferences/Downloads/SavePath")));

        // ...and a later change of the file does not reach the open dialog.
        Preferences().setDiskCache(32);
        options.show();
        QCOMPARE(lineEdit(options, "browselineEdit")->text(), QStringLiteral("/typed/but/cancelled"));
        QCOMPARE(spin(options, "cacheSize")->value(), 300);
    }

    void portIsCheckedOnOk_data()
    {
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("lowest") << true << "1" << true;
        QTest::newRow("highest") << true << "65535" << true;
        QTest::newRow("usual") << true << "6881" << true;
        QTest::newRow("empty lets the core choose") << true << "" << true;
        QTest::newRow("unticked empty") << false << "" << true;
        QTest::newRow("unticked is not checked") << false << "99999" << true;
        QTest::newRow("zero") << true << "0" << false;
        QTest::newRow("too high") << true << "65536" << false;
        QTest::newRow("far too high") << true << "4294967297" << false;
        QTest::newRow("negative") << true << "-1" << false;
        QTest::newRow("word") << true << "abc" << false;
        QTest::newRow("trailing junk") << true << "80x" << false;
        QTest::newRow("blank inside") << true << " 80" << false;
        QTest::newRow("plus sign") << true << "+80" << false;
    }
    void portIsCheckedOnOk()
    {
        QFETCH(bool, ticked);
        QFETCH(QString, text);
        QFETCH(bool, accepted);

        Options options;
        options.show();
        check(options, "portcheckBox")->setChecked(ticked);
        lineEdit(options, "portlineEdit")->setText(text);
        QSignalSpy requests(&options, &Options::sessionRequest);
        QString shownText;
        ModalWatcher watcher([&](QWidget *modal) {
            if (auto *box = qobject_cast<QMessageBox *>(modal))
                shownText = box->text();
            modal->close();
        });
        button(options, "okButton")->click();

        if (accepted) {
            QVERIFY(!watcher.handled());
            QCOMPARE(Preferences().getPortLineEdit(), text);
            QCOMPARE(Preferences().getPortCheckbox(), ticked);
            QCOMPARE(collect(requests).types, (QList<int> { 15, 20 }));
            QVERIFY(!options.isVisible());
        } else {
            QVERIFY(watcher.handled());
            QCOMPARE(watcher.unexpected(), 0);
            QCOMPARE(watcher.className(), QStringLiteral("QMessageBox"));
            QVERIFY2(shownText.contains("1") && shownText.contains("65535"), qPrintable(shownText));
            // Refused as a whole: nothing stored, nothing sent, dialog still open.
            QVERIFY(!Preferences().contains(QStringLiteral("/config/portlineEdit")));
            QVERIFY(!Preferences().contains(QStringLiteral("Preferences/General/Locale")));
            QCOMPARE(requests.size(), 0);
            QVERIFY(options.isVisible());
        }
    }

    void browse_data()
    {
        QTest::addColumn<bool>("choose");
        QTest::addColumn<QString>("field"); // relative to the home folder
        QTest::addColumn<QString>("start");
        QTest::newRow("cancel keeps the folder") << false << "films"
                                                 << "films";
        QTest::newRow("choice replaces it") << true << "films"
                                            << "films";
        QTest::newRow("missing folder starts at its parent") << true << "films/new/deeper"
                                                             << "films";
        QTest::newRow("cancel keeps a missing folder") << false << "films/new"
                                                       << "films";
    }
    void browse()
    {
        QFETCH(bool, choose);
        QFETCH(QString, field);
        QFETCH(QString, start);
        QVERIFY(QDir(m_home->path()).mkpath("films"));
        QTemporaryDir chosen;
        QVERIFY(chosen.isValid());
        Options options;
        options.show();
        const QString before = m_home->path() + "/" + field;
        lineEdit(options, "browselineEdit")->setText(before);
        QString startedAt;
        ModalWatcher watcher([&](QWidget *modal) {
            auto *dialog = qobject_cast<QFileDialog *>(modal);
            if (!dialog) {
                modal->close();
                return;
            }
            startedAt = dialog->directory().absolutePath();
            if (choose) {
                dialog->setDirectory(chosen.path());
                static_cast<QDialog *>(dialog)->accept();
            } else {
                dialog->reject();
            }
        });
        options.findChild<QPushButton *>("browseButton")->click();
        QVERIFY(watcher.handled());
        QCOMPARE(watcher.unexpected(), 0);
        QCOMPARE(watcher.className(), QStringLiteral("QFileDialog"));
        QCOMPARE(startedAt, m_home->path() + "/" + start);
        QCOMPARE(lineEdit(options, "browselineEdit")->text(), choose ? chosen.path() : before);
    }

    void associationButtonStartsTheToolWithoutArguments()
    {
        RecordingTool tool;
        QVERIFY(tool.isValid());
        ElevatedLauncher::setProgramFolder(tool.folder());
        Options options;
        button(options, "regeditpushButton")->click();
        QVERIFY(tool.waitForCalls(1));
        QCOMPARE(tool.calls(), QStringList { "0:" });
        QVERIFY(!button(options, "regeditpushButton")->icon().isNull());
    }

    void launchPassesOnlyAuto_data()
    {
        QTest::addColumn<QString>("parameters");
        QTest::addColumn<QString>("recorded");
        QTest::newRow("auto") << "auto"
                              << "1:auto";
        QTest::newRow("none") << ""
                              << "0:";
        QTest::newRow("anything else dropped") << "--unbind all"
                                               << "0:";
        QTest::newRow("case matters") << "AUTO"
                                      << "0:";
    }
    void launchPassesOnlyAuto()
    {
        QFETCH(QString, parameters);
        QFETCH(QString, recorded);
        RecordingTool tool;
        QVERIFY(tool.isValid());
        ElevatedLauncher::setProgramFolder(tool.folder());
        QVERIFY(ElevatedLauncher::launchElevated(ElevatedLauncher::associationTool(), parameters));
        QVERIFY(tool.waitForCalls(1));
        QCOMPARE(tool.calls(), QStringList { recorded });
    }

    void missingToolFailsWithATrace()
    {
        QTemporaryDir empty;
        QVERIFY(empty.isValid());
        ElevatedLauncher::setProgramFolder(empty.path());
        QTest::ignoreMessage(QtDebugMsg, "****quit***********");
        QVERIFY(
            !ElevatedLauncher::launchElevated(ElevatedLauncher::associationTool(), QStringLiteral("auto")));
    }

    void cacheSizeHasAReachablePage()
    {
        Options options;
        options.show();
        auto *list = options.findChild<QListWidget *>("listWidget");
        auto *pages = options.findChild<QStackedWidget *>("stackedWidget");
        QVERIFY(list && pages);
        QCOMPARE(list->item(0)->text(), QStringLiteral("General setup"));
        QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("setuppage"));

        list->setCurrentRow(1);
        QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("advancePage"));
        QSpinBox *cache = spin(options, "cacheSize");
        QVERIFY(pages->currentWidget()->isAncestorOf(cache));
        QCOMPARE(cache->minimum(), 0);
        QCOMPARE(cache->maximum(), 9999);
        cache->setValue(256);
        list->setCurrentRow(0);
        QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("setuppage"));

        QSignalSpy requests(&options, &Options::sessionRequest);
        button(options, "okButton")->click();
        QCOMPARE(collect(requests).arguments.last(), QStringLiteral("256"));
        QCOMPARE(Preferences().getDiskCache(), 256u);
    }

    void limits_data()
    {
        QTest::addColumn<QList<uint>>("stored"); // download, upload, connections
        QTest::addColumn<QList<int>>("typed");
        QTest::addColumn<QStringList>("sent"); // empty: no request
        QTest::newRow("unchanged sends nothing")
            << QList<uint> { 0, 0, 0 } << QList<int> { 0, 0, 0 } << QStringList {};
        QTest::newRow("stored limits unchanged")
            << QList<uint> { 300, 40, 80 } << QList<int> { 300, 40, 80 } << QStringList {};
        QTest::newRow("set") << QList<uint> { 0, 0, 0 } << QList<int> { 300, 40, 80 }
                             << QStringList { "300", "40", "80" };
        QTest::newRow("one changed sends all three")
            << QList<uint> { 300, 40, 80 } << QList<int> { 300, 0, 80 } << QStringList { "300", "0", "80" };
        QTest::newRow("removed") << QList<uint> { 300, 40, 80 } << QList<int> { 0, 0, 0 }
                                 << QStringList { "0", "0", "0" };
    }
    void limits()
    {
        QFETCH(QList<uint>, stored);
        QFETCH(QList<int>, typed);
        QFETCH(QStringList, sent);
        {
            Preferences prefs;
            prefs.setDownloadLimit(stored.at(0));
            prefs.setUploadLimit(stored.at(1));
            prefs.setMaxConnections(stored.at(2));
        }
        Options options;
        options.show();
        auto *pages = options.findChild<QStackedWidget *>("stackedWidget");
        options.findChild<QListWidget *>("listWidget")->setCurrentRow(1);
        const QList<QSpinBox *> boxes { spin(options, "downloadLimit"), spin(options, "uploadLimit"),
            spin(options, "maxConnections") };
        for (int i = 0; i < boxes.size(); ++i) {
            QVERIFY(pages->currentWidget()->isAncestorOf(boxes.at(i)));
            QCOMPARE(boxes.at(i)->value(), int(stored.at(i)));
            boxes.at(i)->setValue(typed.at(i));
        }
        QSignalSpy requests(&options, &Options::sessionRequest);
        button(options, "okButton")->click();

        // After what every OK sends, and only when something changed.
        QCOMPARE(collect(requests).types,
            sent.isEmpty() ? (QList<int> { 15, 20 }) : (QList<int> { 15, 20, CoreProtocol::RateLimits }));
        if (!sent.isEmpty())
            QCOMPARE(requests.last().at(1).toStringList(), sent);
        Preferences prefs;
        QCOMPARE(prefs.getDownloadLimit(), uint(typed.at(0)));
        QCOMPARE(prefs.getUploadLimit(), uint(typed.at(1)));
        QCOMPARE(prefs.getMaxConnections(), uint(typed.at(2)));
    }

    void draggingMovesTheDialog()
    {
        Options options;
        options.move(200, 150);
        options.show();
        const QPoint start = options.pos();
        const QPoint grab = start + QPoint(300, 10);
        send(options, QEvent::MouseButtonPress, grab, Qt::LeftButton);
        send(options, QEvent::MouseMove, grab + QPoint(40, 25), Qt::LeftButton);
        QCOMPARE(options.pos(), start + QPoint(40, 25));
        send(options, QEvent::MouseMove, grab + QPoint(-30, 5), Qt::LeftButton);
        QCOMPARE(options.pos(), start + QPoint(-30, 5));
        send(options, QEvent::MouseButtonRelease, grab + QPoint(-30, 5), Qt::NoButton);

        // Once released, the pointer goes its way without the dialog (tracking
        // on, so that moves without a button reach it at all).
        options.setMouseTracking(true);
        const QPoint after = options.pos();
        send(options, QEvent::MouseMove, grab + QPoint(100, 100), Qt::NoButton);
        QCOMPARE(options.pos(), after);
    }

private:
    template <typename T> static T *child(const Options &options, const char *name)
    {
        T *widget = options.findChild<T *>(QString::fromLatin1(name));
        if (!widget)
            qFatal("no widget %s", name);
        return widget;
    }
    static QLineEdit *lineEdit(const Options &o, const char *n) { return child<QLineEdit>(o, n); }
    static QCheckBox *check(const Options &o, const char *n) { return child<QCheckBox>(o, n); }
    static QSpinBox *spin(const Options &o, const char *n) { return child<QSpinBox>(o, n); }
    static QPushButton *button(const Options &o, const char *n) { return child<QPushButton>(o, n); }

    static void send(QWidget &target, QEvent::Type type, const QPoint &global, Qt::MouseButtons buttons)
    {
        const QPointF local = target.mapFromGlobal(QPointF(global));
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, local, QPointF(global), button, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(&target, &event);
    }

    static Sent collect(const QSignalSpy &spy)
    {
        Sent sent;
        for (const QList<QVariant> &call : spy) {
            sent.types << call.at(0).toInt();
            sent.arguments << call.at(1).toStringList().value(0);
        }
        return sent;
    }

    std::unique_ptr<TemporaryHome> m_home;
};

QTEST_MAIN(TestOptions)
#include "tst_options.moc"
