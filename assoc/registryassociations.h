#pragma once

#include "assoc/associations.h"
#include "assoc/registrystore.h"

// The Windows registry layout of the associations, over a RegistryStore.
class RegistryAssociations : public Associations
{
public:
    RegistryAssociations(const QString &programFolder, RegistryStore store);

    // .torrent files get a ProgID of their own: the scheme key "morvane" and
    // a ProgID "Morvane" would be one registry key, and unbinding either
    // would take the other's command with it.
    static QString torrentProgId() { return QStringLiteral("Morvane.torrent"); }
    // What .torrent files pointed at before they got their own ProgID.
    static QString legacyTorrentProgId() { return QStringLiteral("Morvane"); }

    // The player's launch command for programPath, as the scheme key holds it.
    static QString launchCommand(const QString &programPath);
    // The scheme key's command is exactly the launch command of programPath.
    static bool isUriHandlerRegistered(const RegistryStore &store, const QString &programPath);

    QString programPath() const;
    QString command() const;
    QString icon() const;
    QString videoCommand() const;
    QString videoIcon() const;
    static QString videoProgId(const QString &ext);

    bool torrentAssociated() const override;
    void setTorrentAssociation(bool on) override;
    bool magnetAssociated() const override;
    void setMagnetAssociation(bool on) override;
    bool schemeAssociated() const override;
    void setSchemeAssociation(bool on) override;

    bool extensionAssociated(const QString &ext) const override;
    void associateExtension(const QString &ext) override;
    void restoreExtension(const QString &ext) override;

private:
    bool namesOurProgram(const QString &command) const;
    // Writes or removes the handler of a URL scheme; with onlyOurs a handler
    // that starts another program is left in place.
    void setUrlHandler(const QString &scheme, const QString &contentType, bool on, bool onlyOurs);

    QString m_programFolder;
    RegistryStore m_store;
};
