#include "registrystore.h"

RegistryStore::RegistryStore(QString classes, QString user, QSettings::Format format, bool foldCase)
    : m_classes(std::move(classes))
    , m_user(std::move(user))
    , m_format(format)
    , m_foldCase(foldCase)
{ }

RegistryStore RegistryStore::nativeRoots()
{
    return RegistryStore(QStringLiteral("HKEY_CLASSES_ROOT"), QStringLiteral("HKEY_CURRENT_USER"),
        QSettings::NativeFormat, false);
}

RegistryStore RegistryStore::iniFiles(const QString &classesFile, const QString &userFile)
{
    return RegistryStore(classesFile, userFile, QSettings::IniFormat, true);
}

RegistryStore::Session::Session(const RegistryStore &store)
    : m_store(&store)
{ }

QSettings &RegistryStore::Session::settings(Root root) const
{
    std::unique_ptr<QSettings> &settings = root == Classes ? m_classes : m_user;
    if (!settings) {
        settings = std::make_unique<QSettings>(
            root == Classes ? m_store->m_classes : m_store->m_user, m_store->m_format);
    }
    return *settings;
}

QString RegistryStore::Session::key(const QString &path) const
{
    return m_store->m_foldCase ? path.toLower() : path;
}

QString RegistryStore::Session::value(Root root, const QString &path) const
{
    return settings(root).value(key(path), QString()).toString();
}

bool RegistryStore::Session::contains(Root root, const QString &path) const
{
    return settings(root).contains(key(path));
}

void RegistryStore::Session::setValue(Root root, const QString &path, const QString &value)
{
    settings(root).setValue(key(path), value);
}

void RegistryStore::Session::remove(Root root, const QString &path)
{
    settings(root).remove(key(path));
}
