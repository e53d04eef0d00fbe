#include "replyrow.h"

#include <optional>

namespace {

// The core writes plain decimal digits; those are read directly, since a
// status reply carries several numbers per download. Anything else goes
// through the full conversion (and so reads as 0 when it is not a number).
template <typename Integer, int MaxDigits> std::optional<Integer> plainDigits(const QString &text)
{
    if (text.isEmpty() || text.size() > MaxDigits)
        return std::nullopt;
    Integer value = 0;
    for (const QChar c : text) {
        const char16_t d = c.unicode();
        if (d < u'0' || d > u'9')
            return std::nullopt;
        value = value * 10 + (d - u'0');
    }
    return value;
}

} // namespace

double ReplyRow::number(const QString &text)
{
    if (const auto value = plainDigits<qint64, 15>(text))
        return double(*value);
    return text.toDouble();
}

int ReplyRow::integer(const QString &text)
{
    if (const auto value = plainDigits<int, 9>(text))
        return *value;
    return text.toInt();
}
