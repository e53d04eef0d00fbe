#pragma once

#include <QDate>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariant>

// Launches the separate updater: quietly a while after start when the last
// check is some days old, or on the user's request from the menu.
class UpdateCheck : public QObject
{
    Q_OBJECT

public:
    explicit UpdateCheck(QObject *parent = nullptr);

    // Where the updater program lives; the player's own folder by default.
    void setProgramFolder(const QString &folder) { m_programFolder = folder; }
    QString programFolder() const { return m_programFolder; }

    // At every start: records the version and build time for the updater,
    // and schedules the quiet check when it is due (after delayMs).
    void start(const QDate &today = QDate::currentDate(), int delayMs = 10000);
    bool checkScheduled() const { return m_timer.isActive(); }

    // Whether a check last done on stored (a "yyyyMMdd" date) is due today:
    // three or more days ago, or no readable date at all.
    static bool isCheckDue(const QVariant &stored, const QDate &today);

public slots:
    // The quiet check: "updater hide", also when no web server is set.
    void slotupdater();
    // From the menu: "updater".
    void slotupgrade();

signals:
    // The updater was started with these arguments.
    void launched(QStringList arguments);

private:
    void launch(const QStringList &arguments);

    QString m_programFolder;
    QTimer m_timer;
};
