#pragma once

#include <QSettings>
#include <QString>

#include <memory>

// The two registry roots Kelvora writes, as a small key-value store. Paths use
// "/" between keys; a last component "Default" is the key's default value.
class RegistryStore
{
public:
    enum Root { Classes, User };

    // HKEY_CLASSES_ROOT and HKEY_CURRENT_USER (only meaningful on Windows).
    static RegistryStore nativeRoots();
    // Two ini files standing in for the roots. Key names ignore letter case,
    // as registry key names do, so that two paths that differ only in case
    // meet in one key here as they would there.
    static RegistryStore iniFiles(const QString &classesFile, const QString &userFile);

    // One operation's own view of both roots, opened on first use and
    // written back when it ends; what others wrote before is always seen.
    class Session
    {
    public:
        // Empty when the value is missing.
        QString value(Root root, const QString &path) const;
        bool contains(Root root, const QString &path) const;
        void setValue(Root root, const QString &path, const QString &value);
        void remove(Root root, const QString &path);

    private:
        friend class RegistryStore;
        explicit Session(const RegistryStore &store);
        QSettings &settings(Root root) const;
        QString key(const QString &path) const;

        RegistryStore const *m_store;
        mutable std::unique_ptr<QSettings> m_classes;
        mutable std::unique_ptr<QSettings> m_user;
    };

    Session open() const { return Session(*this); }

    // Single reads and writes, each in a session of its own.
    QString value(Root root, const QString &path) const { return open().value(root, path); }
    bool contains(Root root, const QString &path) const { return open().contains(root, path); }
    void setValue(Root root, const QString &path, const QString &value)
    {
        open().setValue(root, path, value);
    }
    void remove(Root root, const QString &path) { open().remove(root, path); }

private:
    RegistryStore(QString classes, QString user, QSettings::Format format, bool foldCase);

    QString m_classes;
    QString m_user;
    QSettings::Format m_format;
    bool m_foldCase;
};
