#pragma once

#include <QString>
#include <QStringList>

#include <memory>

// What Kelvora binds to the player, independent of where the system keeps it:
// .torrent files, magnet links, the morvane scheme and the video extensions.
// Each back-end reads the real state on every call; nothing is cached.
class Associations
{
public:
    virtual ~Associations() = default;

    // The video extensions, in the order they are bound and unbound.
    static const QStringList &videoExtensions();

    // The back-end of this system for a player installed in programFolder.
    static std::unique_ptr<Associations> forProgramFolder(const QString &programFolder);

    virtual bool torrentAssociated() const = 0;
    virtual void setTorrentAssociation(bool on) = 0;
    virtual bool magnetAssociated() const = 0;
    virtual void setMagnetAssociation(bool on) = 0;
    virtual bool schemeAssociated() const = 0;
    virtual void setSchemeAssociation(bool on) = 0;

    virtual bool extensionAssociated(const QString &ext) const = 0;
    virtual void associateExtension(const QString &ext) = 0;
    virtual void restoreExtension(const QString &ext) = 0;

    // The extensions this back-end can bind; a desktop without a media type
    // for an extension leaves it out.
    virtual QStringList bindableExtensions() const { return videoExtensions(); }

    bool videoFilesAssociated() const;
    void associateVideoFiles();
    void restoreVideoFiles();
};
