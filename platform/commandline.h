#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

// What every program of ours does with its command line before anything
// starts: --help and --version print and end the program, an unknown option
// ends it with the usage. Window programs also accept Qt's own options
// (-platform, -style, ...), which QApplication takes for itself afterwards.
class CommandLine
{
public:
    enum Kind { Console, Window };

    CommandLine(const QString &program, const QString &description, Kind kind);

    void addPositional(const QString &name, const QString &description, const QString &syntax = QString());
    // This argument and every one after it belong to someone else (the web
    // engine's switches) and are neither parsed nor positional.
    void setPassThrough(const QString &marker);

    // Parses arguments, the program's path first. False when the program is
    // to end at once: finish() then prints what the user asked for, or why
    // the command line was refused, and gives the exit code.
    bool parse(const QStringList &arguments);
    // Refuses the command line after parse(), for a reason of the program's own.
    void refuse(const QString &why);
    int finish() const;

    QStringList positionalArguments() const { return m_positional; }
    int exitCode() const { return m_exitCode; }
    // For standard output (help, version) and for standard error (refusals).
    QString output() const { return m_output; }
    QString errorOutput() const { return m_errorOutput; }

    // Exit code of a refused command line, apart from a failure at run time.
    static constexpr int usageError = 2;

    // argv as main() received it, before QApplication removes Qt's options.
    static QStringList fromArgv(int argc, char **argv);

private:
    QString usage() const;

    QString m_program;
    QString m_invokedAs;
    QCommandLineParser m_parser;
    QCommandLineOption m_help;
    QCommandLineOption m_version;
    QString m_passThrough;
    QStringList m_positional;
    int m_exitCode = 0;
    QString m_output;
    QString m_errorOutput;
};
