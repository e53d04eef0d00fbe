#pragma once

#include <QApplication>
#include <QLockFile>
#include <memory>

class QLocalServer;

// One running player per user and installation. The first instance holds a
// lock file and serves a local socket; later starts find the lock taken and
// hand their message over the socket.
class SingleApplication : public QApplication
{
    Q_OBJECT

public:
    SingleApplication(int &argc, char **argv);
    ~SingleApplication() override;

    // True when another instance of this program runs for this user.
    bool isRunning() const;
    // Delivers message to the running instance; false when it did not take
    // it within timeoutMs.
    bool sendMessage(const QString &message, int timeoutMs);

    // Name shared by the instances of one program path and one user.
    static QString instanceKey(const QString &programPath);

    // Builds the hand-off message from argv[1..]: arguments beginning with
    // "--" are skipped, every other one is followed by "|" unless it is the
    // last argument of the command line.
    static QString instanceMessage(const QStringList &arguments);

signals:
    void messageReceived(const QString &message);

private:
    void serve();
    void readMessage(class QLocalSocket *socket);

    QString m_key;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
    bool m_running = false;
};
