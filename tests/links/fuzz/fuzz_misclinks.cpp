// bc://bt/ and pipe-form morvane:// links into magnet URIs, and the address test.
#include "settings/misc.h"

#include <QString>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QLatin1String magnet("magnet:?xt=urn:btih:");
    for (const QString &result : { misc::magnetFromBcLink(QStringLiteral("bc://bt/") + text),
             misc::magnetFromPipeLink(QStringLiteral("morvane://") + text) }) {
        if (!result.isEmpty() && (!result.startsWith(magnet) || !result.contains(QLatin1String("&dn="))))
            abort();
    }
    // A pipe link converts exactly when it has a hash and a name field.
    if (misc::magnetFromPipeLink(QStringLiteral("morvane://|") + text + QStringLiteral("|n")).isEmpty())
        abort();
    misc::isUrl(text);
    return 0;
}
