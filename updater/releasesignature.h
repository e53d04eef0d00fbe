#pragma once

#include <QByteArray>
#include <QString>

// Ed25519 signatures of release installers. The maker signs each installer
// with the release key; the updater runs only what that key signed.
class ReleaseSignature
{
public:
    ReleaseSignature() = delete;

    // The release key's public half (32 bytes) as built into this program;
    // empty when the build was given none, and then nothing verifies.
    static QByteArray builtInKey();
    // Whether signature (64 bytes) is publicKey's signature of the whole file.
    static bool verifyFile(const QString &path, const QByteArray &signature, const QByteArray &publicKey);
};
