#include "httprequest.h"

std::optional<HttpRequest> HttpRequest::parse(const QByteArray &head)
{
    const QList<QByteArray> lines = head.split('\n');
    if (lines.isEmpty())
        return std::nullopt;
    const QList<QByteArray> parts = lines.first().trimmed().split(' ');
    if (parts.size() != 3 || parts.at(0).isEmpty() || parts.at(1).isEmpty())
        return std::nullopt;
    HttpRequest request;
    request.method = parts.at(0);
    request.target = parts.at(1);
    if (parts.at(2) == "HTTP/1.1")
        request.minorVersion = 1;
    else if (parts.at(2) == "HTTP/1.0")
        request.minorVersion = 0;
    else
        return std::nullopt;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        if (line.isEmpty())
            continue;
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return std::nullopt;
        request.headers.append({ line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed() });
    }
    return request;
}

QByteArray HttpRequest::header(const QByteArray &name) const
{
    const QByteArray wanted = name.toLower();
    for (const auto &field : headers)
        if (field.first == wanted)
            return field.second;
    return QByteArray();
}

bool HttpRequest::keepAlive() const
{
    const QByteArray connection = header("connection").toLower();
    if (minorVersion == 0)
        return connection.contains("keep-alive");
    return !connection.contains("close");
}
