#include "torrentfetcher.h"

#include "platform/logging.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QRegularExpression>
#include <QThread>

#include <curl/curl.h>

#include <atomic>
#include <vector>

struct TorrentFetcher::Job
{
    QList<Result> results;
    QList<int> pending; // indexes still to fetch
    Limits limits;
    bool loopbackOnly = false;
    std::atomic_bool cancelled = false;
};

namespace {
bool hasControl(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

bool isWeb(const QString &scheme)
{
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

// One address: its current hop and what has arrived.
struct Transfer
{
    ~Transfer()
    {
        if (easy)
            curl_easy_cleanup(easy);
    }

    int index = 0;
    CURL *easy = nullptr;
    qint64 maxBytes = 0;
    QByteArray body;
    bool tooLarge = false;
    int redirects = 0;
    QElapsedTimer clock;
    char error[CURL_ERROR_SIZE] = {};
};

size_t onData(char *data, size_t size, size_t count, void *userData)
{
    auto *transfer = static_cast<Transfer *>(userData);
    const size_t bytes = size * count;
    // Servers need not announce a size, nor tell the truth about it.
    if (transfer->body.size() + qint64(bytes) > transfer->maxBytes) {
        transfer->tooLarge = true;
        return 0;
    }
    transfer->body.append(data, qsizetype(bytes));
    return bytes;
}

int onProgress(void *job, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<TorrentFetcher::Job *>(job)->cancelled ? 1 : 0;
}

// Starts the next hop of transfer; false (with the error set) when it cannot.
bool startHop(CURLM *multi, TorrentFetcher::Job &job, Transfer &transfer, const QUrl &url)
{
    const qint64 remaining = job.limits.timeoutMs - transfer.clock.elapsed();
    if (remaining <= 0) {
        job.results[transfer.index].error = QStringLiteral("timed out");
        return false;
    }
    if (transfer.easy)
        curl_easy_cleanup(transfer.easy);
    transfer.body.clear();
    transfer.tooLarge = false;
    transfer.error[0] = 0;
    CURL *easy = transfer.easy = curl_easy_init();
    const QByteArray address = url.toEncoded();
    curl_easy_setopt(easy, CURLOPT_URL, address.constData());
    curl_easy_setopt(easy, CURLOPT_PRIVATE, &transfer);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer.error);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
    // Redirects are followed here, one checked hop at a time, so that each
    // target passes the same checks as the address the player sent.
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    // An empty proxy: no proxy from the environment either.
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "MorvaneCore");
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, long(remaining));
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(job.limits.maxBytes));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &onData);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &job);
    // One RETR of the whole path; the data connection goes to the control
    // connection's host, whatever address the server names.
    curl_easy_setopt(easy, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_NOCWD));
    curl_easy_setopt(easy, CURLOPT_FTP_SKIP_PASV_IP, 1L);
    if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
        job.results[transfer.index].error = QStringLiteral("the transfer could not be started");
        return false;
    }
    return true;
}

// A hop has ended: true when the transfer goes on with another hop.
bool hopDone(CURLM *multi, TorrentFetcher::Job &job, Transfer &transfer, CURLcode code)
{
    TorrentFetcher::Result &result = job.results[transfer.index];
    if (code != CURLE_OK) {
        if (transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED)
            result.error = QStringLiteral("file too large for a torrent");
        else if (code == CURLE_OPERATION_TIMEDOUT)
            result.error = QStringLiteral("timed out");
        else if (transfer.error[0])
            result.error = QString::fromUtf8(transfer.error);
        else
            result.error = QString::fromUtf8(curl_easy_strerror(code));
        return false;
    }
    long status = 0;
    curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &status);
    if (!isWeb(result.url.scheme().toLower()) || status < 300 || status >= 400) {
        result.data = transfer.body;
        return false;
    }
    char *location = nullptr;
    curl_easy_getinfo(transfer.easy, CURLINFO_REDIRECT_URL, &location);
    if (!location) {
        result.error = QStringLiteral("redirect not followed");
        return false;
    }
    const QString target = QString::fromUtf8(location);
    QString why = isWeb(QUrl(target).scheme().toLower()) ? TorrentFetcher::refusal(target, job.loopbackOnly)
                                                         : QStringLiteral("not an http or https address");
    if (why.isEmpty() && ++transfer.redirects > job.limits.maxRedirects)
        why = QStringLiteral("too many redirects");
    if (!why.isEmpty()) {
        qCWarning(lcCore).noquote() << "redirect refused:" << target << ":" << why;
        result.error = QStringLiteral("redirect refused: ") + why;
        return false;
    }
    return startHop(multi, job, transfer, QUrl(target, QUrl::StrictMode));
}

void runTransfers(TorrentFetcher::Job &job)
{
    CURLM *multi = curl_multi_init();
    std::vector<std::unique_ptr<Transfer>> transfers;
    int open = 0;
    for (const int index : std::as_const(job.pending)) {
        auto &transfer = transfers.emplace_back(std::make_unique<Transfer>());
        transfer->index = index;
        transfer->maxBytes = job.limits.maxBytes;
        transfer->clock.start();
        if (startHop(multi, job, *transfer, job.results.at(index).url))
            ++open;
    }
    while (open > 0 && !job.cancelled) {
        int running = 0;
        curl_multi_perform(multi, &running);
        int left = 0;
        while (CURLMsg *message = curl_multi_info_read(multi, &left)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            CURL *easy = message->easy_handle;
            const CURLcode code = message->data.result;
            curl_multi_remove_handle(multi, easy);
            Transfer *transfer = nullptr;
            curl_easy_getinfo(easy, CURLINFO_PRIVATE, &transfer);
            if (!hopDone(multi, job, *transfer, code))
                --open;
        }
        if (open > 0)
            curl_multi_poll(multi, nullptr, 0, 100, nullptr);
    }
    for (const auto &transfer : transfers) {
        if (transfer->easy)
            curl_multi_remove_handle(multi, transfer->easy);
    }
    transfers.clear();
    curl_multi_cleanup(multi);
}
}

TorrentFetcher::TorrentFetcher(bool loopbackOnly, QObject *parent)
    : QObject(parent)
    , m_loopbackOnly(loopbackOnly)
{
    // Thread-safe since libcurl 7.84; done once before the first transfer.
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    Q_UNUSED(initialised);
}

TorrentFetcher::~TorrentFetcher()
{
    if (m_job)
        m_job->cancelled = true;
}

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

QString TorrentFetcher::refusal(const QString &address, bool loopbackOnly)
{
    // A line break, written out or percent-encoded, would end an FTP command
    // early and start one of the sender's choosing.
    if (hasControl(address))
        return QStringLiteral("control character in the address");
    const QUrl url(address, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || !(isWeb(scheme) || scheme == QLatin1String("ftp")))
        return QStringLiteral("not an http, https or ftp address");
    if (hasControl(url.userName(QUrl::FullyDecoded)) || hasControl(url.password(QUrl::FullyDecoded))
        || hasControl(url.path(QUrl::FullyDecoded)))
        return QStringLiteral("control character in the user name, password or path");
    if (loopbackOnly && !isLoopbackHost(url.host()))
        return QStringLiteral("loopback mode: address outside this machine refused");
    return QString();
}

void TorrentFetcher::fetch(const QStringList &texts)
{
    auto job = std::make_shared<Job>();
    job->limits = m_limits;
    job->loopbackOnly = m_loopbackOnly;
    for (const QString &text : texts) {
        Result result;
        result.text = text;
        QString download;
        splitComment(text, &download, &result.commentUrl);
        result.url = QUrl(download, QUrl::StrictMode);
        // Checked here, before any thread or connection exists.
        result.error = refusal(download, m_loopbackOnly);
        if (result.error.isEmpty())
            job->pending.append(int(job->results.size()));
        job->results.append(result);
    }
    if (job->pending.isEmpty()) {
        emit finished(job->results);
        return;
    }
    m_job = job;
    // The thread holds the job too: it outlives this object when need be.
    QThread *thread = QThread::create([job] { runTransfers(*job); });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(thread, &QThread::finished, this, [this, job] {
        if (!job->cancelled)
            emit finished(job->results);
    });
    thread->start();
}
