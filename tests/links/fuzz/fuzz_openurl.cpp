// The text of the Open URL dialog, as the user's OK sends it.
#include "fuzzlinks.h"

#include "links/openurl.h"

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    setUpLinkFuzzing(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static openurl dialog;
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    dialog.setText(text);
    // Without a line to send, OK shows a modal warning: not a parser path.
    bool anyLine = false;
    for (const QString &line : dialog.text().split(QLatin1Char('\n')))
        anyLine = anyLine || !line.trimmed().isEmpty();
    if (!anyLine)
        return 0;
    const QMetaObject::Connection check = QObject::connect(&dialog, &openurl::sessionRequest, &checkRequest);
    dialog.on_okpushButton_clicked();
    QObject::disconnect(check);
    return 0;
}
