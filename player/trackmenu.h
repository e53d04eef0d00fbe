#pragma once

#include "player/vlcengine.h"

#include <QObject>
#include <QString>

class QAction;
class QMenu;
class QWidget;

// The playing file's audio and subtitle tracks with "Off": two submenus for
// the video's context menu and the window's menu, and two keys that step
// through them. A choice is kept per file, keyed like its position.
class TrackMenu : public QObject
{
    Q_OBJECT

public:
    TrackMenu(VlcEngine *engine, QWidget *window);
    ~TrackMenu() override;

    QMenu *audioMenu() const { return m_audio; }
    QMenu *subtitleMenu() const { return m_subtitles; }
    QAction *nextAudioAction() const { return m_nextAudio; }
    QAction *nextSubtitleAction() const { return m_nextSubtitle; }

    // A file is about to play: the preferred languages and the choices kept
    // for it go to the engine.
    void setFile(const QString &path);
    // Selects a track of the playing file (-1: off) and keeps the choice.
    void choose(VlcEngine::TrackKind kind, int id);
    // The next track; subtitles step through "Off" too.
    void next(VlcEngine::TrackKind kind);

signals:
    void trackChosen(VlcEngine::TrackKind kind, QString name);

private:
    void refresh();
    void fill(QMenu *menu, VlcEngine::TrackKind kind, QAction *stepAction);

    VlcEngine *m_engine;
    QString m_file;
    QMenu *m_audio;
    QMenu *m_subtitles;
    QAction *m_nextAudio;
    QAction *m_nextSubtitle;
};
