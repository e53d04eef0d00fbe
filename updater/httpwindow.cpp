#include "httpwindow.h"

#include "http.h"
#include "platform/logging.h"
#include "platform/processlist.h"
#include "platform/programlauncher.h"
#include "platform/systemfolders.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDate>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
#include <QProcess>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTextStream>
#include <QThread>
#include <QTimer>

namespace {
#ifdef Q_OS_WIN
const QString playerExecutable = QStringLiteral("Morvane.exe");
const QString coreExecutable = QStringLiteral("MorvaneCore.exe");
#else
const QString playerExecutable = QStringLiteral("Morvane");
const QString coreExecutable = QStringLiteral("MorvaneCore");
#endif

bool isSha256Hex(const QString &text)
{
    static const QRegularExpression hex(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9A-Fa-f]{64}")));
    return hex.match(text).hasMatch();
}

// The updater names no application, so the folder must be spelled out to
// land where the player keeps its settings.
QString dataLocation()
{
    return SystemFolders::localAppData() + QDir::separator();
}

QString backupLocation()
{
    const QString location
        = QDir::cleanPath(dataLocation() + QDir::separator() + QStringLiteral("Morvane/BT_backup"));
    QDir dir(location);
    if (!dir.exists())
        dir.mkpath(QStringLiteral("."));
    return location;
}
}

HttpWindow::HttpWindow(int argc, QWidget *parent)
    : QDialog(parent)
    , programFolder(QCoreApplication::applicationDirPath())
{
    // A redirect is the user's decision, not the network layer's.
    qnam.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    processFinder = &ProcessList::findByName;

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
    delete file;
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

void HttpWindow::setProgramFolder(const QString &folder)
{
    programFolder = folder;
}

void HttpWindow::setFinishDelay(int milliseconds)
{
    finishDelay = milliseconds;
}

QString HttpWindow::versionAddress() const
{
    const QString server = settings->value(QStringLiteral("/config/webServer")).toString().trimmed();
    if (server.isEmpty())
        return QString();
    return QStringLiteral("http://") + server + QStringLiteral("/update/version");
}

void HttpWindow::start()
{
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

QString HttpWindow::fileNameFor(const QUrl &address)
{
    // Decoding can turn "%2F" or "%5C" into separators: only what follows
    // the last of them may name the file.
    QString name = address.fileName(QUrl::FullyDecoded);
    name = name.section(QLatin1Char('/'), -1).section(QLatin1Char('\\'), -1);
    bool unsafe = name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..");
    for (const QChar c : std::as_const(name))
        unsafe = unsafe || c.unicode() < 0x20 || c.unicode() == 0x7f;
    return unsafe ? QStringLiteral("index.html") : name;
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
    const QString fileName = fileNameFor(url);

    QDir().mkpath(dataFolder());
    file = new QFile(dataFolder() + QLatin1Char('/') + fileName);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        ask(QMessageBox::Information, tr("HTTP"),
            tr("Cannot save the file %1: %2.").arg(fileName, file->errorString()), QMessageBox::Ok);
        delete file;
        file = nullptr;
        emit quitRequested(1);
        return;
    }
    aborted = false;
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
    if (aborted) {
        if (file) {
            file->close();
            file->remove();
            delete file;
            file = nullptr;
        }
        reply->deleteLater();
        reply = nullptr;
        emit quitRequested(0);
        return;
    }

    if (file) {
        if (reply->error() == QNetworkReply::NoError)
            file->write(reply->readAll());
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
        delete file;
        file = nullptr;
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
                delete file;
                file = nullptr;
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
    delete file;
    file = nullptr;

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
    const QString digest = in.readLine().trimmed();
    packageDigest = isSha256Hex(digest) ? digest.toLower() : QString();
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

bool HttpWindow::verifyDigest(const QString &fileName)
{
    QFile installer(fileName);
    if (!installer.open(QIODevice::ReadOnly))
        return false;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&installer))
        return false;
    return QString::fromLatin1(hash.result().toHex()) == packageDigest;
}

void HttpWindow::installDownloaded(const QString &fileName)
{
    // The installer travels over plain HTTP and may run with administrator
    // rights: a published digest that does not match stops it here.
    if (!packageDigest.isEmpty() && !verifyDigest(fileName)) {
        qCDebug(lcUpdater, "the downloaded upgrade file does not match its SHA-256 digest");
        QFile::remove(fileName);
        ask(QMessageBox::Warning, tr("Prompt"),
            tr("The downloaded upgrade file does not match its published checksum. It has been deleted and "
               "was "
               "not started."),
            QMessageBox::Ok);
        emit quitRequested(1);
        return;
    }

    while (programsRunning()) {
        if (ask(QMessageBox::Information, tr("Prompt"),
                tr("Morvane Program is running, please click confirm continue to update after exit"),
                QMessageBox::Yes | QMessageBox::No)
            == QMessageBox::No) {
            close();
            emit quitRequested(0);
            return;
        }
        stopCore();
    }

    // Downloads arrive without the execute bit.
    QFile::setPermissions(fileName,
        QFile::permissions(fileName) | QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadUser
            | QFileDevice::ExeUser);
    // The folder goes as one argument, so a folder with blanks arrives whole.
    launch(fileName, { QStringLiteral("-d"), programFolder });
    QTimer::singleShot(finishDelay, this, &HttpWindow::updaterFinish);
}

bool HttpWindow::programsRunning() const
{
    return !processFinder(playerExecutable).isEmpty() || !processFinder(coreExecutable).isEmpty();
}

void HttpWindow::stopCore()
{
#ifdef Q_OS_WIN
    elevationExec(QStringLiteral("taskkill.exe"), QStringLiteral("/f /im MorvaneCore.exe"));
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
    if (file && reply)
        file->write(reply->readAll());
}

void HttpWindow::updateDataReadProgress(qint64 bytesRead, qint64 totalBytes)
{
    if (aborted || !progressWindow)
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
    return dataLocation();
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
