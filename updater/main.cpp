#include "httpwindow.h"

#include "platform/logging.h"

#include <QApplication>
#include <QLocale>
#include <QSettings>
#include <QTranslator>

int main(int argc, char **argv)
{
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

    HttpWindow window(argc);
    // Queued: the window may finish before the event loop runs.
    QObject::connect(
        &window, &HttpWindow::quitRequested, &app, [](int code) { QCoreApplication::exit(code); },
        Qt::QueuedConnection);
    window.start();
    return app.exec();
}
