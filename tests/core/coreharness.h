#pragma once

// What the tests that drive the real MorvaneCore share: a temporary home with
// the core's settings, the core on its own channel and port, a client on its
// socket, and seeds on 127.0.0.1 that dial it.
#include "coreprocess.h"
#include "coretestclient.h"

#include "tests/support/seedprocess.h"
#include "tests/support/temporaryhome.h"

#include <QProcessEnvironment>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>

class CoreHarness
{
public:
    static constexpr int kPieceSize = 256 * 1024;

    static QByteArray randomBytes(qsizetype size, quint32 seed);
    static bool writeFile(const QString &path, const QByteArray &bytes);
    static QByteArray readFile(const QString &path);
    static int freePort();

protected:
    // A fresh home whose settings give the core a known port and save path.
    bool setUpHome(const QString &channelPrefix);
    void tearDown();

    QString iniPath() const;
    QString backupFolder() const;
    void setSetting(const QString &key, const QVariant &value);
    // Starts the core and connects the client; extendedReplies asks for our
    // own reply types as the player does.
    bool startCore(const QProcessEnvironment &extra = {});
    std::unique_ptr<SeedProcess> seed(const QString &path, const QStringList &extra = {});
    // Waits for a status row of hash that satisfies match.
    QStringList waitForStatus(
        const QString &hash, const std::function<bool(const QStringList &)> &match, int timeoutMs);

    bool m_extendedReplies = false;
    std::unique_ptr<TemporaryHome> m_home;
    std::unique_ptr<CoreProcess> m_core;
    std::unique_ptr<CoreTestClient> m_client;
    QString m_channel;
    QString m_savePath;
    int m_corePort = 0;
    int m_serial = 0;
};
