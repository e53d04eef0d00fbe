// Command-line parameters, second-start messages, morvane:// links and
// start-page links, as LinkProcessor takes them. The first byte picks the
// entry point.
#include "fuzzlinks.h"

#include "links/linkprocessor.h"

#include <QDesktopServices>
#include <QUrl>

#include <cstdint>

namespace {
// Stands in for the desktop's browser: a fuzzed link must never reach it
// unless it is one of the schemes the player hands on.
class Browser : public QObject
{
    Q_OBJECT

public slots:
    void open(const QUrl &url)
    {
        static const QStringList allowed
            = { QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("ftp"),
                  QStringLiteral("magnet"), QStringLiteral("morvane"), QStringLiteral("bc") };
        if (!allowed.contains(url.scheme().toLower()))
            abort();
    }
};
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    setUpLinkFuzzing(argc, argv);
    static Browser browser;
    for (const char *scheme : { "http", "https", "ftp", "magnet", "morvane", "bc", "file", "javascript" })
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &browser, "open");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    LinkProcessor links({}, nullptr, nullptr, nullptr);
    QObject::connect(&links, &LinkProcessor::sessionRequest, &checkRequest);
    switch (data[0] % 3) {
    case 0:
        links.processParams(text);
        break;
    case 1:
        links.processmorvane(QStringLiteral("morvane://") + text);
        break;
    default:
        links.openUrlSlot(QUrl(text));
        break;
    }
    return 0;
}

#include "fuzz_linkprocessor.moc"
