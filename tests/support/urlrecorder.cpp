#include "urlrecorder.h"

#include <QDesktopServices>

UrlRecorder::UrlRecorder(const QStringList &schemes)
    : m_schemes(schemes)
{
    for (const QString &scheme : schemes)
        QDesktopServices::setUrlHandler(scheme, this, "open");
}

UrlRecorder::~UrlRecorder()
{
    for (const QString &scheme : std::as_const(m_schemes))
        QDesktopServices::unsetUrlHandler(scheme);
}
