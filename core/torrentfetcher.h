#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

// Fetches the .torrent files of one "add by URL" request. Each text is a
// download address, optionally followed by "@" and a comment-page address.
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

    TorrentFetcher(QNetworkAccessManager *network, bool loopbackOnly, QObject *parent = nullptr);

    // Splits "download@comment"; a "@" inside an address (user info) stays.
    static void splitComment(const QString &text, QString *download, QString *comment);
    static bool isLoopbackHost(const QString &host);

    void fetch(const QStringList &texts);

signals:
    // In the order of the texts, once every fetch has ended.
    void finished(const QList<TorrentFetcher::Result> &results);

private:
    void start(int index);
    void done(int index, QNetworkReply *reply);
    void settle(int index, const QString &error);

    QNetworkAccessManager *m_network;
    bool m_loopbackOnly;
    QList<Result> m_results;
    int m_open = 0;
};
