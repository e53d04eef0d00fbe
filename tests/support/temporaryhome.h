#pragma once

#include <QByteArray>
#include <QHash>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// A throw-away user: HOME and the XDG folders point into a fresh temporary
// folder for as long as the object lives, then the old values come back.
class TemporaryHome
{
public:
    TemporaryHome();
    ~TemporaryHome();
    TemporaryHome(const TemporaryHome &) = delete;
    TemporaryHome &operator=(const TemporaryHome &) = delete;

    // A fresh home with the application named as the player, so that its
    // settings file and folders land inside; null when the folder failed.
    static std::unique_ptr<TemporaryHome> forPlayer();

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString dataHome() const;
    QString documents() const;
    // The environment a child process needs to live in the same home.
    QProcessEnvironment environment() const;

private:
    void set(const char *name, const QString &value);

    QTemporaryDir m_dir;
    QHash<QByteArray, QByteArray> m_saved;
    QList<QByteArray> m_unset;
};
