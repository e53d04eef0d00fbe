#include "releasesignature.h"

#include <QFile>

#include <openssl/evp.h>

#include <memory>

QByteArray ReleaseSignature::builtInKey()
{
    const QByteArray key = QByteArray::fromHex(MORVANE_UPDATE_PUBLIC_KEY);
    return key.size() == 32 ? key : QByteArray();
}

bool ReleaseSignature::verifyFile(
    const QString &path, const QByteArray &signature, const QByteArray &publicKey)
{
    if (signature.size() != 64 || publicKey.size() != 32)
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // Ed25519 signs the message whole; mapping spares a copy of the installer.
    const qint64 size = file.size();
    const uchar *bytes = size > 0 ? file.map(0, size) : reinterpret_cast<const uchar *>("");
    if (!bytes)
        return false;
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
            reinterpret_cast<const unsigned char *>(publicKey.constData()), size_t(publicKey.size())),
        &EVP_PKEY_free);
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    return key && context && EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1
        && EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char *>(signature.constData()),
               size_t(signature.size()), bytes, size_t(size))
        == 1;
}
