#pragma once

#include "linkparameters.h"
#include "protocol/coreprotocol.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>

#include <functional>

class QWidget;

// Everything that asks the player to open something from outside: the
// command line, a second start's message, morvane:// and bc://bt/ links, links
// clicked in the start page. Turns them into core requests, a file to play or
// a new start page. The player window owns one; the agent talks to it directly.
//
// Links come from web pages: they only ever become the requests and the
// start-page setting below. Nothing in a link is run or opened as a local path.
class LinkProcessor : public QObject
{
    Q_OBJECT

public:
    // window: brought to the front by a second start's message.
    // fileList: the downloads panel, shown when a download is added.
    // playState: the window's play state (1 paused, 2 playing).
    LinkProcessor(const QStringList &startupParameters, QWidget *window, QWidget *fileList,
        std::function<int()> playState, QObject *parent = nullptr);

    QStringList startupParameters() const { return m_startupParameters; }
    const LinkParameters &linkParameters() const { return m_linkParameters; }
    bool autoPlayMethod() const { return m_autoPlayMethod; }

signals:
    void sessionRequest(CoreProtocol::RequestType requestType, QStringList operateObject);
    // A local media file, with native separators, to play at once.
    void playFileRequested(QString file);
    // A new start page to show in the start-page view.
    void startPageLoadRequested(QUrl address);
    // Something the user should read: why a link did nothing.
    void notice(QString text);
    // What TreeModel::addedReturn needs, with the auto-play decision made.
    void addedReturn(int type, QList<QStringList> list, bool autoPlay);

public slots:
    void processParams(QStringList params);
    void processParams(QString params_str);
    void webRequestCheckProcess();
    void processmorvane(QString param);
    void openUrlSlot(QUrl url);
    void addedReturnPrepProcess(int type, QList<QStringList> list);
    void autoPlayMethodChanged(bool _autoPlayMethod);

private:
    void loadStartPage(const QString &startPage);

    QStringList m_startupParameters;
    LinkParameters m_linkParameters;
    bool m_autoPlayMethod;
    QPointer<QWidget> m_window;
    QPointer<QWidget> m_fileList;
    std::function<int()> m_playState;
};
