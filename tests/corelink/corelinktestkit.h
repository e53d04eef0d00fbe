#pragma once

// Shared by the connection and process-control tests: captured trace lines
// and scripted answers for the question boxes.

#include "corelink/coreprompt.h"

#include <QElapsedTimer>
#include <QList>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

struct TraceLine
{
    qint64 at;
    QString text;
};

class TraceCapture
{
public:
    static void install()
    {
        QLoggingCategory::setFilterRules("morvane.corelink.debug=true");
        clock().start();
        previous() = qInstallMessageHandler(&TraceCapture::handle);
    }
    static QList<TraceLine> &lines()
    {
        static QList<TraceLine> all;
        return all;
    }
    static int count(const QString &prefix)
    {
        int n = 0;
        for (const TraceLine &line : lines())
            n += line.text.startsWith(prefix);
        return n;
    }
    static QList<qint64> times(const QString &prefix)
    {
        QList<qint64> out;
        for (const TraceLine &line : lines())
            if (line.text.startsWith(prefix))
                out.append(line.at);
        return out;
    }

private:
    static QElapsedTimer &clock()
    {
        static QElapsedTimer timer;
        return timer;
    }
    static QtMessageHandler &previous()
    {
        static QtMessageHandler handler = nullptr;
        return handler;
    }
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (context.category && QByteArray(context.category) == "morvane.corelink")
            lines().append({ clock().elapsed(), message });
        if (previous())
            previous()(type, context, message);
    }
};

// Answers the boxes in turn (No once the list runs out) and notes what was asked.
struct ScriptedAsker
{
    QList<int> answers;
    QStringList texts;
    QStringList defaultButtons;

    CorePrompt::Asker asker()
    {
        return [this](QMessageBox &box) {
            texts.append(box.text());
            defaultButtons.append(box.defaultButton() ? box.defaultButton()->text() : QString());
            return answers.isEmpty() ? int(QMessageBox::No) : answers.takeFirst();
        };
    }
};
