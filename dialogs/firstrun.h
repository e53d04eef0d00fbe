#pragma once

#include <QString>

#include <functional>

class Preferences;

// Whether start-up shows the setup wizard, and showing it.
class FirstRun
{
public:
    FirstRun() = delete;

    // Answers whether the morvane:// handler is registered to this program.
    using HandlerCheck = std::function<bool()>;

    // Due while the updater has not yet stamped "/config/time", or while the
    // handler is not ours. The check is asked only when the time is set.
    static bool wizardDue(const QString &configTime, const HandlerCheck &isUriHandlerRegistered);

    // Start-up step before the main window: when due, runs the wizard
    // modally. Its answer does not matter; returns whether it was shown.
    static bool runWizardIfDue(const Preferences &settings, const HandlerCheck &isUriHandlerRegistered);
    // The same, asking the association back-end about this very program.
    static bool runWizardIfDue(const Preferences &settings);
};
