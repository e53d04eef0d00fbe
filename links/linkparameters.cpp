#include "linkparameters.h"

void LinkParameters::clear()
{
    *this = LinkParameters();
}

bool LinkParameters::assign(const QString &part, bool withStartPage)
{
    // The order matters only for the first match; no key is a prefix of another.
    const struct
    {
        QLatin1String key;
        QString LinkParameters::*field;
    } keys[] = {
        { QLatin1String("ty="), &LinkParameters::ty },
        { QLatin1String("ro="), &LinkParameters::ro },
        { QLatin1String("url="), &LinkParameters::url },
        { QLatin1String("id="), &LinkParameters::id },
        { QLatin1String("dm="), &LinkParameters::dm },
        { QLatin1String("xl="), &LinkParameters::xl },
        { QLatin1String("ua="), &LinkParameters::ua },
        { QLatin1String("tr="), &LinkParameters::tr },
        { QLatin1String("ts="), &LinkParameters::ts },
        { QLatin1String("cs="), &LinkParameters::cs },
        { QLatin1String("sp="), &LinkParameters::sp },
    };
    for (const auto &entry : keys) {
        if (entry.field == &LinkParameters::sp && !withStartPage)
            continue;
        if (part.startsWith(entry.key, Qt::CaseInsensitive)) {
            this->*entry.field = part.mid(entry.key.size());
            return true;
        }
    }
    return false;
}
