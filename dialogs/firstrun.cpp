#include "firstrun.h"

#include "assoc/urihandler.h"
#include "dialogs/wizard.h"
#include "platform/logging.h"
#include "settings/preferences.h"

bool FirstRun::wizardDue(const QString &configTime, const HandlerCheck &isUriHandlerRegistered)
{
    if (configTime.isEmpty())
        return true;
    return !(isUriHandlerRegistered && isUriHandlerRegistered());
}

bool FirstRun::runWizardIfDue(const Preferences &settings, const HandlerCheck &isUriHandlerRegistered)
{
    const QString time = settings.value(QStringLiteral("/config/time"), QVariant()).toString();
    if (!wizardDue(time, isUriHandlerRegistered))
        return false;
    qCDebug(lcDialogs, "showing the setup wizard..");
    Wizard wizard;
    wizard.setWindowFlags(Qt::CustomizeWindowHint | Qt::WindowMinimizeButtonHint);
    wizard.exec();
    return true;
}

bool FirstRun::runWizardIfDue(const Preferences &settings)
{
    return runWizardIfDue(settings, [] { return UriHandler::isUriHandlerRegistered(); });
}
