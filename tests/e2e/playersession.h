#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

// The real Morvane, run as a child on a given X display from a private copy
// of the program folder (the player stops cores by their exact path, so a
// copy keeps other tests' cores out of reach). Everything it says on stderr
// is kept with the time it arrived, for assertions from outside.
class PlayerSession
{
public:
    struct Line
    {
        qint64 ms; // since the session's clock started
        QString text;
    };
    // What the window showed at its last traced tick.
    struct Screen
    {
        bool valid = false;
        int current = -1; // seconds played, -1 before the label shows a time
        int total = -1;
        int playState = -1;
        bool seekEnabled = false;
        QRect slider;
        QRect closeButton;
        QRect video;
    };

    // environment: the temporary home's; display ":N".
    PlayerSession(const QProcessEnvironment &environment, const QString &display);
    ~PlayerSession();
    PlayerSession(const PlayerSession &) = delete;
    PlayerSession &operator=(const PlayerSession &) = delete;

    bool isValid() const { return m_valid; }
    QString programFolder() const { return m_programs.path(); }
    QString corePath() const;
    QString socketPath() const;

    // Registers the handler the way set-up does ("Kelvora auto" from the copy).
    bool registerHandler();

    // Starts a player (the first or a second start) with these arguments.
    bool start(const QStringList &arguments);
    // Hands arguments to the running player the way the shell does: a second
    // start, run from folder (the copy's folder when empty).
    bool secondStart(const QStringList &arguments, int timeoutMs = 10000, const QString &folder = QString());

    void restartClock() { m_clock.restart(); }
    qint64 now() const { return m_clock.elapsed(); }

    // First line at or after fromMs containing text; its time or -1.
    qint64 lineTime(const QString &text, qint64 fromMs = 0);
    // Waits for such a line; its time or -1 at the deadline.
    qint64 waitForLine(const QString &text, int timeoutMs, qint64 fromMs = 0);
    // Waits until the latest traced screen satisfies test; its time or -1.
    qint64 waitForScreen(const std::function<bool(const Screen &)> &test, int timeoutMs, qint64 fromMs = 0);
    Screen screen();
    // The engine's clock in ms as traced ("ui: playing at", every half second
    // of play at most), each with the time it arrived.
    QList<QPair<qint64, qint64>> engineTimes(qint64 fromMs = 0);
    // Waits until the engine's clock shows at least engineMs; when, or -1.
    qint64 waitForEngineTime(qint64 engineMs, int timeoutMs, qint64 fromMs = 0);
    // Every traced screen since fromMs, with its time.
    QList<QPair<qint64, Screen>> screens(qint64 fromMs = 0);

    bool click(const QPoint &globalPoint);
    // Focuses the visible window with this title and types keys into it (xdotool key names).
    bool typeInto(const QString &windowTitle, const QString &keys, int timeoutMs = 10000);
    // The player's visible top-level windows (X ids), whatever their titles.
    QStringList windows();
    // Focuses this window and types keys into it (xdotool key names).
    bool typeIntoWindow(const QString &id, const QString &keys);
    QImage screenshot();

    bool waitForPlayerExit(int timeoutMs);
    bool playerRunning() const { return m_player.state() != QProcess::NotRunning; }
    // Cores running from this copy (by exact executable path).
    QList<qint64> corePids() const;
    bool waitForCoreCount(int count, int timeoutMs);
    // Stops the player and any core of this copy; only this session's processes.
    void stopAll();

    QString log();

    static Screen parseScreen(const QString &line);

private:
    void readOutput();

    QProcessEnvironment m_environment;
    QString m_display;
    QTemporaryDir m_programs;
    QTemporaryDir m_tmp; // private TMPDIR: the core's local socket lives there
    QProcess m_player;
    QElapsedTimer m_clock;
    QList<Line> m_lines;
    QByteArray m_pending;
    bool m_valid = false;
};
