#pragma once

#include "corelink/clientrequestthread.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <functional>

class QPushButton;

// Asks the user what to do when the connection to the core is lost or the
// core has gone silent, and hands the answer back to the connection. The
// boxes are shown without a nested event loop.
class CorePrompt : public QObject
{
    Q_OBJECT

public:
    // Answers a question box at once, returning what QMessageBox::exec()
    // would: 0 for the remember button, QMessageBox::Yes or QMessageBox::No.
    using Asker = std::function<int(QMessageBox &box)>;

    explicit CorePrompt(ClientRequestTHread *link, QObject *parent = nullptr);

    // Used by prompts created later; tests set it so that no box is shown.
    static void setDefaultAsker(const Asker &asker);
    void setAsker(const Asker &asker) { m_asker = asker; }

    QMessageBox &lostBox() { return m_lostBox; }
    QMessageBox &timeoutBox() { return m_timeoutBox; }

private:
    using Answered = void (ClientRequestTHread::*)(ClientRequestTHread::Answer);
    void buildBox(QMessageBox &box, const QString &text, const QString &informative);
    void ask(QMessageBox &box, Answered answered);
    static ClientRequestTHread::Answer answerOf(int code);

    QPointer<ClientRequestTHread> m_link;
    QMessageBox m_timeoutBox;
    QMessageBox m_lostBox;
    QPushButton *rememberButton = nullptr;
    Asker m_asker;
};
