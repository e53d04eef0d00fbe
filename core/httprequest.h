#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

#include <optional>

// The head of one HTTP/1.x request: the request line and its header fields.
class HttpRequest
{
public:
    // head: everything before the blank line. Nothing for a head that is no
    // HTTP/1.x request.
    static std::optional<HttpRequest> parse(const QByteArray &head);

    // The value of the first field of this name (case-insensitive); empty when absent.
    QByteArray header(const QByteArray &name) const;
    // Whether the connection stays open after the answer.
    bool keepAlive() const;

    QByteArray method;
    QByteArray target;
    int minorVersion = 1;
    QList<QPair<QByteArray, QByteArray>> headers; // names in lower case
};
