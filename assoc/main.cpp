#include "assoc/regedit.h"

#include <QApplication>
#include <QLocale>
#include <QSettings>
#include <QTranslator>

int main(int argc, char **argv)
{
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

    const QString param = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    regedit window(nullptr, param);
    if (argc > 1)
        return 0;
    window.show();
    return app.exec();
}
