#pragma once

#include "assoc/associations.h"

// The freedesktop way: the player's desktop entry in the user's applications
// folder, and the user's defaults in mimeapps.list pointing at it. The default
// a type had before is kept in our own file and put back on unbinding.
class DesktopAssociations : public Associations
{
public:
    struct Folders
    {
        QString applications; // folder of the desktop entry
        QString mimeApps; // the mimeapps.list holding the defaults
        QString previous; // our record of the defaults we replaced

        // The current user's XDG folders and the player's data folder.
        static Folders forThisUser();
    };

    explicit DesktopAssociations(const QString &programFolder);
    DesktopAssociations(const QString &programFolder, Folders folders);

    static QString desktopId() { return QStringLiteral("morvane.desktop"); }
    static QString torrentType() { return QStringLiteral("application/x-bittorrent"); }
    static QString magnetType() { return QStringLiteral("x-scheme-handler/magnet"); }
    static QString schemeType() { return QStringLiteral("x-scheme-handler/morvane"); }
    // The media type an extension stands for here; empty when the desktop
    // knows none (binding a generic or a document type would take over
    // files that are not video at all).
    static QString mimeTypeFor(const QString &ext);

    // The morvane scheme defaults to our entry and the entry starts programPath.
    static bool isUriHandlerRegistered(const QString &programPath, const Folders &folders);

    QString programPath() const;
    QString desktopFile() const;

    bool torrentAssociated() const override;
    void setTorrentAssociation(bool on) override;
    bool magnetAssociated() const override;
    void setMagnetAssociation(bool on) override;
    bool schemeAssociated() const override;
    void setSchemeAssociation(bool on) override;

    bool extensionAssociated(const QString &ext) const override;
    void associateExtension(const QString &ext) override;
    void restoreExtension(const QString &ext) override;
    QStringList bindableExtensions() const override;

private:
    static bool typeBound(const QString &mimeType, const QString &programPath, const Folders &folders);
    void set(const QString &mimeType, bool on);
    void bind(const QString &mimeType);
    void unbind(const QString &mimeType);
    // Rewrites the entry so it offers exactly the types that default to it,
    // plus extra (about to be bound); removes it when it offers nothing.
    bool updateEntry(const QString &extra = QString());

    QString m_programFolder;
    Folders m_folders;
};
