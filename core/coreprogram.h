#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

class CoreServer;
class CoreService;
class StreamServer;

// Puts the service together: one core per user data folder (a second one
// started on the same folder leaves at once, so the downloads' stored state
// has one writer), the local server under the channel name, and the wiring
// between them.
class CoreProgram : public QObject
{
    Q_OBJECT

public:
    enum class Start { Serving, AlreadyRunning, Failed };

    explicit CoreProgram(QObject *parent = nullptr);
    ~CoreProgram() override;

    Start start(const QString &channel);
    // Saves every download's resume data, then emits stopped().
    void stop();

signals:
    void stopped();

private:
    void moveChannel(const QString &channel);

    QLockFile *m_lock = nullptr;
    CoreServer *m_server = nullptr;
    CoreService *m_service = nullptr;
    StreamServer *m_stream = nullptr;
};
