#include "playersession.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <csignal>

namespace {

QString buildBin()
{
    const QString fromEnv = qEnvironmentVariable("MORVANE_BIN_DIR");
    return fromEnv.isEmpty() ? QStringLiteral(MORVANE_BUILD_BIN_DIR) : fromEnv;
}

QRect parseRect(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return QRect();
    return QRect(parts[0].toInt(), parts[1].toInt(), parts[2].toInt(), parts[3].toInt());
}

int parseClock(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 3)
        return -1;
    return parts[0].toInt() * 3600 + parts[1].toInt() * 60 + parts[2].toInt();
}

// Lets the event loop run a little between polls of a condition.
void pump()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
}

} // namespace

PlayerSession::PlayerSession(const QProcessEnvironment &environment, const QString &display)
    : m_environment(environment)
    , m_display(display)
{
    m_clock.start();
    if (!m_programs.isValid() || !m_tmp.isValid())
        return;
    bool copied = true;
    for (const char *name : { "Morvane", "MorvaneCore", "Kelvora", "updater" }) {
        const QString file = QString::fromLatin1(name);
        copied
            = copied && QFile::copy(QDir(buildBin()).filePath(file), QDir(m_programs.path()).filePath(file));
    }
    m_valid = copied;

    m_environment.insert(QStringLiteral("DISPLAY"), display);
    m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    m_environment.insert(QStringLiteral("MORVANE_NETWORK"), QStringLiteral("loopback"));
    m_environment.insert(QStringLiteral("MORVANE_UI_TRACE"), QStringLiteral("1"));
    m_environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("morvane.*=true"));
    m_environment.insert(QStringLiteral("TMPDIR"), m_tmp.path());
    // The core's socket lives in the runtime folder: a private one per session.
    m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_tmp.path());
    m_environment.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    m_environment.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), QStringLiteral("--disable-gpu"));
    m_environment.insert(QStringLiteral("LIBGL_ALWAYS_SOFTWARE"), QStringLiteral("1"));
    m_player.setProcessEnvironment(m_environment);
    m_player.setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(&m_player, &QProcess::readyRead, [this] { readOutput(); });
}

PlayerSession::~PlayerSession()
{
    stopAll();
    // For a look after the fact: MORVANE_E2E_LOG=file keeps the last session's output.
    const QString keep = qEnvironmentVariable("MORVANE_E2E_LOG");
    QFile file(keep);
    if (!keep.isEmpty() && file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(log().toUtf8());
}

QString PlayerSession::corePath() const
{
    return QDir(m_programs.path()).filePath(QStringLiteral("MorvaneCore"));
}

QString PlayerSession::socketPath() const
{
    return QDir(m_tmp.path()).filePath(QStringLiteral("MorvaneCore"));
}

bool PlayerSession::registerHandler()
{
    QProcess kelvora;
    kelvora.setProcessEnvironment(m_environment);
    kelvora.setProcessChannelMode(QProcess::MergedChannels);
    kelvora.start(QDir(m_programs.path()).filePath(QStringLiteral("Kelvora")), { QStringLiteral("auto") });
    if (kelvora.waitForFinished(30000) && kelvora.exitStatus() == QProcess::NormalExit)
        return true;
    qWarning("Kelvora auto: %s, exit status %d, code %d: %s", qPrintable(kelvora.errorString()),
        int(kelvora.exitStatus()), kelvora.exitCode(), kelvora.readAll().constData());
    return false;
}

bool PlayerSession::start(const QStringList &arguments)
{
    m_player.start(QDir(m_programs.path()).filePath(QStringLiteral("Morvane")), arguments);
    return m_player.waitForStarted(10000);
}

bool PlayerSession::secondStart(const QStringList &arguments, int timeoutMs, const QString &folder)
{
    QProcess second;
    second.setProcessEnvironment(m_environment);
    second.setWorkingDirectory(folder.isEmpty() ? m_programs.path() : folder);
    second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    second.start(QDir(m_programs.path()).filePath(QStringLiteral("Morvane")), arguments);
    return second.waitForFinished(timeoutMs) && second.exitCode() == 0;
}

void PlayerSession::readOutput()
{
    m_pending += m_player.readAll();
    const qint64 at = m_clock.elapsed();
    int end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        m_lines.append({ at, QString::fromUtf8(m_pending.left(end)) });
        m_pending.remove(0, end + 1);
    }
}

QString PlayerSession::log()
{
    readOutput();
    QString text;
    for (const Line &line : std::as_const(m_lines))
        text += QString::number(line.ms) + QLatin1Char(' ') + line.text + QLatin1Char('\n');
    return text;
}

qint64 PlayerSession::lineTime(const QString &text, qint64 fromMs)
{
    readOutput();
    for (const Line &line : std::as_const(m_lines))
        if (line.ms >= fromMs && line.text.contains(text))
            return line.ms;
    return -1;
}

qint64 PlayerSession::waitForLine(const QString &text, int timeoutMs, qint64 fromMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const qint64 at = lineTime(text, fromMs);
        if (at >= 0 || deadline.hasExpired())
            return at;
        pump();
    }
}

PlayerSession::Screen PlayerSession::parseScreen(const QString &line)
{
    static const QRegularExpression pattern(
        QStringLiteral("ui: time (\\S*) state (\\d+) seek (\\d) slider (\\S+) close (\\S+) video (\\S+)"));
    Screen screen;
    const QRegularExpressionMatch match = pattern.match(line);
    if (!match.hasMatch())
        return screen;
    screen.valid = true;
    const QStringList times = match.captured(1).split(QLatin1Char('/'));
    if (times.size() == 2) {
        screen.current = parseClock(times[0]);
        screen.total = parseClock(times[1]);
    }
    screen.playState = match.captured(2).toInt();
    screen.seekEnabled = match.captured(3) == QLatin1String("1");
    screen.slider = parseRect(match.captured(4));
    screen.closeButton = parseRect(match.captured(5));
    screen.video = parseRect(match.captured(6));
    return screen;
}

QList<QPair<qint64, PlayerSession::Screen>> PlayerSession::screens(qint64 fromMs)
{
    readOutput();
    QList<QPair<qint64, Screen>> result;
    for (const Line &line : std::as_const(m_lines)) {
        if (line.ms < fromMs || !line.text.contains(QLatin1String("ui: time")))
            continue;
        const Screen screen = parseScreen(line.text);
        if (screen.valid)
            result.append({ line.ms, screen });
    }
    return result;
}

QList<QPair<qint64, qint64>> PlayerSession::engineTimes(qint64 fromMs)
{
    readOutput();
    static const QLatin1String mark("ui: playing at ");
    QList<QPair<qint64, qint64>> result;
    for (const Line &line : std::as_const(m_lines)) {
        const qsizetype at = line.text.indexOf(mark);
        if (line.ms >= fromMs && at >= 0)
            result.append({ line.ms, line.text.mid(at + mark.size()).trimmed().toLongLong() });
    }
    return result;
}

qint64 PlayerSession::waitForEngineTime(qint64 engineMs, int timeoutMs, qint64 fromMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        for (const auto &entry : engineTimes(fromMs))
            if (entry.second >= engineMs)
                return entry.first;
        if (deadline.hasExpired())
            return -1;
        pump();
    }
}

PlayerSession::Screen PlayerSession::screen()
{
    const auto all = screens();
    return all.isEmpty() ? Screen() : all.last().second;
}

qint64 PlayerSession::waitForScreen(
    const std::function<bool(const Screen &)> &test, int timeoutMs, qint64 fromMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const auto all = screens(fromMs);
        for (const auto &entry : all)
            if (test(entry.second))
                return entry.first;
        if (deadline.hasExpired())
            return -1;
        pump();
    }
}

bool PlayerSession::click(const QPoint &globalPoint)
{
    QProcess xdotool;
    xdotool.setProcessEnvironment(m_environment);
    xdotool.start(QStringLiteral("xdotool"),
        { QStringLiteral("mousemove"), QString::number(globalPoint.x()), QString::number(globalPoint.y()),
            QStringLiteral("click"), QStringLiteral("1") });
    return xdotool.waitForFinished(10000) && xdotool.exitCode() == 0;
}

bool PlayerSession::typeInto(const QString &windowTitle, const QString &keys, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        QProcess search;
        search.setProcessEnvironment(m_environment);
        search.start(QStringLiteral("xdotool"),
            { QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                windowTitle });
        search.waitForFinished(5000);
        const QByteArray id = search.readAllStandardOutput().trimmed().split('\n').value(0);
        if (!id.isEmpty())
            return typeIntoWindow(QString::fromLatin1(id), keys);
        if (deadline.hasExpired())
            return false;
        pump();
    }
}

bool PlayerSession::typeIntoWindow(const QString &id, const QString &keys)
{
    QProcess xdotool;
    xdotool.setProcessEnvironment(m_environment);
    xdotool.start(QStringLiteral("xdotool"),
        { QStringLiteral("windowfocus"), QStringLiteral("--sync"), id, QStringLiteral("key"), keys });
    return xdotool.waitForFinished(10000) && xdotool.exitCode() == 0;
}

QStringList PlayerSession::windows()
{
    if (m_player.state() == QProcess::NotRunning)
        return {};
    // Qt stamps each window with its process id.
    QProcess search;
    search.setProcessEnvironment(m_environment);
    search.start(QStringLiteral("xdotool"),
        { QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
            QString::number(m_player.processId()) });
    search.waitForFinished(5000);
    return QString::fromLatin1(search.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QImage PlayerSession::screenshot()
{
    QProcess import;
    import.setProcessEnvironment(m_environment);
    import.start(QStringLiteral("import"),
        { QStringLiteral("-display"), m_display, QStringLiteral("-window"), QStringLiteral("root"),
            QStringLiteral("png:-") });
    if (!import.waitForFinished(20000) || import.exitCode() != 0)
        return QImage();
    return QImage::fromData(import.readAllStandardOutput(), "PNG");
}

bool PlayerSession::waitForPlayerExit(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (m_player.state() != QProcess::NotRunning) {
        if (deadline.hasExpired())
            return false;
        m_player.waitForFinished(100);
    }
    readOutput();
    return true;
}

QList<qint64> PlayerSession::corePids() const
{
    QList<qint64> pids;
    const QString target = QFileInfo(corePath()).canonicalFilePath();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number)
            continue;
        const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
        if (!exe.isEmpty() && exe == target)
            pids.append(pid);
    }
    return pids;
}

bool PlayerSession::waitForCoreCount(int count, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (corePids().size() != count) {
        if (deadline.hasExpired())
            return false;
        pump();
    }
    return true;
}

void PlayerSession::stopAll()
{
    if (m_player.state() != QProcess::NotRunning) {
        m_player.terminate();
        if (!m_player.waitForFinished(5000)) {
            m_player.kill();
            m_player.waitForFinished(5000);
        }
    }
    // The cores this copy's player started: ours by their exact path.
    for (qint64 pid : corePids())
        ::kill(pid_t(pid), SIGTERM);
    if (!waitForCoreCount(0, 5000))
        for (qint64 pid : corePids())
            ::kill(pid_t(pid), SIGKILL);
    waitForCoreCount(0, 5000);
}
