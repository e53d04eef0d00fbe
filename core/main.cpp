#include "core/coreprogram.h"

#include "platform/stopsignal.h"
#include "settings/preferences.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Names the data folder, and so the shared settings file.
    QCoreApplication::setApplicationName(QStringLiteral("Morvane"));

    const QStringList args = QCoreApplication::arguments();
    const QString channel = args.size() > 1 ? args.at(1) : Preferences().getBackServerName();

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
