#include "app/myproxystyle.h"
#include "app/singleapplication.h"
#include "dialogs/firstrun.h"
#include "links/parameterpaths.h"
#include "platform/commandline.h"
#include "platform/logging.h"
#include "platform/webenginesandbox.h"
#include "player/player.h"
#include "settings/preferences.h"

#include <QDir>
#include <QLocale>
#include <QTranslator>

int main(int argc, char **argv)
{
    // Decided before the application exists: --help needs no display, and a
    // refused command line reaches no running player.
    CommandLine commandLine(QStringLiteral("Morvane"),
        QStringLiteral("Plays videos from BitTorrent while they download."), CommandLine::Window);
    commandLine.addPositional(QStringLiteral("file|link"),
        QStringLiteral("Video files, .torrent files, magnet:, bc://bt/ and morvane:// links to open."),
        QStringLiteral("[file|link...]"));
    commandLine.setPassThrough(QStringLiteral("--webEngineArgs"));
    if (!commandLine.parse(CommandLine::fromArgv(argc, argv)))
        return commandLine.finish();

    SingleApplication app(argc, argv);
    if (app.isRunning()) {
        qCDebug(lcApp, "Morvane is already running for this user.");
        // The running player has a folder of its own: name files from ours.
        const QStringList arguments
            = ParameterPaths::absolute(commandLine.positionalArguments(), QDir::currentPath());
        const QString message = SingleApplication::instanceMessage(arguments);
        if (!message.isEmpty()) {
            qCDebug(lcApp, "Passing program parameters to running instance...");
            qCDebug(lcApp, "Message: %s", qUtf8Printable(message));
            app.sendMessage(message, 5000);
        }
        return 0;
    }

    // The web views compose the window through OpenGL. Decided after the
    // window exists, Qt makes every native window again (the video's too,
    // under the engine) and the video's own window cannot take part; decided
    // from the start, every window of ours composes the same way.
    if (QGuiApplication::platformName() == QLatin1String("xcb")
        && !qEnvironmentVariableIsSet("QT_WIDGETS_RHI")) {
        qputenv("QT_WIDGETS_RHI", "1");
        qputenv("QT_WIDGETS_RHI_BACKEND", "opengl");
    }

    if (WebEngineSandbox::relaxForRoot())
        qCWarning(lcApp, "running as root: the web views run without their sandbox");

    // Names the data folder, and with it the settings file: before any Preferences.
    QCoreApplication::setApplicationName(QStringLiteral("Morvane"));
    QApplication::setStyle(new MyProxyStyle);

    const QStringList parameters = commandLine.positionalArguments();

    Preferences settings;
    QTranslator translator;
    QString locale = settings.getLocale();
    if (locale.isEmpty()) {
        locale = QLocale::system().name();
        settings.setLocale(locale);
        // Written now: building the window keeps the event loop (and the
        // settings' own deferred write) waiting.
        settings.sync();
    }
    if (translator.load(QStringLiteral(":/lang/Morvane_") + locale)) {
        QCoreApplication::installTranslator(&translator);
        qCDebug(lcApp).noquote() << QStringLiteral("using locale ") + locale;
    } else {
        qCDebug(lcApp, "load translator failed");
    }

    // Shown modally before the window; start-up goes on whatever it answers.
    FirstRun::runWizardIfDue(settings);

    player window(parameters, nullptr);
    QObject::connect(
        &app, &SingleApplication::messageReceived, &window, qOverload<QString>(&player::processParams));
    window.setWindowFlags(Qt::CustomizeWindowHint | Qt::FramelessWindowHint);
    // No WA_TransparentForMouseEvents here: in Qt 6 it makes the whole window
    // ignore the mouse.
    window.show();

    return app.exec();
}
