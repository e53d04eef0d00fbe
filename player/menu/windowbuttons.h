#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QAbstractButton;
class QWidget;
class WebPages;

// What the title-bar and control-bar buttons of this group do: minimise, the
// downloads panel, the comment page of the playing download and feedback.
// The window keeps drawing the buttons; frameRequested says which skin frame
// (0 on, 1 normal, 2 inactive) a button should take.
class WindowButtons : public QObject
{
    Q_OBJECT

public:
    WindowButtons(QWidget *window, QWidget *fileList, WebPages *pages, QAbstractButton *commentButton,
        QAbstractButton *playlistButton, QAbstractButton *miniButton, QObject *parent = nullptr);

    bool commentAvailable() const { return m_commentAvailable; }
    QString commentUrl() const { return m_commentUrl; }

    void miniClicked();
    // fullScreen: whether the window is in full screen now.
    void hideplaylistClicked(bool fullScreen);
    void commentClicked();
    void feedbackClicked();

public slots:
    void setCommentButton(QString setCommentUrl);

signals:
    void frameRequested(QAbstractButton *button, int frame);

private:
    QPointer<QWidget> m_window;
    QPointer<QWidget> m_fileList;
    QPointer<WebPages> m_pages;
    QAbstractButton *m_commentButton;
    QAbstractButton *m_playlistButton;
    QAbstractButton *m_miniButton;
    QString m_commentUrl;
    bool m_commentAvailable = false;
};
