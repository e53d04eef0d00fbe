#include "httpwindow.h"

#include "platform/commandline.h"
#include "platform/logging.h"

#include <QApplication>
#include <QLocale>
#include <QSettings>
#include <QTranslator>

int main(int argc, char **argv)
{
    CommandLine commandLine(QStringLiteral("updater"),
        QStringLiteral("Checks the maker's server for a newer release of Morvane."), CommandLine::Window);
    commandLine.addPositional(QStringLiteral("hide"),
        QStringLiteral("Check quietly: say nothing when there is no newer release."),
        QStringLiteral("[hide]"));
    if (!commandLine.parse(CommandLine::fromArgv(argc, argv)))
        return commandLine.finish();

    QApplication app(argc, argv);
    // The progress window may be closed while the download goes on.
    app.setQuitOnLastWindowClosed(false);

    QString locale;
    {
        const QSettings settings(HttpWindow::settingsFilePath(), QSettings::IniFormat);
        locale = settings.value(QStringLiteral("Preferences/General/Locale")).toString();
    }
    if (locale.isEmpty())
        locale = QLocale::system().name();
    QTranslator translator;
    if (translator.load(QStringLiteral(":/lang/updater_") + locale))
        QCoreApplication::installTranslator(&translator);
    else
        qCDebug(lcUpdater, "load translator failed");

    // Counted as argc was: one argument, whatever it says, means quiet.
    HttpWindow window(1 + int(commandLine.positionalArguments().size()));
    // Queued: the window may finish before the event loop runs.
    QObject::connect(
        &window, &HttpWindow::quitRequested, &app, [](int code) { QCoreApplication::exit(code); },
        Qt::QueuedConnection);
    window.start();
    return app.exec();
}
