#include "byterange.h"

namespace {
// Digits only: toLongLong would also take signs and spaces.
bool number(const QByteArray &text, qint64 *value)
{
    if (text.isEmpty() || text.size() > 18)
        return false;
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    *value = text.toLongLong();
    return true;
}
}

ByteRange ByteRange::parse(const QByteArray &header, qint64 size)
{
    ByteRange whole;
    whole.last = size - 1;
    const QByteArray spec = header.trimmed();
    if (!spec.startsWith("bytes=") || spec.contains(','))
        return whole;
    const QByteArray value = spec.mid(6).trimmed();
    const qsizetype dash = value.indexOf('-');
    if (dash < 0)
        return whole;
    const QByteArray from = value.left(dash).trimmed();
    const QByteArray to = value.mid(dash + 1).trimmed();
    ByteRange range;
    range.kind = Part;
    if (from.isEmpty()) {
        // The last n bytes.
        qint64 count = 0;
        if (!number(to, &count))
            return whole;
        if (count == 0 || size == 0) {
            range.kind = Unsatisfiable;
            return range;
        }
        range.first = qMax<qint64>(0, size - count);
        range.last = size - 1;
        return range;
    }
    qint64 first = 0;
    qint64 last = size - 1;
    if (!number(from, &first) || (!to.isEmpty() && !number(to, &last)) || (!to.isEmpty() && last < first))
        return whole;
    if (first >= size) {
        range.kind = Unsatisfiable;
        return range;
    }
    range.first = first;
    range.last = qMin(last, size - 1);
    return range;
}
