#include "assoc/regedit.h"

#include "platform/commandline.h"

#include <QApplication>
#include <QLocale>
#include <QSettings>
#include <QTranslator>

int main(int argc, char **argv)
{
    CommandLine commandLine(QStringLiteral("Kelvora"),
        QStringLiteral("Binds video files, .torrent files, magnet: and morvane:// links to Morvane."),
        CommandLine::Window);
    commandLine.addPositional(QStringLiteral("auto"),
        QStringLiteral("Bind magnet: and morvane:// links without a window."), QStringLiteral("[auto]"));
    if (!commandLine.parse(CommandLine::fromArgv(argc, argv)))
        return commandLine.finish();

    QApplication app(argc, argv);

    // The language comes from the settings file shipped beside the tool.
    const QSettings ini(
        QCoreApplication::applicationDirPath() + QStringLiteral("/data/Morvane.ini"), QSettings::IniFormat);
    QString locale = ini.value(QStringLiteral("Preferences/General/Locale")).toString();
    if (locale.isEmpty())
        locale = QLocale::system().name();
    QTranslator translator;
    if (translator.load(QStringLiteral(":/new/prefix1/lang/Kelvora_") + locale))
        QCoreApplication::installTranslator(&translator);

    const QStringList arguments = commandLine.positionalArguments();
    regedit window(nullptr, arguments.value(0));
    if (!arguments.isEmpty())
        return 0;
    window.show();
    return app.exec();
}
