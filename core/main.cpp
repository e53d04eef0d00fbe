#include "core/coreprogram.h"

#include "platform/commandline.h"
#include "platform/stopsignal.h"
#include "settings/preferences.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    CommandLine commandLine(QStringLiteral("MorvaneCore"),
        QStringLiteral("The BitTorrent service of the Morvane player, reached over a local socket."),
        CommandLine::Console);
    commandLine.addPositional(QStringLiteral("channel"),
        QStringLiteral("Name of the local socket to serve (default: the one in Morvane.ini)."),
        QStringLiteral("[channel]"));
    if (!commandLine.parse(CommandLine::fromArgv(argc, argv)))
        return commandLine.finish();
    // A name such as "--help" would otherwise be served as a channel.
    const QString named = commandLine.positionalArguments().value(0);
    if (named.startsWith(QLatin1Char('-'))) {
        commandLine.refuse(QStringLiteral("the channel name '%1' looks like an option.").arg(named));
        return commandLine.finish();
    }

    QCoreApplication app(argc, argv);
    // Names the data folder, and so the shared settings file.
    QCoreApplication::setApplicationName(QStringLiteral("Morvane"));

    const QString channel
        = commandLine.positionalArguments().isEmpty() ? Preferences().getBackServerName() : named;

    CoreProgram program;
    switch (program.start(channel)) {
    case CoreProgram::Start::AlreadyRunning:
        return 0;
    case CoreProgram::Start::Failed:
        return 1;
    case CoreProgram::Start::Serving:
        break;
    }
    // A polite stop keeps what was downloaded since the last save.
    StopSignal stopSignal;
    QObject::connect(&stopSignal, &StopSignal::stopRequested, &program, &CoreProgram::stop);
    QObject::connect(&program, &CoreProgram::stopped, &app, &QCoreApplication::quit);
    return app.exec();
}
