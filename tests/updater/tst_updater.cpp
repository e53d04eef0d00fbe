#include "platform/processlist.h"
#include "settings/misc.h"
#include "settings/preferences.h"
#include "tests/support/httpserver.h"
#include "tests/support/temporaryhome.h"
#include "updater/http.h"
#include "updater/httpwindow.h"

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include <memory>
#include <optional>

#include <openssl/evp.h>

namespace {
const char *const latestText
    = "Your current version has set up a file is the latest, do not need to upgrade!";
const char *const runningText
    = "Morvane Program is running, please click confirm continue to update after exit";
const char *const finishedText = "Upgrade finished ！";

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

Key newKey()
{
    return Key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"), &EVP_PKEY_free);
}

QByteArray publicHalf(EVP_PKEY *key)
{
    QByteArray raw(32, 0);
    size_t size = size_t(raw.size());
    EVP_PKEY_get_raw_public_key(key, reinterpret_cast<unsigned char *>(raw.data()), &size);
    return raw;
}

QByteArray sign(EVP_PKEY *key, const QByteArray &message)
{
    QByteArray signature(64, 0);
    size_t size = size_t(signature.size());
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key) != 1
        || EVP_DigestSign(context.get(), reinterpret_cast<unsigned char *>(signature.data()), &size,
               reinterpret_cast<const unsigned char *>(message.constData()), size_t(message.size()))
            != 1)
        return {};
    return signature;
}

struct Shown
{
    QMessageBox::Icon icon;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
};
}

// Drives the updater against a loopback HTTP server, with a temporary home,
// a temporary program folder (with a blank in its name) and scripted answers
// to every message box.
class TestUpdater : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void sameFolderAsThePlayer();
    void startWritesTodayAndReadsQuiet_data();
    void startWritesTodayAndReadsQuiet();
    void noServerConfigured_data();
    void noServerConfigured();
    void packagedInstallation_data();
    void packagedInstallation();
    void versionComparison_data();
    void versionComparison();
    void installerNameIsFixed_data();
    void installerNameIsFixed();
    void redirect_data();
    void redirect();
    void downloadFailure_data();
    void downloadFailure();
    void fileCannotBeCreated();
    void signature_data();
    void signature();
    void sizeLimit_data();
    void sizeLimit();
    void httpsServer();
    void runningPrograms_data();
    void runningPrograms();
    void cancelHidesProgressOnly();
    void percent_data();
    void percent();
    void translations();
    void defaultBoxIsModal();

private:
    std::unique_ptr<HttpWindow> makeWindow(int argc = 1);
    void writeSettings(const QVariant &localVersion);
    // The fourth line signs installerBody() with the test's key unless given.
    void serveVersion(const QByteArray &remote, const QString &installerPath,
        const std::optional<QByteArray> &signatureLine = {});
    void serveInstaller(const QString &path);
    QByteArray installerScript() const;
    // Padded so that the download takes more than one read.
    QByteArray installerBody() const { return installerScript() + "#" + QByteArray(256 * 1024, 'x') + "\n"; }
    QString dataFolder() const { return QDir(home->dataHome()).filePath("Morvane/BT_backup/data"); }
    QString recordFile() const { return programDir->filePath("installer-args"); }
    // Waits for the installer to have recorded its arguments.
    QStringList installerArguments();
    QStringList texts() const;
    qint64 startProgram(const QString &name);

    std::unique_ptr<TemporaryHome> home;
    std::unique_ptr<QTemporaryDir> programDir;
    std::unique_ptr<HttpServer> server;
    QList<Shown> shown;
    QList<QMessageBox::StandardButton> answers;
    std::function<void(const Shown &)> onAsk;
    QList<QProcess *> programs;
    Key key { nullptr, &EVP_PKEY_free };
};

void TestUpdater::initTestCase()
{
    key = newKey();
    QVERIFY(key);
}

void TestUpdater::init()
{
    home = std::make_unique<TemporaryHome>();
    QVERIFY(home->isValid());
    programDir = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/morvane program XXXXXX");
    QVERIFY(programDir->isValid());
    server = std::make_unique<HttpServer>();
    QVERIFY(server->listen());
    shown.clear();
    answers.clear();
    onAsk = nullptr;
}

void TestUpdater::cleanup()
{
    for (QProcess *program : std::as_const(programs)) {
        program->kill();
        program->waitForFinished(5000);
        delete program;
    }
    programs.clear();
    server.reset();
    programDir.reset();
    home.reset();
}

std::unique_ptr<HttpWindow> TestUpdater::makeWindow(int argc)
{
    auto window = std::make_unique<HttpWindow>(argc);
    window->setAsker([this](QMessageBox::Icon icon, const QString &title, const QString &text,
                         QMessageBox::StandardButtons buttons) {
        const Shown box { icon, title, text, buttons };
        shown.append(box);
        if (onAsk)
            onAsk(box);
        if (!answers.isEmpty())
            return answers.takeFirst();
        // Nothing scripted: refuse, so that a repeating question cannot loop.
        return buttons.testFlag(QMessageBox::No) ? QMessageBox::No : QMessageBox::Ok;
    });
    // The real process list, narrowed to the programs this test started, so
    // that other players or cores on the machine cannot disturb it.
    window->setProcessFinder([this](const QString &fileName) {
        QList<qint64> ours;
        for (const qint64 pid : ProcessList::findByName(fileName)) {
            for (QProcess *program : std::as_const(programs)) {
                if (program->processId() == pid)
                    ours.append(pid);
            }
        }
        return ours;
    });
    window->setProgramFolder(programDir->path());
    window->setFinishDelay(0);
    window->setPublicKey(publicHalf(key.get()));
    return window;
}

void TestUpdater::writeSettings(const QVariant &localVersion)
{
    QSettings settings(HttpWindow::settingsFilePath(), QSettings::IniFormat);
    settings.setValue("/config/webServer", server->hostAndPort());
    if (localVersion.isValid())
        settings.setValue("/config/verison", localVersion);
}

void TestUpdater::serveVersion(
    const QByteArray &remote, const QString &installerPath, const std::optional<QByteArray> &signatureLine)
{
    const QByteArray signature = signatureLine.value_or(sign(key.get(), installerBody()).toBase64());
    server->serve("/update/version",
        remote + "\r\n" + server->url(installerPath).toEncoded() + "\r\n\r\n" + signature + "\r\n",
        "text/plain");
}

QByteArray TestUpdater::installerScript() const
{
    return "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + recordFile().toUtf8() + ".tmp'\nmv '"
        + recordFile().toUtf8() + ".tmp' '" + recordFile().toUtf8() + "'\n";
}

void TestUpdater::serveInstaller(const QString &path)
{
    server->serve(path, installerBody());
}

QStringList TestUpdater::installerArguments()
{
    [&] { QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(recordFile()), 10000); }();
    QFile record(recordFile());
    if (!record.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(record.readAll()).split('\n', Qt::SkipEmptyParts);
}

QStringList TestUpdater::texts() const
{
    QStringList result;
    for (const Shown &box : shown)
        result << box.text;
    return result;
}

qint64 TestUpdater::startProgram(const QString &name)
{
    const QString path = programDir->filePath(name);
    if (!QFile::exists(path) && !QFile::copy("/bin/sleep", path))
        return 0;
    auto *program = new QProcess;
    programs.append(program);
    program->start(path, { "60" });
    if (!program->waitForStarted())
        return 0;
    // Until exec has happened /proc still names the test itself.
    const qint64 pid = program->processId();
    [&] { QTRY_VERIFY_WITH_TIMEOUT(ProcessList::findByName(name).contains(pid), 5000); }();
    return pid;
}

void TestUpdater::sameFolderAsThePlayer()
{
    // Computed while this program carries its own name, as the updater does.
    HttpWindow window(1);
    const QString updaterBackup = window.BTBackupLocation();
    const QString updaterSettings = HttpWindow::settingsFilePath();
    QVERIFY(window.QDesktopServicesDataLocation().endsWith(QDir::separator()));

    const QString ownName = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName("Morvane");
    const QString playerBackup = misc::backupLocation();
    const QString playerSettings = Preferences::settingsFilePath();
    QCoreApplication::setApplicationName(ownName);

    QCOMPARE(updaterBackup, playerBackup);
    QCOMPARE(updaterSettings, playerSettings);
    QVERIFY(QFileInfo(updaterBackup).isDir());
}

void TestUpdater::startWritesTodayAndReadsQuiet_data()
{
    QTest::addColumn<int>("argc");
    QTest::addColumn<bool>("quiet");
    QTest::newRow("no argument") << 1 << false;
    QTest::newRow("one argument") << 2 << true;
    QTest::newRow("two arguments") << 3 << false;
}

void TestUpdater::startWritesTodayAndReadsQuiet()
{
    QFETCH(int, argc);
    QFETCH(bool, quiet);
    {
        QSettings settings(HttpWindow::settingsFilePath(), QSettings::IniFormat);
        settings.setValue("/config/time", 20130428);
    }
    auto window = makeWindow(argc);
    QCOMPARE(window->isQuiet(), quiet);
    // On disk at once: the player may read it while the updater still runs.
    const QSettings settings(HttpWindow::settingsFilePath(), QSettings::IniFormat);
    QCOMPARE(settings.value("/config/time").toInt(), QDate::currentDate().toString("yyyyMMdd").toInt());
}

void TestUpdater::noServerConfigured_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<int>("argc");
    QTest::addColumn<bool>("told");
    QTest::newRow("absent") << QString() << 1 << true;
    QTest::newRow("blank") << QString("  ") << 1 << true;
    QTest::newRow("absent, quiet") << QString() << 2 << false;
}

void TestUpdater::noServerConfigured()
{
    QFETCH(QString, setting);
    QFETCH(int, argc);
    QFETCH(bool, told);
    if (!setting.isNull()) {
        QSettings settings(HttpWindow::settingsFilePath(), QSettings::IniFormat);
        settings.setValue("/config/webServer", setting);
    }
    auto window = makeWindow(argc);
    QSignalSpy quit(window.get(), &HttpWindow::quitRequested);
    QCOMPARE(window->versionAddress(), QString());
    window->start();
    QTRY_COMPARE_WITH_TIMEOUT(quit.count(), 1, 5000);
    QCOMPARE(quit.at(0).at(0).toInt(), 0);
    QCOMPARE(texts(), told ? QStringList { "No update server is configured." } : QStringList());
    QVERIFY(server->requestedPaths().isEmpty());
    const QSettings settings(HttpWindow::settingsFilePath(), QSettings::IniFormat);
    QCOMPARE(settings.value("/config/time").toInt(), QDate::currentDate().toString("yyyyMMdd").toInt());
}

void TestUpdater::packagedInstallation_data()
{
    QTest::addColumn<int>("argc");
    QTest::newRow("asked") << 1;
    QTest::newRow("quiet") << 2;
}

void TestUpdater::packagedInstallation()
{
    QFETCH(int, argc);
    writeSettings(1.05f);
    serveVersion("1.06", "/files/setup.sh");
    serveInstaller("/files/setup.sh");
    auto window = makeWindow(argc);
    QStringList asked;
    window->setPackageCheck([&asked](const QString &path) {
        asked << path;
        return true;
    });
    QSignalSpy quit(window.get(), &HttpWindow::quitRequested);
    window->start();
    QTRY_COMPARE_WITH_TIMEOUT(quit.count(), 1, 5000);
    QCOMPARE(quit.at(0).at(0).toInt(), 0);
    QCOMPARE(asked, QStringList { programDir->filePath("Morvane") });
    // Neither the version file nor an installer: the package manager updates.
    QVERIFY(server->requestedPaths().isEmpty());
    QCOMPARE(texts().size(), argc == 2 ? 0 : 1);
    if (argc == 1)
        QVERIFY(texts().constFirst().contains("package manager"));
    const QSettings settings(HttpWindow::settingsFilePath(), QSettings::IniFormat);
    QCOMPARE(settings.value("/config/time").toInt(), QDate::currentDate().toString("yyyyMMdd").toInt());
}

void TestUpdater::versionComparison_data()
{
    QTest::addColumn<QVariant>("local");
    QTest::addColumn<QByteArray>("remote");
    QTest::addColumn<int>("argc");
    QTest::addColumn<bool>("update");
    QTest::newRow("equal") << QVariant(1.05f) << QByteArray("1.05") << 1 << false;
    QTest::newRow("equal, quiet") << QVariant(1.05f) << QByteArray("1.05") << 2 << false;
    QTest::newRow("older on the server") << QVariant(1.05f) << QByteArray("1.04") << 1 << false;
    QTest::newRow("newer by 0.01") << QVariant(1.05f) << QByteArray("1.06") << 1 << true;
    QTest::newRow("newer by 0.01, quiet") << QVariant(1.05f) << QByteArray("1.06") << 2 << true;
    QTest::newRow("no local version") << QVariant() << QByteArray("0.5") << 1 << true;
}

void TestUpdater::versionComparison()
{
    QFETCH(QVariant, local);
    QFETCH(QByteArray, remote);
    QFETCH(int, argc);
    QFETCH(bool, update);
    writeSettings(local);
    serveVersion(remote, "/files/setup.sh");
    serveInstaller("/files/setup.sh");

    auto window = makeWindow(argc);
    QCOMPARE(window->versionAddress(), "http://" + server->hostAndPort() + "/update/version");
    QSignalSpy quit(window.get(), &HttpWindow::quitRequested);
    window->start();
    QVERIFY(quit.wait(10000));
    QCOMPARE(quit.at(0).at(0).toInt(), 0);

    if (!update) {
        QCOMPARE(server->requestedPaths(), QStringList { "/update/version" });
        QCOMPARE(texts(), argc == 2 ? QStringList() : QStringList { latestText });
        QVERIFY(!window->findChild<Http *>());
        return;
    }
    QCOMPARE(server->requestedPaths(), (QStringList { "/update/version", "/files/setup.sh" }));
    QCOMPARE(installerArguments(), (QStringList { "-d", programDir->path() }));
    QCOMPARE(texts(), QStringList { finishedText });
    QCOMPARE(shown.at(0).title, "Prompt");
    const Http *progress = window->findChild<Http *>();
    QVERIFY(progress);
    QVERIFY(progress->isVisible());
    QCOMPARE(progress->windowTitle(), "Morvane Update");
    QCOMPARE(progress->progressBar()->value(), 100);
    const QFileInfo installer(window->installerPath());
    QVERIFY(installer.isExecutable());
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup
        | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    QCOMPARE(QFileInfo(installer.path()).permissions() & others, QFileDevice::Permissions());
    QCOMPARE(installer.permissions() & others, QFileDevice::Permissions());
}

void TestUpdater::installerNameIsFixed_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("ends in slash") << "/files/";
    QTest::newRow("encoded climb") << "/files/..%2F..%2Fevil.sh";
    QTest::newRow("encoded backslash climb") << "/files/..%5C..%5Cevil.sh";
    QTest::newRow("the settings file's name") << "/files/Morvane.ini";
    QTest::newRow("the version file's name") << "/update/version";
}

void TestUpdater::installerNameIsFixed()
{
    QFETCH(QString, path);
    writeSettings(1.05f);
    serveVersion("1.06", path);
    if (path != "/update/version")
        serveInstaller(path);

    auto window = makeWindow();
    QFile settingsFile(HttpWindow::settingsFilePath());
    QVERIFY(settingsFile.open(QIODevice::ReadOnly));
    const QByteArray settingsBefore = settingsFile.readAll();
    settingsFile.close();
    QSignalSpy quit(window.get(), &HttpWindow::quitRequested);
    window->start();
    QVERIFY(quit.wait(10000));
    QCOMPARE(server->requestedPaths().value(1), path);
    QVERIFY(settingsFile.open(QIODevice::ReadOnly));
    QCOMPARE(settingsFile.readAll(), settingsBefore);
    QStringList data = QDir(dataFolder()).entryList(QDir::Files);
    data.sort();
    QCOMPARE(data, (QStringList { "Morvane.ini", "version" }));
    const QStringList backup = QDir(dataFolder() + "/..").entryList(QDir::Files);
    QVERIFY2(backup.isEmpty(), qPrintable(backup.join(',')));
    QCOMPARE(QFileInfo(window->installerPath()).fileName(), "MorvaneSetup");
    if (path == "/update/version") {
        // The version file is no installer: its signature does not match.
        QCOMPARE(quit.at(0).at(0).toInt(), 1);
        QVERIFY(!QFile::exists(window->installerPath()));
        QVERIFY(!QFile::exists(recordFile()));
        return;
    }
    QCOMPARE(installerArguments(), (QStringList { "-d", programDir->path() }));
}

void TestUpdater::redirect_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("location");
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<bool>("installed");
    // Relative: must be resolved against the address that answered.
    QTest::newRow("version, yes") << "/update/version"
                                  << "moved/version" << QMessageBox::Yes << true;
    // Declined: the empty redirect body is taken as the version file.
    QTest::newRow("version, no") << "/update/version"
                                 << "moved/version" << QMessageBox::No << false;
    QTest::newRow("installer, yes") << "/files/setup.sh"
                                    << "/elsewhere/real.sh" << QMessageBox::Yes << true;
}

void TestUpdater::redirect()
{
    QFETCH(QString, from);
    QFETCH(QString, location);
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(bool, installed);
    writeSettings(1.05f);
    const QUrl target = server->url(from).resolved(QUrl(location));
    if (from == "/update/version") {
        serveVersion("1.06", "/files/setup.sh");
        const QByteArray body = "1.06\n" + server->url("/files/setup.sh").toEncoded() + "\n\n"
            + sign(key.get(), installerBody()).toBase64() + "\n";
        server->serve(target.path(), body, "text/plain");
        serveInstaller("/files/setup.sh");
    } else {
        serveVersion("1.06", from);
        serveInstaller(target.path());
    }
    server->redirect(from, location);
    answers << answer;

    auto window = makeWindow();
    QSignalSpy quit(window.get(), &HttpWindow::quitRequested);
    window->start();
    QVERIFY(quit.wait(10000));
    QCOMPARE(quit.at(0).at(0).toInt(), 0);
    QCOMPARE(shown.value(0).title, "HTTP");
    QCOMPARE(shown.value(0).text, "Redirect to the " + target.toString() + " ?");
    QCOMPARE(shown.value(0).buttons, QMessageBox::Yes | QMessageBox::No);
    if (installed) {
        QCOMPARE(installerArguments(), (QStringList { "-d", programDir->path() }));
        QCOMPARE(texts().mid(1), QStringList { finishedText });
        QVERIFY(server->requestedPaths().contains(target.path()));
        QVERIFY(QFile::exists(window->installerPath()));
    } else {
        QCOMPARE(texts().mid(1), QStringList { latestText });
        QVERIFY(!server->requestedPaths().contains(target.path()));
    }
}

void TestUpdater::downloadFailure_data()
{
    QTest::addColumn<bool>("versionMissing");
    QTest::newRow("version file 404") << true;
    QTest::newRow("installer 404") << false;
}

void TestUpdater::downloadFailure()
{
    QFETCH(bool, versionMissing);
    writeSettings(1.05f);
    if (!versionMissing)
        serveVersion("1.06", "/files/setup.sh");

    auto window = makeWindow(2); // the quiet start reports failures too
    QSignalSpy quit(window.get(), &HttpWindow::quitRequested);
    window->start();
    QVERIFY(quit.wait(10000));
    QCOMPARE(quit.at(0).at(0).toInt(), 1);
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.at(0).title, "HTTP");
    QVERIFY2(shown.at(0).text.startsWith("Download failed: ") && shown.at(0).text.endsWith("."),
        qPrintable(shown.at(0).text));
    QVERIFY2(shown.at(0).text.size() > QString("Download failed: .").size(), "the error text is missing");
    QVERIFY(!QFile::exists(dataFolder() + "/version") || !versionMissing);
    QVERIFY(window->installerPath().isEmpty() || !QFile::exists(window->installerPath()));
    QVERIFY(!QFile::exists(recordFile()));
}

void TestUpdater::fileCannotBeCreated()
{
    writeSettings(1.05f);
    serveVersion("1.06", "/files/setup.sh");
    QVERIFY(QDir().mkpath(dataFolder() + "/version"));

    auto window = makeWindow();
    QSignalSpy quit(window.get(), &HttpWindow::quitRequested);
    window->start();
    QTRY_COMPARE_WITH_TIMEOUT(quit.count(), 1, 5000);
    QCOMPARE(quit.at(0).at(0).toInt(), 1);
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.at(0).title, "HTTP");
    QVERIFY2(shown.at(0).text.startsWith("Cannot save the file version: "), qPrintable(shown.at(0).text));
    QVERIFY(server->requestedPaths().isEmpty());
}

void TestUpdater::signature_data()
{
    QTest::addColumn<QByteArray>("line"); // "good": the test key's signature of the installer
    QTest::addColumn<bool>("keyBuiltIn");
    QTest::addColumn<QString>("told"); // empty: the installer runs
    const QString notSigned = "The upgrade file is not signed. It has been deleted and was not started.";
    const QString notValid
        = "The upgrade file's signature is not valid. It has been deleted and was not started.";
    QTest::newRow("good") << QByteArray("good") << true << QString();
    QTest::newRow("missing") << QByteArray() << true << notSigned;
    QTest::newRow("not base64") << QByteArray("@@not base64@@") << true << notSigned;
    QTest::newRow("one bit off") << QByteArray("flipped") << true << notValid;
    QTest::newRow("other key") << QByteArray("other") << true << notValid;
    QTest::newRow("truncated") << QByteArray("short") << true << notValid;
    QTest::newRow("no key built in") << QByteArray("good") << false << notValid;
}

void TestUpdater::signature()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, keyBuiltIn);
    QFETCH(QString, told);
    QByteArray signature = sign(key.get(), installerBody());
    if (line == "flipped")
        signature[10] = char(signature.at(10) ^ 1);
    else if (line == "other")
        signature = sign(newKey().get(), installerBody());
    else if (line == "short")
        signature.chop(1);
    if (line == "good" || line == "flipped" || line == "other" || line == "short")
        line = signature.toBase64();
    writeSettings(1.05f);
    serveVersion("1.06", "/files/setup.sh", line);
    serveInstaller("/files/setup.sh");

    auto window = makeWindow();
    if (!keyBuiltIn)
        window->setPublicKey({});
    QSignalSpy quit(window.get(), &HttpWindow::quitRequested);
    window->start();
    QVERIFY(quit.wait(10000));
    if (told.isEmpty()) {
        QCOMPARE(quit.at(0).at(0).toInt(), 0);
        QCOMPARE(installerArguments(), (QStringList { "-d", programDir->path() }));
        QCOMPARE(texts(), QStringList { finishedText });
        return;
    }
    QCOMPARE(quit.at(0).at(0).toInt(), 1);
    QCOMPARE(texts(), QStringList { told });
    QCOMPARE(shown.at(0).icon, QMessageBox::Warning);
    QVERIFY(!QFile::exists(window->installerPath()));
    QVERIFY(!QFile::exists(recordFile()));
}

void TestUpdater::sizeLimit_data()
{
    QTest::addColumn<bool>("versionFile");
    QTest::addColumn<qint64>("limitOverSize"); // the limit less the installer's size
    QTest::addColumn<bool>("refused");
    QTest::newRow("installer at the limit") << false << qint64(0) << false;
    QTest::newRow("installer over the limit") << false << qint64(-1) << true;
    QTest::newRow("version file over 64 KiB") << true << qint64(0) << true;
}

void TestUpdater::sizeLimit()
{
    QFETCH(bool, versionFile);
    QFETCH(qint64, limitOverSize);
    QFETCH(bool, refused);
    const qint64 limit = installerBody().size() + limitOverSize;
    writeSettings(1.05f);
    serveVersion("1.06", "/files/setup.sh");
    if (versionFile)
        server->serve("/update/version", "1.06\n" + QByteArray(64 * 1024, ' ') + "\n", "text/plain");
    serveInstaller("/files/setup.sh");

    auto window = makeWindow();
    window->setInstallerSizeLimit(limit);
    QSignalSpy quit(window.get(), &HttpWindow::quitRequested);
    window->start();
    QVERIFY(quit.wait(10000));
    if (!refused) {
        QCOMPARE(installerArguments(), (QStringList { "-d", programDir->path() }));
        return;
    }
    QCOMPARE(quit.at(0).at(0).toInt(), 1);
    QCOMPARE(texts(),
        QStringList {
            "The download is larger than an upgrade can be. It has been deleted and was not started." });
    QVERIFY(!versionFile || !QFile::exists(dataFolder() + "/version"));
    QVERIFY(window->installerPath().isEmpty() || !QFile::exists(window->installerPath()));
    QVERIFY(!QFile::exists(recordFile()));
}

void TestUpdater::httpsServer()
{
    // A certificate for 127.0.0.1 that this process alone trusts.
    const QString cert = programDir->filePath("cert.pem");
    const QString privateKey = programDir->filePath("key.pem");
    QProcess openssl;
    openssl.start("openssl",
        { "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1", "-addext",
            "subjectAltName=IP:127.0.0.1", "-keyout", privateKey, "-out", cert });
    QVERIFY(openssl.waitForFinished(30000));
    QCOMPARE(openssl.exitCode(), 0);
    QFile certFile(cert), keyFile(privateKey);
    QVERIFY(certFile.open(QIODevice::ReadOnly) && keyFile.open(QIODevice::ReadOnly));
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(QSslCertificate(certFile.readAll()));
    tls.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Rsa));
    QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
    const QSslConfiguration saved = trusting;
    trusting.addCaCertificate(tls.localCertificate());
    QSslConfiguration::setDefaultConfiguration(trusting);
    server = std::make_unique<HttpServer>();
    QVERIFY(server->listen(tls));

    {
        QSettings settings(HttpWindow::settingsFilePath(), QSettings::IniFormat);
        settings.setValue("/config/webServer", "https://" + server->hostAndPort());
        settings.setValue("/config/verison", 1.05f);
    }
    serveVersion("1.06", "/files/setup.sh");
    serveInstaller("/files/setup.sh");
    auto window = makeWindow();
    QSignalSpy quit(window.get(), &HttpWindow::quitRequested);
    window->start();
    const bool ended = quit.wait(10000);
    QSslConfiguration::setDefaultConfiguration(saved);
    QVERIFY(ended);
    QCOMPARE(server->requestedPaths(), (QStringList { "/update/version", "/files/setup.sh" }));
    QCOMPARE(installerArguments(), (QStringList { "-d", programDir->path() }));
}

void TestUpdater::runningPrograms_data()
{
    QTest::addColumn<QStringList>("running");
    QTest::addColumn<QList<QMessageBox::StandardButton>>("replies");
    QTest::addColumn<int>("playerQuitsAtQuestion"); // 0: never
    QTest::addColumn<int>("questions");
    QTest::addColumn<bool>("installed");

    using B = QMessageBox::StandardButton;
    QTest::newRow("core, yes") << QStringList { "MorvaneCore" } << QList<B> { QMessageBox::Yes } << 0 << 1
                               << true;
    QTest::newRow("core, no") << QStringList { "MorvaneCore" } << QList<B> { QMessageBox::No } << 0 << 1
                              << false;
    QTest::newRow("player keeps running")
        << QStringList { "Morvane", "MorvaneCore" }
        << QList<B> { QMessageBox::Yes, QMessageBox::Yes, QMessageBox::No } << 0 << 3 << false;
    QTest::newRow("player quits meanwhile")
        << QStringList { "Morvane", "MorvaneCore" } << QList<B> { QMessageBox::Yes, QMessageBox::Yes } << 2
        << 2 << true;
    QTest::newRow("nothing running") << QStringList {} << QList<B> {} << 0 << 0 << true;
}

void TestUpdater::runningPrograms()
{
    QFETCH(QStringList, running);
    QFETCH(QList<QMessageBox::StandardButton>, replies);
    QFETCH(int, playerQuitsAtQuestion);
    QFETCH(int, questions);
    QFETCH(bool, installed);
    writeSettings(1.05f);
    serveVersion("1.06", "/files/setup.sh");
    serveInstaller("/files/setup.sh");

    QHash<QString, QProcess *> started;
    for (const QString &name : running) {
        QVERIFY(startProgram(name) > 0);
        started.insert(name, programs.last());
    }
    answers = replies;
    int asked = 0;
    onAsk = [&](const Shown &box) {
        if (box.text != runningText)
            return;
        if (++asked == playerQuitsAtQuestion) {
            started.value("Morvane")->kill();
            started.value("Morvane")->waitForFinished(5000);
        }
    };

    auto window = makeWindow();
    QSignalSpy quit(window.get(), &HttpWindow::quitRequested);
    window->start();
    QVERIFY(quit.wait(10000));
    QCOMPARE(quit.at(0).at(0).toInt(), 0);
    QCOMPARE(texts().count(runningText), questions);
    for (const Shown &box : std::as_const(shown)) {
        if (box.text == runningText) {
            QCOMPARE(box.title, "Prompt");
            QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
        }
    }

    // Yes stops the core, No leaves it alone; the player is never touched.
    if (QProcess *core = started.value("MorvaneCore")) {
        const bool yesGiven = !replies.isEmpty() && replies.first() == QMessageBox::Yes;
        if (yesGiven) {
            QTRY_COMPARE_WITH_TIMEOUT(core->state(), QProcess::NotRunning, 5000);
            QCOMPARE(core->exitStatus(), QProcess::CrashExit);
        } else {
            QCOMPARE(core->state(), QProcess::Running);
        }
    }
    if (QProcess *player = started.value("Morvane"); player && !playerQuitsAtQuestion)
        QCOMPARE(player->state(), QProcess::Running);

    if (installed) {
        QCOMPARE(installerArguments(), (QStringList { "-d", programDir->path() }));
        QCOMPARE(texts().last(), finishedText);
    } else {
        QVERIFY(!texts().contains(finishedText));
        QVERIFY(!QFile::exists(recordFile()));
    }
}

void TestUpdater::cancelHidesProgressOnly()
{
    writeSettings(1.05f);
    serveVersion("1.06", "/files/setup.sh");
    serveInstaller("/files/setup.sh");

    auto window = makeWindow();
    bool wasVisible = false;
    // The server sees the request only once the progress window is up, and
    // answers it only after this has run.
    connect(server.get(), &HttpServer::requested, this, [&](const QString &path) {
        if (path != "/files/setup.sh")
            return;
        Http *progress = window->findChild<Http *>();
        QVERIFY(progress);
        wasVisible = progress->isVisible();
        QPushButton *cancel = progress->findChild<QPushButton *>("pushButton_3");
        QVERIFY(cancel);
        QCOMPARE(cancel->text(), "Cancel");
        QTest::mouseClick(cancel, Qt::LeftButton);
    });
    QSignalSpy quit(window.get(), &HttpWindow::quitRequested);
    window->start();
    QVERIFY(quit.wait(10000));
    QVERIFY(wasVisible);
    QVERIFY(!window->findChild<Http *>()->isVisible());
    QCOMPARE(installerArguments(), (QStringList { "-d", programDir->path() }));
    QCOMPARE(texts(), QStringList { finishedText });
}

void TestUpdater::percent_data()
{
    QTest::addColumn<qint64>("read");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<int>("value");
    QTest::newRow("quarter") << qint64(50) << qint64(200) << 25;
    QTest::newRow("done") << qint64(200) << qint64(200) << 100;
    QTest::newRow("rounds down") << qint64(199) << qint64(200) << 99;
    QTest::newRow("beyond 4 GiB") << qint64(3) * 1024 * 1024 * 1024 << qint64(6) * 1024 * 1024 * 1024 << 50;
    QTest::newRow("total unknown") << qint64(10) << qint64(-1) << -1;
    QTest::newRow("total zero") << qint64(0) << qint64(0) << -1;
}

void TestUpdater::percent()
{
    QFETCH(qint64, read);
    QFETCH(qint64, total);
    QFETCH(int, value);
    QCOMPARE(HttpWindow::percent(read, total), value);
}

void TestUpdater::translations()
{
    QTranslator chinese;
    QVERIFY(chinese.load(":/lang/updater_zh_CN"));
    QCOMPARE(chinese.translate("HttpWindow", finishedText), QString("升级完成！"));
    QCOMPARE(chinese.translate("Http", "Cancel"), QString("取消"));
    QTranslator british;
    QVERIFY(british.load(":/lang/updater_en_GB"));
}

void TestUpdater::defaultBoxIsModal()
{
    // Without a scripted asker the real message box comes up; answer it the
    // way a user would, from inside its own event loop.
    HttpWindow window(1);
    QString title, text;
    QTimer user;
    connect(&user, &QTimer::timeout, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        title = box->windowTitle();
        text = box->text();
        QVERIFY(box->parentWidget() == &window);
        box->button(QMessageBox::Ok)->click();
    });
    user.start(10);
    QSignalSpy quit(&window, &HttpWindow::quitRequested);
    window.start();
    QCOMPARE(quit.count(), 1);
    QCOMPARE(title, "Prompt");
    QCOMPARE(text, "No update server is configured.");
}

QTEST_MAIN(TestUpdater)
#include "tst_updater.moc"
