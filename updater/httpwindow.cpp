#include "httpwindow.h"

#include "http.h"
#include "releasesignature.h"

#include "platform/logging.h"
#include "platform/packagemanager.h"
#include "platform/processlist.h"
#include "platform/programlauncher.h"
#include "platform/programnames.h"
#include "settings/misc.h"

#include <QCoreApplication>
#include <QDate>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
#include <QProcess>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>

namespace {
constexpr qint64 maxVersionFileBytes = 64 * 1024;

const QString playerExecutable = ProgramNames::fileName(ProgramNames::Player);
const QString coreExecutable = ProgramNames::fileName(ProgramNames::Core);
// Never a name from the address: it could name any file in the folder.
const QString installerName = ProgramNames::fileName(ProgramNames::Installer);

// The updater names no application: ask for the player's folder by name.
QString backupLocation()
{
    return misc::backupLocation(misc::playerApplicationName());
}
}

HttpWindow::HttpWindow(int argc, QWidget *parent)
    : QDialog(parent)
    , programFolder(QCoreApplication::applicationDirPath())
    , publicKey(ReleaseSignature::builtInKey())
{
    // A redirect is the user's decision, not the network layer's.
    qnam.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    processFinder = &ProcessList::findByName;
    packageCheck = &PackageManager::owns;

    settings = new QSettings(settingsFilePath(), QSettings::IniFormat, this);
    localVersion = settings->value(QStringLiteral("/config/verison")).toFloat();
    quiet = argc == 2;
    step = 1;

    // The player decides from this date when to check again.
    settings->setValue(
        QStringLiteral("/config/time"), QDate::currentDate().toString(QStringLiteral("yyyyMMdd")).toInt());
    settings->sync();
}

HttpWindow::~HttpWindow()
{
    if (reply) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

QString HttpWindow::settingsFilePath()
{
    return backupLocation() + QStringLiteral("/data/Morvane.ini");
}

void HttpWindow::setAsker(Asker newAsker)
{
    asker = std::move(newAsker);
}

void HttpWindow::setProcessFinder(ProcessFinder finder)
{
    processFinder = std::move(finder);
}

void HttpWindow::setPackageCheck(PackageCheck check)
{
    packageCheck = std::move(check);
}

void HttpWindow::setProgramFolder(const QString &folder)
{
    programFolder = folder;
}

void HttpWindow::setFinishDelay(int milliseconds)
{
    finishDelay = milliseconds;
}

void HttpWindow::setPublicKey(const QByteArray &key)
{
    publicKey = key;
}

void HttpWindow::setInstallerSizeLimit(qint64 bytes)
{
    installerSizeLimit = bytes;
}

QString HttpWindow::installerPath() const
{
    return installerFolder ? installerFolder->filePath(installerName) : QString();
}

QString HttpWindow::versionAddress() const
{
    const QString server = settings->value(QStringLiteral("/config/webServer")).toString().trimmed();
    if (server.isEmpty())
        return QString();
    const bool withScheme = server.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
        || server.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
    return (withScheme ? QString() : QStringLiteral("http://")) + server + QStringLiteral("/update/version");
}

void HttpWindow::start()
{
    // An installer would fight the package manager over the same files.
    if (packageCheck(QDir(programFolder).filePath(playerExecutable))) {
        qCDebug(lcUpdater, "installed by the system's package manager: updates come from there");
        if (!quiet)
            ask(QMessageBox::Information, tr("Prompt"),
                tr("Morvane was installed by your system's package manager. Updates come from there: "
                   "use your software centre or apt."),
                QMessageBox::Ok);
        emit quitRequested(0);
        return;
    }
    QString address = versionAddress();
    if (address.isEmpty()) {
        qCDebug(lcUpdater, "no update server is configured");
        if (!quiet)
            ask(QMessageBox::Information, tr("Prompt"), tr("No update server is configured."),
                QMessageBox::Ok);
        emit quitRequested(0);
        return;
    }
    downloadFile(address);
}

int HttpWindow::percent(qint64 bytesRead, qint64 totalBytes)
{
    if (totalBytes <= 0 || bytesRead < 0)
        return -1;
    return int(qMin<qint64>(bytesRead * 100 / totalBytes, 100));
}

void HttpWindow::downloadFile(QString &URL)
{
    url = QUrl(URL.trimmed());
    QString path;
    if (step == 1) {
        QDir().mkpath(dataFolder());
        path = dataFolder() + QStringLiteral("/version");
    } else {
        // Private (0700) and of a fixed name: nothing else can swap the
        // installer between its check and its start.
        if (!installerFolder)
            installerFolder = std::make_unique<QTemporaryDir>();
        path = installerPath();
    }
    file = std::make_unique<QFile>(path);
    if ((step != 1 && !installerFolder->isValid())
        || !file->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        ask(QMessageBox::Information, tr("HTTP"),
            tr("Cannot save the file %1: %2.").arg(QFileInfo(path).fileName(), file->errorString()),
            QMessageBox::Ok);
        file.reset();
        emit quitRequested(1);
        return;
    }
    aborted = false;
    tooLarge = false;
    startRequest();
}

void HttpWindow::startRequest()
{
    reply = qnam.get(QNetworkRequest(url));
    connect(reply, &QNetworkReply::finished, this, &HttpWindow::httpFinished);
    connect(reply, &QNetworkReply::readyRead, this, &HttpWindow::httpReadyRead);
    connect(reply, &QNetworkReply::downloadProgress, this, &HttpWindow::updateDataReadProgress);
}

void HttpWindow::cancelDownload()
{
    aborted = true;
    if (reply)
        reply->abort();
}

void HttpWindow::httpFinished()
{
    if (!reply)
        return;
    if (!aborted && reply->error() == QNetworkReply::NoError)
        httpReadyRead();
    if (aborted || tooLarge) {
        if (file) {
            file->close();
            file->remove();
            file.reset();
        }
        reply->deleteLater();
        reply = nullptr;
        if (aborted) {
            emit quitRequested(0);
            return;
        }
        qCDebug(lcUpdater, "the download passed its size limit");
        ask(QMessageBox::Warning, tr("Prompt"),
            tr("The download is larger than an upgrade can be. It has been deleted and was not started."),
            QMessageBox::Ok);
        emit quitRequested(1);
        return;
    }

    if (file) {
        file->flush();
        file->close();
    }
    const QVariant redirectionTarget = reply->attribute(QNetworkRequest::RedirectionTargetAttribute);

    if (reply->error() != QNetworkReply::NoError) {
        if (file)
            file->remove();
        const QString error = reply->errorString();
        qCDebug(lcUpdater).noquote() << QStringLiteral("Download failed: ") + error;
        reply->deleteLater();
        reply = nullptr;
        file.reset();
        ask(QMessageBox::Information, tr("HTTP"), tr("Download failed: %1.").arg(error), QMessageBox::Ok);
        emit quitRequested(1);
        return;
    }

    if (!redirectionTarget.isNull()) {
        const QUrl newUrl = url.resolved(redirectionTarget.toUrl());
        if (ask(QMessageBox::Question, tr("HTTP"), tr("Redirect to the %1 ?").arg(newUrl.toString()),
                QMessageBox::Yes | QMessageBox::No)
            == QMessageBox::Yes) {
            url = newUrl;
            reply->deleteLater();
            reply = nullptr;
            if (!file || !file->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
                const QString name = file ? QFileInfo(file->fileName()).fileName() : QString();
                const QString error = file ? file->errorString() : QString();
                file.reset();
                ask(QMessageBox::Information, tr("HTTP"), tr("Cannot save the file %1: %2.").arg(name, error),
                    QMessageBox::Ok);
                emit quitRequested(1);
                return;
            }
            file->resize(0);
            startRequest();
            return;
        }
    }

    reply->deleteLater();
    reply = nullptr;
    const QString fileName = file ? file->fileName() : QString();
    file.reset();

    if (step == 1) {
        step = 2;
        handleVersionFile(fileName);
    } else {
        installDownloaded(fileName);
    }
}

void HttpWindow::handleVersionFile(const QString &fileName)
{
    QFile versionFile(fileName);
    if (!versionFile.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qCDebug(lcUpdater, "the version file cannot be read");
        emit quitRequested(1);
        return;
    }
    QTextStream in(&versionFile);
    remoteVersion = in.readLine().trimmed().toFloat();
    packageAddress = in.readLine().trimmed();
    in.readLine(); // once a checksum, which the signature has replaced
    packageSignature
        = QByteArray::fromBase64(in.readLine().trimmed().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    versionFile.close();

    if (remoteVersion > localVersion) {
        progressWindow = new Http(this);
        progressWindow->show();
        downloadFile(packageAddress);
        return;
    }
    if (!quiet) {
        ask(QMessageBox::Information, tr("Prompt"),
            tr("Your current version has set up a file is the latest, do not need to upgrade!"),
            QMessageBox::Ok);
    }
    emit quitRequested(0);
}

void HttpWindow::refuseInstaller(const QString &fileName, const QString &why)
{
    QFile::remove(fileName);
    ask(QMessageBox::Warning, tr("Prompt"), why, QMessageBox::Ok);
    emit quitRequested(1);
}

void HttpWindow::installDownloaded(const QString &fileName)
{
    // The installer may come over plain HTTP and runs with administrator
    // rights: only what the release key signed is started.
    if (packageSignature.isEmpty()) {
        qCDebug(lcUpdater, "the version file carries no signature of the upgrade file");
        refuseInstaller(
            fileName, tr("The upgrade file is not signed. It has been deleted and was not started."));
        return;
    }
    if (publicKey.isEmpty())
        qCDebug(lcUpdater, "this build holds no release key: no upgrade file can be checked");
    if (!ReleaseSignature::verifyFile(fileName, packageSignature, publicKey)) {
        qCDebug(lcUpdater, "the upgrade file's signature is not the release key's");
        refuseInstaller(fileName,
            tr("The upgrade file's signature is not valid. It has been deleted and was not started."));
        return;
    }

    while (programsRunning()) {
        if (ask(QMessageBox::Information, tr("Prompt"),
                tr("Morvane Program is running, please click confirm continue to update after exit"),
                QMessageBox::Yes | QMessageBox::No)
            == QMessageBox::No) {
            QFile::remove(fileName);
            close();
            emit quitRequested(0);
            return;
        }
        stopCore();
    }

    // Downloads arrive without the execute bit.
    QFile::setPermissions(fileName, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // The folder goes as one argument, so a folder with blanks arrives whole.
    if (launch(fileName, { QStringLiteral("-d"), programFolder }))
        installerFolder->setAutoRemove(false); // the installer is still reading itself
    QTimer::singleShot(finishDelay, this, &HttpWindow::updaterFinish);
}

bool HttpWindow::programsRunning() const
{
    return !processFinder(playerExecutable).isEmpty() || !processFinder(coreExecutable).isEmpty();
}

void HttpWindow::stopCore()
{
#ifdef Q_OS_WIN
    elevationExec(QStringLiteral("taskkill.exe"), QStringLiteral("/f /im ") + coreExecutable);
#else
    // Only this user's core of this installation; another user's core is
    // none of our business.
    // Waits until the core has saved and gone (killed after 5 s).
    ProcessList::stopByPath(QDir(programFolder).filePath(coreExecutable));
#endif
}

bool HttpWindow::elevationExec(QString progName, QString cmd)
{
    launch(QDir::toNativeSeparators(progName), QProcess::splitCommand(cmd));
    return false;
}

bool HttpWindow::launch(const QString &program, const QStringList &arguments)
{
    bool cancelled = false;
    if (ProgramLauncher::startDetached(program, arguments, true, &cancelled))
        return true;
    if (!cancelled)
        qCDebug(lcUpdater).noquote() << QStringLiteral("failed to start ") + program;
    return false;
}

void HttpWindow::httpReadyRead()
{
    if (!file || !reply || tooLarge)
        return;
    file->write(reply->readAll());
    const qint64 limit = step == 1 ? maxVersionFileBytes : installerSizeLimit;
    if (file->size() > limit) {
        tooLarge = true;
        reply->abort();
    }
}

void HttpWindow::updateDataReadProgress(qint64 bytesRead, qint64 totalBytes)
{
    if (aborted || tooLarge || !progressWindow)
        return;
    const int value = percent(bytesRead, totalBytes);
    if (value >= 0)
        progressWindow->progressBar()->setValue(value);
}

void HttpWindow::updaterFinish()
{
    ask(QMessageBox::Information, tr("Prompt"), tr("Upgrade finished ！"), QMessageBox::Ok);
    emit quitRequested(0);
}

QString HttpWindow::BTBackupLocation()
{
    return backupLocation();
}

QString HttpWindow::QDesktopServicesDataLocation()
{
    // The updater's own data folder: it names no application.
    return misc::dataLocation(QString());
}

QString HttpWindow::dataFolder()
{
    return BTBackupLocation() + QStringLiteral("/data");
}

QMessageBox::StandardButton HttpWindow::ask(
    QMessageBox::Icon icon, const QString &title, const QString &text, QMessageBox::StandardButtons buttons)
{
    if (asker)
        return asker(icon, title, text, buttons);
    QMessageBox box(icon, title, text, buttons, this);
    return QMessageBox::StandardButton(box.exec());
}
