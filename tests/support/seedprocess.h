#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The morvane-seed tool from the build's bin folder, run as a child: shares
// a file or folder on 127.0.0.1 and tells where (torrent, magnet, port).
class SeedProcess
{
public:
    // extraArguments e.g. {"--rate", "1000000", "--piece-size", "262144"}
    explicit SeedProcess(const QString &path, const QStringList &extraArguments = {});
    ~SeedProcess();
    SeedProcess(const SeedProcess &) = delete;
    SeedProcess &operator=(const SeedProcess &) = delete;

    // Starts the tool and waits until it seeds; false with its output on failure.
    bool start(int timeoutMs = 30000);
    // Closes its input (it exits) and waits; kills this child if it lingers.
    void stop();

    QString torrentPath() const { return m_torrentPath; }
    QString magnet() const { return m_magnet; }
    QString hash() const { return m_hash; }
    int port() const { return m_port; }
    // For tests that freeze the seed (SIGSTOP) to make a silent peer.
    qint64 processId() const { return m_process.processId(); }
    QString output() const { return m_output; }
    // Payload bytes sent so far, as the tool last reported (each second while
    // it grows, and once more when it exits); 0 before any report.
    qint64 sent();

    static QString program();

private:
    void readOutput();

    QString m_path;
    QStringList m_arguments;
    QProcess m_process;
    QString m_output;
    QString m_torrentPath;
    QString m_magnet;
    QString m_hash;
    int m_port = 0;
};
