#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

// Fetches the .torrent files of one "add by URL" request over HTTP, HTTPS or
// FTP. Each text is a download address, optionally followed by "@" and a
// comment-page address. The transfers run on a thread of their own, under
// the same caps, so a slow or hostile server never holds the core's loop.
class TorrentFetcher : public QObject
{
    Q_OBJECT

public:
    struct Result
    {
        QString text; // as the player sent it
        QUrl url; // the download address
        QString commentUrl; // empty when none was given
        QByteArray data;
        QString error; // empty on success
    };

    struct Limits
    {
        qint64 maxBytes = 32 * 1024 * 1024; // more than any torrent's metadata
        int timeoutMs = 30000; // for one address, its redirects included
        int maxRedirects = 5;
    };

    explicit TorrentFetcher(bool loopbackOnly, QObject *parent = nullptr);
    // Running transfers are abandoned; their thread ends by itself.
    ~TorrentFetcher() override;

    void setLimits(const Limits &limits) { m_limits = limits; }

    // Splits "download@comment"; a "@" inside an address (user info) stays.
    static void splitComment(const QString &text, QString *download, QString *comment);
    static bool isLoopbackHost(const QString &host);
    // Why this address must not be fetched, or empty when it may be.
    static QString refusal(const QString &address, bool loopbackOnly);

    void fetch(const QStringList &texts);

    // The work handed to the transfer thread; opaque outside the fetcher.
    struct Job;

signals:
    // In the order of the texts, once every fetch has ended.
    void finished(const QList<TorrentFetcher::Result> &results);

private:
    bool m_loopbackOnly;
    Limits m_limits;
    std::shared_ptr<Job> m_job;
};
