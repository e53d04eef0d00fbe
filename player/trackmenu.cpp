#include "trackmenu.h"

#include "settings/preferences.h"

#include <QAction>
#include <QActionGroup>
#include <QKeySequence>
#include <QMenu>
#include <QWidget>

using Kind = VlcEngine::TrackKind;

TrackMenu::TrackMenu(VlcEngine *engine, QWidget *window)
    : QObject(window)
    , m_engine(engine)
    , m_audio(new QMenu(tr("Audio track"), window))
    , m_subtitles(new QMenu(tr("Subtitle track"), window))
    , m_nextAudio(new QAction(tr("Next audio track"), window))
    , m_nextSubtitle(new QAction(tr("Next subtitle track"), window))
{
    m_audio->setObjectName(QStringLiteral("audioTrackMenu"));
    m_subtitles->setObjectName(QStringLiteral("subtitleTrackMenu"));
    m_nextAudio->setObjectName(QStringLiteral("nextAudioTrackAction"));
    m_nextSubtitle->setObjectName(QStringLiteral("nextSubtitleTrackAction"));
    // On the window: the keys work while no menu is open.
    m_nextAudio->setShortcut(QKeySequence(Qt::Key_B));
    m_nextSubtitle->setShortcut(QKeySequence(Qt::Key_V));
    window->addAction(m_nextAudio);
    window->addAction(m_nextSubtitle);
    connect(m_nextAudio, &QAction::triggered, this, [this] { next(Kind::Audio); });
    connect(m_nextSubtitle, &QAction::triggered, this, [this] { next(Kind::Subtitle); });
    // The lists change as the media opens and subtitles join; a menu about to
    // open asks again, so it never shows an old list.
    connect(m_audio, &QMenu::aboutToShow, this, &TrackMenu::refresh);
    connect(m_subtitles, &QMenu::aboutToShow, this, &TrackMenu::refresh);
    m_engine->setTracksCallback([this] { refresh(); });
    refresh();
}

TrackMenu::~TrackMenu()
{
    m_engine->setTracksCallback({});
}

void TrackMenu::setFile(const QString &path)
{
    m_file = path;
    Preferences prefs;
    m_engine->setPreferredLanguages(prefs.getAudioLanguage(), prefs.getSubtitleLanguage());
    m_engine->setTrackChoices(path, prefs.loadAudioTrack(path), prefs.loadSubtitleTrack(path));
    refresh();
}

void TrackMenu::choose(Kind kind, int id)
{
    m_engine->chooseTrack(kind, id);
    if (!m_file.isEmpty()) {
        Preferences prefs;
        kind == Kind::Audio ? prefs.saveAudioTrack(m_file, id) : prefs.saveSubtitleTrack(m_file, id);
    }
    QString name = tr("Off");
    for (const VlcEngine::Track &track : m_engine->tracks(kind)) {
        if (track.id == id)
            name = track.name;
    }
    emit trackChosen(kind, name);
}

void TrackMenu::next(Kind kind)
{
    const QList<VlcEngine::Track> tracks = m_engine->tracks(kind);
    if (tracks.isEmpty())
        return;
    QList<int> ids;
    if (kind == Kind::Subtitle)
        ids.append(-1);
    for (const VlcEngine::Track &track : tracks)
        ids.append(track.id);
    const qsizetype at = ids.indexOf(m_engine->currentTrack(kind));
    choose(kind, ids.at((at + 1) % ids.size()));
}

void TrackMenu::refresh()
{
    fill(m_audio, Kind::Audio, m_nextAudio);
    fill(m_subtitles, Kind::Subtitle, m_nextSubtitle);
}

void TrackMenu::fill(QMenu *menu, Kind kind, QAction *stepAction)
{
    const QList<VlcEngine::Track> tracks = m_engine->tracks(kind);
    const int current = m_engine->currentTrack(kind);
    // The step action is the window's: clear() leaves it alone.
    menu->clear();
    qDeleteAll(menu->findChildren<QActionGroup *>(QString(), Qt::FindDirectChildrenOnly));
    auto *group = new QActionGroup(menu);
    const auto add = [&](const QString &text, int id) {
        QAction *action = menu->addAction(text);
        action->setData(id);
        action->setCheckable(true);
        action->setChecked(id == current);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, kind, id] { choose(kind, id); });
    };
    add(tr("Off"), -1);
    for (const VlcEngine::Track &track : tracks)
        add(track.name, track.id);
    menu->addSeparator();
    menu->addAction(stepAction);
    // Nothing to choose: greyed, like the key.
    menu->setEnabled(!tracks.isEmpty());
    stepAction->setEnabled(!tracks.isEmpty());
}
