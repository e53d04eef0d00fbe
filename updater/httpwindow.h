#pragma once

#include <QDialog>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QSettings>
#include <QUrl>

#include <functional>
#include <memory>

class QFile;
class QNetworkReply;
class QTemporaryDir;
class Http;

// Checks the maker's server for a newer release, fetches its installer, has
// the running player closed and starts the installer. Never shown itself: it
// only parents the message boxes and the progress window.
class HttpWindow : public QDialog
{
    Q_OBJECT

public:
    // Answers a message box; the default shows a modal QMessageBox.
    using Asker = std::function<QMessageBox::StandardButton(QMessageBox::Icon icon, const QString &title,
        const QString &text, QMessageBox::StandardButtons buttons)>;
    // Process ids of running programs with this executable file name.
    using ProcessFinder = std::function<QList<qint64>(const QString &fileName)>;
    // Whether the system's package manager owns this installed file.
    using PackageCheck = std::function<bool(const QString &path)>;

    // argc as main() got it: exactly one argument means a quiet check.
    explicit HttpWindow(int argc, QWidget *parent = nullptr);
    ~HttpWindow() override;

    void setAsker(Asker asker);
    void setProcessFinder(ProcessFinder finder);
    void setPackageCheck(PackageCheck check);
    // The folder the installer is told to install into, and where the core runs from.
    void setProgramFolder(const QString &folder);
    void setFinishDelay(int milliseconds);
    // The key installers must be signed with (32 raw bytes); the built-in
    // release key unless a test gives its own.
    void setPublicKey(const QByteArray &key);
    void setInstallerSizeLimit(qint64 bytes);
    // Where the installer is (being) saved; empty before its download starts.
    QString installerPath() const;

    bool isQuiet() const { return quiet; }
    // The shared settings file of the player and the updater.
    static QString settingsFilePath();
    // "http://" + the configured server + "/update/version"; empty without a
    // server. A server written with "http://" or "https://" keeps its scheme.
    QString versionAddress() const;
    // Fetches the version file, or ends at once when no server is configured
    // or the package manager keeps this installation up to date.
    void start();

    // Whole percent of a download, or -1 while the total is unknown.
    static int percent(qint64 bytesRead, qint64 totalBytes);

signals:
    // The updater has nothing more to do; main() ends with this code.
    void quitRequested(int exitCode);

public slots:
    void downloadFile(QString &URL);
    void cancelDownload();
    void httpFinished();
    bool elevationExec(QString progName, QString cmd);
    void httpReadyRead();
    void updateDataReadProgress(qint64 bytesRead, qint64 totalBytes);
    void updaterFinish();
    QString BTBackupLocation();
    QString QDesktopServicesDataLocation();

private:
    void startRequest();
    void handleVersionFile(const QString &fileName);
    void installDownloaded(const QString &fileName);
    bool verifySignature(const QString &fileName);
    void refuseInstaller(const QString &fileName, const QString &why);
    bool programsRunning() const;
    void stopCore();
    bool launch(const QString &program, const QStringList &arguments);
    QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString &title, const QString &text,
        QMessageBox::StandardButtons buttons);
    QString dataFolder();

    QUrl url;
    QNetworkAccessManager qnam;
    QPointer<QNetworkReply> reply;
    std::unique_ptr<QFile> file;
    std::unique_ptr<QTemporaryDir> installerFolder;
    bool aborted = false;
    bool tooLarge = false;
    QString packageAddress;
    QByteArray packageSignature;
    float localVersion = 0;
    float remoteVersion = 0;
    int step = 1;
    bool quiet = false;
    QSettings *settings = nullptr;
    QPointer<Http> progressWindow;

    Asker asker;
    ProcessFinder processFinder;
    PackageCheck packageCheck;
    QString programFolder;
    int finishDelay = 5000;
    QByteArray publicKey;
    qint64 installerSizeLimit = 256 * 1024 * 1024;
};
