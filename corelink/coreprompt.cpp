#include "corelink/coreprompt.h"

#include <QPushButton>

namespace {

CorePrompt::Asker &defaultAsker()
{
    static CorePrompt::Asker asker;
    return asker;
}

} // namespace

void CorePrompt::setDefaultAsker(const Asker &asker)
{
    defaultAsker() = asker;
}

CorePrompt::CorePrompt(ClientRequestTHread *link, QObject *parent)
    : QObject(parent)
    , m_link(link)
    , m_asker(defaultAsker())
{
    // The texts keep the connection's translation context.
    buildBox(m_lostBox, ClientRequestTHread::tr("We have lost the back-server(MorvaneCore.exe).."),
        ClientRequestTHread::tr("Do you wanna re-start it ?"));
    buildBox(m_timeoutBox,
        ClientRequestTHread::tr("The reply from MorvaneCore timeout, MorvaneCore may lost.."),
        QStringLiteral("Do you wanna re-start it ?"));
    connect(link, &ClientRequestTHread::coreLost, this,
        [this] { ask(m_lostBox, &ClientRequestTHread::coreLostAnswered); });
    connect(link, &ClientRequestTHread::replyTimedOut, this,
        [this] { ask(m_timeoutBox, &ClientRequestTHread::replyTimedOutAnswered); });
}

void CorePrompt::buildBox(QMessageBox &box, const QString &text, const QString &informative)
{
    box.setText(text);
    box.setInformativeText(informative);
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    rememberButton
        = box.addButton(ClientRequestTHread::tr("Yes,and remember my choice"), QMessageBox::AcceptRole);
    box.setDefaultButton(rememberButton);
    box.setEscapeButton(QMessageBox::No);
}

ClientRequestTHread::Answer CorePrompt::answerOf(int code)
{
    switch (code) {
    case 0:
        return ClientRequestTHread::Answer::Remember;
    case QMessageBox::Yes:
        return ClientRequestTHread::Answer::Yes;
    case QMessageBox::No:
        return ClientRequestTHread::Answer::No;
    default:
        return ClientRequestTHread::Answer::Dismissed;
    }
}

void CorePrompt::ask(QMessageBox &box, Answered answered)
{
    if (m_asker) {
        const int code = m_asker(box);
        if (m_link)
            (m_link->*answered)(answerOf(code));
        return;
    }
    if (box.isVisible())
        return;
    box.disconnect(this);
    connect(&box, &QMessageBox::finished, this, [this, &box, answered] {
        box.disconnect(this);
        QAbstractButton *clicked = box.clickedButton();
        int code = -1;
        // Each box's remember button is its default button.
        if (clicked == box.defaultButton())
            code = 0;
        else if (clicked == box.button(QMessageBox::Yes))
            code = QMessageBox::Yes;
        else if (clicked == box.button(QMessageBox::No))
            code = QMessageBox::No;
        if (m_link)
            (m_link->*answered)(answerOf(code));
    });
    box.open();
}
