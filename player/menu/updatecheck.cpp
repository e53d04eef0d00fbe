#include "updatecheck.h"

#include "links/websites.h"
#include "platform/logging.h"
#include "platform/programlauncher.h"
#include "platform/programnames.h"
#include "settings/preferences.h"

#include <QCoreApplication>
#include <QDir>

namespace {
const int daysBetweenChecks = 3;

QString updaterProgram()
{
    return ProgramNames::fileName(ProgramNames::Updater);
}
}

UpdateCheck::UpdateCheck(QObject *parent)
    : QObject(parent)
    , m_programFolder(QCoreApplication::applicationDirPath())
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &UpdateCheck::slotupdater);
}

void UpdateCheck::start(const QDate &today, int delayMs)
{
    Preferences settings;
    settings.setValue(QStringLiteral("/config/verison"), WebSites::programVersion());
    settings.setValue(QStringLiteral("/config/buildtime"), QStringLiteral(__DATE__ " " __TIME__));
    if (isCheckDue(settings.value(QStringLiteral("/config/time")), today))
        m_timer.start(delayMs);
}

bool UpdateCheck::isCheckDue(const QVariant &stored, const QDate &today)
{
    const QDate last = QDate::fromString(stored.toString().trimmed(), QStringLiteral("yyyyMMdd"));
    if (!last.isValid())
        return true;
    const qint64 days = last.daysTo(today);
    // A date after today comes from a wrong clock; waiting for it could
    // mean never checking again.
    return days >= daysBetweenChecks || days < 0;
}

void UpdateCheck::slotupdater()
{
    // Run even without a web server: the updater stamps "/config/time" and
    // quits quietly, and without that stamp start-up shows the wizard again.
    launch(QStringList { QStringLiteral("hide") });
}

void UpdateCheck::slotupgrade()
{
    launch(QStringList());
}

void UpdateCheck::launch(const QStringList &arguments)
{
    const QString program = QDir(m_programFolder).filePath(updaterProgram());
    if (!ProgramLauncher::startDetached(program, arguments)) {
        qCDebug(lcPlayer).noquote() << QStringLiteral("\tcould not start ") + program;
        return;
    }
    emit launched(arguments);
}
