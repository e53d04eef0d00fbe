#include "torrentfetcher.h"

#include "ftpfetch.h"

#include "platform/logging.h"

#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>

namespace {
constexpr qint64 maxTorrentBytes = 32 * 1024 * 1024;
constexpr int transferTimeoutMs = 30000;
}

TorrentFetcher::TorrentFetcher(QNetworkAccessManager *network, bool loopbackOnly, QObject *parent)
    : QObject(parent)
    , m_network(network)
    , m_loopbackOnly(loopbackOnly)
{ }

void TorrentFetcher::splitComment(const QString &text, QString *download, QString *comment)
{
    // The comment page is itself an address: split before the "@" that
    // starts one, so that user info such as "user:pw@host" is not cut.
    static const QRegularExpression joint(
        QStringLiteral("@(?=(https?|ftp)://)"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = joint.match(text);
    if (match.hasMatch()) {
        *download = text.left(match.capturedStart()).trimmed();
        *comment = text.mid(match.capturedEnd()).trimmed();
    } else {
        *download = text.trimmed();
        comment->clear();
    }
}

bool TorrentFetcher::isLoopbackHost(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

void TorrentFetcher::fetch(const QStringList &texts)
{
    m_results.clear();
    for (const QString &text : texts) {
        Result result;
        result.text = text;
        QString download;
        splitComment(text, &download, &result.commentUrl);
        result.url = QUrl(download, QUrl::StrictMode);
        m_results.append(result);
    }
    m_open = int(m_results.size());
    if (m_open == 0) {
        emit finished(m_results);
        return;
    }
    for (int i = 0; i < m_results.size(); ++i)
        start(i);
}

void TorrentFetcher::start(int index)
{
    const QUrl url = m_results.at(index).url;
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty()
        || (scheme != QLatin1String("http") && scheme != QLatin1String("https")
            && scheme != QLatin1String("ftp"))) {
        settle(index, QStringLiteral("not an http, https or ftp address"));
        return;
    }
    if (m_loopbackOnly && !isLoopbackHost(url.host())) {
        settle(index, QStringLiteral("loopback mode: address outside this machine refused"));
        return;
    }
    if (scheme == QLatin1String("ftp")) {
        auto *ftp = new FtpFetch(url, maxTorrentBytes, transferTimeoutMs, this);
        connect(
            ftp, &FtpFetch::finished, this, [this, index, ftp](const QByteArray &data, const QString &error) {
                ftp->deleteLater();
                m_results[index].data = data;
                settle(index, error);
            });
        ftp->start();
        return;
    }
    QNetworkRequest request(url);
    request.setAttribute(
        QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(10);
    request.setTransferTimeout(transferTimeoutMs);
    QNetworkReply *reply = m_network->get(request);
    connect(reply, &QNetworkReply::redirected, reply, [this, reply](const QUrl &target) {
        const QString targetScheme = target.scheme().toLower();
        const bool web = targetScheme == QLatin1String("http") || targetScheme == QLatin1String("https");
        if (!web || (m_loopbackOnly && !isLoopbackHost(target.host()))) {
            qCWarning(lcCore).noquote() << "redirect refused:" << target.toDisplayString();
            reply->abort();
            return;
        }
        emit reply->redirectAllowed();
    });
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > maxTorrentBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, index, reply] { done(index, reply); });
}

void TorrentFetcher::done(int index, QNetworkReply *reply)
{
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) {
        settle(index, reply->errorString());
        return;
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 300 && status < 400) {
        settle(index, QStringLiteral("redirect not followed"));
        return;
    }
    m_results[index].data = reply->readAll();
    settle(index, QString());
}

void TorrentFetcher::settle(int index, const QString &error)
{
    m_results[index].error = error;
    if (--m_open == 0)
        emit finished(m_results);
}
