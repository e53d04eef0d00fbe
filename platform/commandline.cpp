#include "commandline.h"

#include "platform/version.h"

#include <QFileInfo>

#include <cstdio>

namespace {

// Qt's options for every window program, as QGuiApplication and QApplication
// read them; declared so that their values are not taken for files.
void addQtWindowOptions(QCommandLineParser &parser)
{
    static const char *const withValue[] = { "platform", "platformpluginpath", "platformtheme", "plugin",
        "qwindowgeometry", "qwindowicon", "qwindowtitle", "geometry", "title", "icon", "display", "name",
        "session", "style", "stylesheet", "qmljsdebugger", "dialogs", "fontengine" };
    static const char *const flags[]
        = { "reverse", "widgetcount", "sync", "nograb", "dograb", "testability" };
    for (const char *name : withValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char *name : flags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

} // namespace

CommandLine::CommandLine(const QString &program, const QString &description, Kind kind)
    : m_program(program)
    , m_help({ QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("?") },
          QStringLiteral("Show this help and exit."))
    , m_version(
          { QStringLiteral("v"), QStringLiteral("version") }, QStringLiteral("Show the version and exit."))
{
    // Qt's own options are single-dash words ("-platform").
    m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    m_parser.setApplicationDescription(description);
    m_parser.addOption(m_help);
    m_parser.addOption(m_version);
    if (kind == Window)
        addQtWindowOptions(m_parser);
}

void CommandLine::addPositional(const QString &name, const QString &description, const QString &syntax)
{
    m_parser.addPositionalArgument(name, description, syntax);
}

void CommandLine::setPassThrough(const QString &marker)
{
    m_passThrough = marker;
}

bool CommandLine::parse(const QStringList &arguments)
{
    m_invokedAs = arguments.isEmpty() ? m_program : QFileInfo(arguments.constFirst()).fileName();
    QStringList ours = arguments;
    if (!m_passThrough.isEmpty()) {
        const qsizetype marker = ours.indexOf(m_passThrough, 1);
        if (marker > 0)
            ours = ours.mid(0, marker);
    }
    if (!m_parser.parse(ours)) {
        refuse(m_parser.errorText());
        return false;
    }
    if (m_parser.isSet(m_help)) {
        m_output = usage();
        return false;
    }
    if (m_parser.isSet(m_version)) {
        m_output = m_program + QLatin1Char(' ') + QStringLiteral(MORVANE_VERSION) + QLatin1Char('\n');
        return false;
    }
    m_positional = m_parser.positionalArguments();
    return true;
}

void CommandLine::refuse(const QString &why)
{
    m_exitCode = usageError;
    m_errorOutput = m_invokedAs + QStringLiteral(": ") + why + QStringLiteral("\n\n") + usage();
}

int CommandLine::finish() const
{
    if (!m_output.isEmpty()) {
        std::fputs(qPrintable(m_output), stdout);
        std::fflush(stdout);
    }
    if (!m_errorOutput.isEmpty())
        std::fputs(qPrintable(m_errorOutput), stderr);
    return m_exitCode;
}

QString CommandLine::usage() const
{
    // The parser names the program from the application object, which does
    // not exist yet: name it as it was started instead.
    QString text = m_parser.helpText();
    const qsizetype options = text.indexOf(QLatin1String(" [options]"));
    const qsizetype name = text.indexOf(QLatin1String(": ")) + 2;
    if (name > 1 && options > name)
        text.replace(name, options - name, m_invokedAs.isEmpty() ? m_program : m_invokedAs);
    return text;
}

QStringList CommandLine::fromArgv(int argc, char **argv)
{
    QStringList arguments;
    arguments.reserve(argc);
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}
