#include "temporaryhome.h"

#include <QCoreApplication>
#include <QDir>

TemporaryHome::TemporaryHome()
{
    if (!m_dir.isValid())
        return;
    QDir root(m_dir.path());
    for (const char *sub : { "data", "config", "cache", "runtime", "Documents" })
        root.mkpath(QString::fromLatin1(sub));
    QFile::setPermissions(root.filePath(QStringLiteral("runtime")),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    set("HOME", m_dir.path());
    set("XDG_DATA_HOME", root.filePath(QStringLiteral("data")));
    set("XDG_CONFIG_HOME", root.filePath(QStringLiteral("config")));
    set("XDG_CACHE_HOME", root.filePath(QStringLiteral("cache")));
    set("XDG_RUNTIME_DIR", root.filePath(QStringLiteral("runtime")));
    set("XDG_DOCUMENTS_DIR", root.filePath(QStringLiteral("Documents")));
}

TemporaryHome::~TemporaryHome()
{
    for (auto it = m_saved.cbegin(); it != m_saved.cend(); ++it)
        qputenv(it.key().constData(), it.value());
    for (const QByteArray &name : m_unset)
        qunsetenv(name.constData());
}

QString TemporaryHome::dataHome() const
{
    return QDir(m_dir.path()).filePath(QStringLiteral("data"));
}

QString TemporaryHome::documents() const
{
    return QDir(m_dir.path()).filePath(QStringLiteral("Documents"));
}

QProcessEnvironment TemporaryHome::environment() const
{
    return QProcessEnvironment::systemEnvironment();
}

void TemporaryHome::set(const char *name, const QString &value)
{
    if (qEnvironmentVariableIsSet(name))
        m_saved.insert(name, qgetenv(name));
    else
        m_unset.append(name);
    qputenv(name, value.toLocal8Bit());
}

std::unique_ptr<TemporaryHome> TemporaryHome::forPlayer()
{
    auto home = std::make_unique<TemporaryHome>();
    if (!home->isValid())
        return nullptr;
    QCoreApplication::setApplicationName(QStringLiteral("Morvane"));
    return home;
}
