#include "vlcengine.h"

#include "platform/logging.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QObject>
#include <QProcessEnvironment>
#include <QUrl>

#include <vlc/vlc.h>

#include <algorithm>
#include <vector>

namespace {

// What one callbacks media needs to open its file through the gate.
struct MediaSource
{
    PieceGate *gate;
    QString path;
};

// One open of a media by libvlc.
struct OpenStream
{
    PieceGate *gate;
    PieceGate::Stream *stream;
};

int openCallback(void *opaque, void **data, uint64_t *size)
{
    auto *source = static_cast<MediaSource *>(opaque);
    quint64 bytes = 0;
    PieceGate::Stream *stream = source->gate->open(source->path, &bytes);
    *size = bytes;
    if (!stream) {
        *data = nullptr;
        return -1;
    }
    *data = new OpenStream { source->gate, stream };
    return 0;
}

ssize_t readCallback(void *data, unsigned char *buffer, size_t length)
{
    auto *open = static_cast<OpenStream *>(data);
    const qint64 wanted = qint64(qMin<size_t>(length, size_t(1) << 30));
    return ssize_t(open->gate->read(open->stream, reinterpret_cast<char *>(buffer), wanted));
}

int seekCallback(void *data, uint64_t offset)
{
    auto *open = static_cast<OpenStream *>(data);
    return open->gate->seek(open->stream, offset) ? 0 : -1;
}

void closeCallback(void *data)
{
    auto *open = static_cast<OpenStream *>(data);
    if (!open)
        return;
    open->gate->close(open->stream);
    delete open;
}

bool headlessPlatform()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

// The message text's look: the window's message yellow, top left.
const int marqueeColour = 0xF2F200;
const int marqueeTopLeft = 4 | 1;
const int marqueeMargin = 10;
const int marqueePixels = 14;

const int readAheadKiB = 256;

const libvlc_event_e attachedEvents[] = { libvlc_MediaPlayerPositionChanged, libvlc_MediaPlayerEndReached,
    libvlc_MediaPlayerStopped, libvlc_MediaPlayerLengthChanged, libvlc_MediaPlayerVout,
    libvlc_MediaPlayerESAdded, libvlc_MediaPlayerESDeleted, libvlc_MediaPlayerESSelected };

// libvlc's lists hold a "Disable" entry of id -1: off is the menu's own.
QList<VlcEngine::Track> trackList(libvlc_track_description_t *list)
{
    QList<VlcEngine::Track> tracks;
    for (libvlc_track_description_t *item = list; item; item = item->p_next) {
        if (item->i_id >= 0)
            tracks.append({ item->i_id, QString::fromUtf8(item->psz_name ? item->psz_name : "") });
    }
    libvlc_track_description_list_release(list);
    return tracks;
}

} // namespace

QStringList VlcEngine::instanceArguments(const QStringList &extraArguments)
{
    QStringList arguments { QStringLiteral("-I"), QStringLiteral("dummy"),
        QStringLiteral("--ignore-config") };
    // Small prefetch: reads follow playback instead of running megabytes
    // ahead into pieces that are not there yet.
    arguments << QStringLiteral("--prefetch-buffer-size=%1").arg(readAheadKiB)
              << QStringLiteral("--prefetch-read-size=65536");
#ifndef Q_OS_WIN
    // Qt owns the X connection; VLC must not use Xlib behind its back.
    arguments << QStringLiteral("--no-xlib");
#endif
    arguments << QStringLiteral("--quiet") << QStringLiteral("--no-video-title-show")
              << QStringLiteral("--no-snapshot-preview");
    if (headlessPlatform())
        arguments << QStringLiteral("--vout=dummy");
    const QString fromEnvironment
        = QProcessEnvironment::systemEnvironment().value(QStringLiteral("MORVANE_VLC_OPTIONS"));
    arguments << fromEnvironment.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    arguments << extraArguments;
    return arguments;
}

VlcEngine::VlcEngine(const QStringList &extraArguments)
    : m_headless(headlessPlatform())
    , m_needsWindow(QGuiApplication::platformName() == QLatin1String("xcb"))
    , m_guiContext(std::make_unique<QObject>())
{
    const QStringList arguments = instanceArguments(extraArguments);
    std::vector<QByteArray> storage;
    std::vector<const char *> argv;
    for (const QString &argument : arguments)
        storage.push_back(argument.toUtf8());
    for (const QByteArray &argument : storage)
        argv.push_back(argument.constData());
    m_instance = libvlc_new(int(argv.size()), argv.data());
    if (!m_instance) {
        qCWarning(lcPlayer, "libvlc_new failed");
        return;
    }
    m_player = libvlc_media_player_new(m_instance);
    if (!m_player)
        return;

    m_gate.setEventSink([this](int event) { deliver(event); });
    libvlc_event_manager_t *events = libvlc_media_player_event_manager(m_player);
    static_assert(int(VideoOutput) == int(libvlc_MediaPlayerVout));
    for (libvlc_event_e type : attachedEvents)
        libvlc_event_attach(events, type, &VlcEngine::onLibvlcEvent, this);
}

VlcEngine::~VlcEngine()
{
    if (m_player) {
        m_gate.failBlockedReads();
        libvlc_media_player_stop(m_player);
        libvlc_event_manager_t *events = libvlc_media_player_event_manager(m_player);
        for (libvlc_event_e type : attachedEvents)
            libvlc_event_detach(events, type, &VlcEngine::onLibvlcEvent, this);
        libvlc_media_player_release(m_player);
    }
    if (m_media)
        libvlc_media_release(m_media);
    if (m_instance)
        libvlc_release(m_instance);
    m_gate.setEventSink({});
}

void VlcEngine::setEventCallback(EventCallback callback, void *userData)
{
    // Read by the engine's threads: the data first, so a callback never
    // meets the old data.
    m_callback = nullptr;
    m_userData = userData;
    m_callback = callback;
}

void VlcEngine::onLibvlcEvent(const libvlc_event_t *event, void *self)
{
    auto *engine = static_cast<VlcEngine *>(self);
    if (event->type == libvlc_MediaPlayerLengthChanged) {
        if (event->u.media_player_length_changed.new_length > 0)
            engine->m_knownLength = event->u.media_player_length_changed.new_length;
        return;
    }
    if (event->type == libvlc_MediaPlayerPositionChanged && !engine->m_marqueeSettled.exchange(true)) {
        QMetaObject::invokeMethod(
            engine->m_guiContext.get(), [engine] { engine->applyMarquee(); }, Qt::QueuedConnection);
    }
    if (event->type == libvlc_MediaPlayerESAdded || event->type == libvlc_MediaPlayerESDeleted
        || event->type == libvlc_MediaPlayerESSelected) {
        QMetaObject::invokeMethod(
            engine->m_guiContext.get(),
            [engine] {
                engine->applyTrackChoices();
                if (engine->m_tracksChanged)
                    engine->m_tracksChanged();
            },
            Qt::QueuedConnection);
        return;
    }
    if (event->type == libvlc_MediaPlayerVout) {
        // A new picture output knows nothing of the text; libvlc holds a lock
        // here that the marquee calls take again, so apply it from the GUI thread.
        const bool picture = event->u.media_player_vout.new_count > 0;
        QMetaObject::invokeMethod(
            engine->m_guiContext.get(),
            [engine, picture] {
                if (picture)
                    engine->applyMarquee();
                if (engine->m_pictureChanged)
                    engine->m_pictureChanged(picture);
            },
            Qt::QueuedConnection);
        // Outputs also go away (on stop): only a new one means a picture.
        if (!picture)
            return;
    }
    engine->deliver(event->type);
}

void VlcEngine::deliver(int type)
{
    if (EventCallback callback = m_callback.load())
        callback(type, m_userData.load());
}

void VlcEngine::setWindow(WId window)
{
    // Offscreen there is no X window: VLC would fall back to a terminal
    // output and crash.
    if (!m_player || m_headless || window == m_window)
        return;
    m_window = window;
    applyWindow();
    // The output still draws into the old window, which Qt has destroyed
    // with the rest of its native windows: start it again in the new one.
    if (window && libvlc_media_player_has_vout(m_player) > 0 && m_media) {
        const bool paused = state() == libvlc_Paused;
        const qint64 at = time();
        qCDebug(lcPlayer, "video window changed during playback, moving the picture");
        reopenAt(double(qMax<qint64>(at, 0)) / 1000.0);
        if (paused)
            pause();
    }
}

void VlcEngine::applyWindow()
{
#if defined(Q_OS_WIN)
    libvlc_media_player_set_hwnd(m_player, reinterpret_cast<void *>(window));
#elif defined(Q_OS_MACOS)
    libvlc_media_player_set_nsobject(m_player, reinterpret_cast<void *>(m_window));
#else
    libvlc_media_player_set_xwindow(m_player, uint32_t(m_window));
#endif
}

bool VlcEngine::hasPicture() const
{
    return m_player && libvlc_media_player_has_vout(m_player) > 0;
}

void VlcEngine::setMarquee(const QString &text)
{
    m_marquee = text;
    applyMarquee();
}

void VlcEngine::applyMarquee()
{
    if (!m_player)
        return;
    // Switching the text filter on or off reaches only an output libvlc hands
    // out now; one it keeps aside between media comes back with its filter.
    // Played once an output is up, the state holds whatever the order.
    m_marqueeSettled = hasPicture();
    // The text also goes to the player, where a new output's filter starts
    // from: an empty text draws nothing, even on a filter left on.
    libvlc_video_set_marquee_string(m_player, libvlc_marquee_Text, m_marquee.toUtf8().constData());
    if (m_marquee.isEmpty()) {
        libvlc_video_set_marquee_int(m_player, libvlc_marquee_Enable, 0);
        return;
    }
    libvlc_video_set_marquee_int(m_player, libvlc_marquee_Color, marqueeColour);
    libvlc_video_set_marquee_int(m_player, libvlc_marquee_Position, marqueeTopLeft);
    libvlc_video_set_marquee_int(m_player, libvlc_marquee_X, marqueeMargin);
    libvlc_video_set_marquee_int(m_player, libvlc_marquee_Y, marqueeMargin);
    libvlc_video_set_marquee_int(m_player, libvlc_marquee_Size, marqueePixels);
    libvlc_video_set_marquee_int(m_player, libvlc_marquee_Timeout, 0);
    libvlc_video_set_marquee_int(m_player, libvlc_marquee_Enable, 1);
}

void VlcEngine::open(const QString &path, double startSeconds)
{
    if (!m_player)
        return;
    // A read held by the gate would keep the old media from letting go.
    m_gate.failBlockedReads();
    libvlc_media_player_stop(m_player);
    m_marqueeSettled = false;
    if (path != m_path) {
        m_knownLength = 0;
        m_subtitleUrls.clear();
    }
    m_path = path;
    if (QDir::toNativeSeparators(path) != m_choicePath) {
        m_choicePath.clear();
        m_audioChoice.reset();
        m_subtitleChoice.reset();
    }

    static std::vector<std::unique_ptr<MediaSource>> sources;
    sources.push_back(std::make_unique<MediaSource>(MediaSource { &m_gate, QDir::toNativeSeparators(path) }));
    libvlc_media_t *media = libvlc_media_new_callbacks(
        m_instance, openCallback, readCallback, seekCallback, closeCallback, sources.back().get());
    // libavformat's demuxers read the least before a first picture: VLC's
    // own Matroska demuxer reads the whole first cluster and the index at
    // the end at open (1.3 MB and the last piece for a 720p clip, against
    // 0.56 MB and nothing at the end).
    if (m_download)
        libvlc_media_add_option(media, ":demux=avformat,any");
    if (startSeconds > 0) {
        const QByteArray option = ":start-time=" + QByteArray::number(startSeconds, 'f', 3);
        libvlc_media_add_option(media, option.constData());
    }
    if (!m_audioLanguage.isEmpty())
        libvlc_media_add_option(media, QByteArray(":audio-language=" + m_audioLanguage.toUtf8()).constData());
    if (!m_subtitleLanguage.isEmpty())
        libvlc_media_add_option(
            media, QByteArray(":sub-language=" + m_subtitleLanguage.toUtf8()).constData());
    // A reopen (a seek, a window change) makes a new media: the subtitles
    // that joined the old one come along.
    for (const QByteArray &url : std::as_const(m_subtitleUrls))
        libvlc_media_slaves_add(media, libvlc_media_slave_type_subtitle, 4, url.constData());
    libvlc_media_player_set_media(m_player, media);
    if (m_media)
        libvlc_media_release(m_media);
    m_media = media;
}

void VlcEngine::play()
{
    if (!m_player)
        return;
    if (!m_headless) {
        // The window may have been made again since it was handed over.
        applyWindow();
        if (m_needsWindow && !m_window && m_media) {
            // libvlc would open a window of its own: sound only instead.
            qCWarning(lcPlayer, "no video window yet, playing without picture");
            libvlc_media_add_option(m_media, ":no-video");
        }
    }
    libvlc_media_player_play(m_player);
}

void VlcEngine::pause()
{
    if (m_player)
        libvlc_media_player_set_pause(m_player, 1);
}

void VlcEngine::stop()
{
    if (!m_player)
        return;
    m_gate.failBlockedReads();
    libvlc_media_player_stop(m_player);
}

bool VlcEngine::isPlaying() const
{
    return m_player && libvlc_media_player_is_playing(m_player);
}

int VlcEngine::state() const
{
    return m_player ? int(libvlc_media_player_get_state(m_player)) : int(libvlc_NothingSpecial);
}

qint64 VlcEngine::length() const
{
    return m_player ? libvlc_media_player_get_length(m_player) : 0;
}

qint64 VlcEngine::time() const
{
    return m_player ? libvlc_media_player_get_time(m_player) : 0;
}

float VlcEngine::position() const
{
    return m_player ? libvlc_media_player_get_position(m_player) : 0.0f;
}

void VlcEngine::setPosition(float position)
{
    if (!m_player)
        return;
    position = qBound(0.0f, position, 1.0f);
    if (m_gate.mode() != PieceGate::PlainFile && m_media) {
        const qint64 known = length() > 0 ? length() : m_knownLength.load();
        // libvlc does not process a seek while a read is held, nor can it
        // leave a read that waits at the target: reopen there instead.
        if (known > 0) {
            const bool blocked = m_gate.hasBlockedRead();
            const QFileInfo info(m_path);
            const bool missing = !m_gate.canServe(qint64(double(position) * double(info.size())));
            if (blocked || missing) {
                reopenAt(double(position) * double(known) / 1000.0);
                return;
            }
        }
    }
    libvlc_media_player_set_position(m_player, position);
}

void VlcEngine::reopenAt(double seconds)
{
    qCDebug(lcPlayer, "reopening the media at %.1f s", seconds);
    open(m_path, seconds);
    play();
}

void VlcEngine::setVolume(int volume)
{
    if (m_player)
        libvlc_audio_set_volume(m_player, volume);
}

int VlcEngine::volume() const
{
    return m_player ? libvlc_audio_get_volume(m_player) : -1;
}

bool VlcEngine::takeSnapshot(const QString &folder, unsigned width, unsigned height)
{
    return m_player
        && libvlc_video_take_snapshot(
               m_player, 0, QDir::toNativeSeparators(folder).toLocal8Bit().constData(), width, height)
        == 0;
}

bool VlcEngine::setSubtitleFile(const QString &path)
{
    // A cancelled pick hands an empty path: the choice stands.
    if (path.isEmpty())
        return false;
    m_subtitleChoice.reset();
    return addSubtitle(path, true);
}

bool VlcEngine::addSubtitle(const QString &path, bool select)
{
    // The file form of the older call is deprecated in libvlc 3; a slave
    // subtitle given by its file URL is the same thing.
    if (!m_player || path.isEmpty())
        return false;
    const QByteArray url = QUrl::fromLocalFile(QDir::fromNativeSeparators(path)).toEncoded();
    if (!m_subtitleUrls.contains(url))
        m_subtitleUrls.append(url);
    const bool chosen = m_subtitleChoice.has_value();
    return libvlc_media_player_add_slave(
               m_player, libvlc_media_slave_type_subtitle, url.constData(), select && !chosen)
        == 0;
}

// Track lists and selection read and set the input's variables: none of
// these waits for a read, so they are safe on the GUI thread.
QList<VlcEngine::Track> VlcEngine::tracks(TrackKind kind) const
{
    if (!m_player)
        return {};
    return trackList(kind == TrackKind::Audio ? libvlc_audio_get_track_description(m_player)
                                              : libvlc_video_get_spu_description(m_player));
}

int VlcEngine::currentTrack(TrackKind kind) const
{
    if (!m_player)
        return -1;
    return kind == TrackKind::Audio ? libvlc_audio_get_track(m_player) : libvlc_video_get_spu(m_player);
}

void VlcEngine::chooseTrack(TrackKind kind, int id)
{
    const QString path = QDir::toNativeSeparators(m_path);
    if (path != m_choicePath)
        setTrackChoices(path, std::nullopt, std::nullopt);
    (kind == TrackKind::Audio ? m_audioChoice : m_subtitleChoice) = id;
    applyTrackChoices();
}

void VlcEngine::setTrackChoices(const QString &path, std::optional<int> audio, std::optional<int> subtitle)
{
    m_choicePath = QDir::toNativeSeparators(path);
    m_audioChoice = audio;
    m_subtitleChoice = subtitle;
    if (m_choicePath == QDir::toNativeSeparators(m_path))
        applyTrackChoices();
}

bool VlcEngine::hasTrackChoice(TrackKind kind) const
{
    return (kind == TrackKind::Audio ? m_audioChoice : m_subtitleChoice).has_value();
}

void VlcEngine::applyTrackChoices()
{
    if (!m_player || m_choicePath != QDir::toNativeSeparators(m_path))
        return;
    for (const TrackKind kind : { TrackKind::Audio, TrackKind::Subtitle }) {
        const std::optional<int> &choice = kind == TrackKind::Audio ? m_audioChoice : m_subtitleChoice;
        if (!choice || currentTrack(kind) == *choice)
            continue;
        // A track not there yet (a subtitle still arriving) is chosen when it comes.
        const QList<Track> present = tracks(kind);
        const bool known = *choice == -1
            || std::any_of(present.cbegin(), present.cend(), [&](const Track &t) { return t.id == *choice; });
        if (!known || present.isEmpty())
            continue;
        if (kind == TrackKind::Audio)
            libvlc_audio_set_track(m_player, *choice);
        else
            libvlc_video_set_spu(m_player, *choice);
    }
}

void VlcEngine::setPreferredLanguages(const QString &audio, const QString &subtitle)
{
    // Taken by the next media: VLC reads them when it opens one.
    m_audioLanguage = audio.trimmed();
    m_subtitleLanguage = subtitle.trimmed();
}

void VlcEngine::refreshBitfield(int mode, const char *bits, int length, int pieceLength)
{
    m_gate.refreshBitfield(mode, bits, length, pieceLength);
}

void VlcEngine::setSource(bool download, bool alignedToPieces)
{
    m_download = download;
    m_gate.setAligned(alignedToPieces);
}

qint64 VlcEngine::readAheadBytes() const
{
    return readAheadKiB * 1024;
}

int VlcEngine::lackPiece() const
{
    return m_gate.lackPiece();
}
