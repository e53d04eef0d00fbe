#pragma once

#include <QString>

// The values of one parsed link. Every field is the text after its key, kept
// exactly as written: values go into requests unencoded.
struct LinkParameters
{
    QString ty;
    QString ro;
    QString url;
    QString id;
    QString dm;
    QString xl;
    QString ua;
    QString tr;
    QString ts;
    QString cs;
    QString requestUrl;
    QString sp;

    void clear();
    // Stores the value of part when part begins with a known key (letter case
    // ignored; "sp=" only when withStartPage). Returns whether it did.
    bool assign(const QString &part, bool withStartPage);

    // The host a torrent link ("ty=1") points at: the configured tracker site
    // when ro is "1", else url. Empty when there is none (logged for the
    // tracker site).
    QString torrentHost() const;
    // "http://" + host + "/download.php?id=" + id + "&passkey=" + ua.
    QString downloadAddress(const QString &host) const;
    // "http://" + host + "/details.php?id=" + id + "&cmtpage=1&page=0".
    QString commentAddress(const QString &host) const;
};
