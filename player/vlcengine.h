#pragma once

#include "player/piecegate.h"
#include "player/streamingengine.h"

#include <QSize>
#include <QString>
#include <QStringList>
#include <QtGui/qwindowdefs.h>

class QObject;

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

struct libvlc_instance_t;
struct libvlc_media_player_t;
struct libvlc_media_t;
struct libvlc_event_t;

// The one object the window talks to about playback: a libvlc instance and
// media player that read every file through the piece gate. libvlc's events
// and the gate's piece events reach one callback on the engine's threads; the
// callback should only record and post.
class VlcEngine : public StreamingEngine
{
public:
    enum EventType {
        Stopped = 0x106,
        EndReached = 0x109,
        PositionChanged = 0x10C,
        // A video output exists: the first picture is on its way.
        VideoOutput = 0x112,
        NeedPieceString = PieceGate::NeedPieceString,
        LackData = PieceGate::LackData,
    };
    using EventCallback = void (*)(int type, void *userData);

    // The instance gets "-I dummy --ignore-config", the small prefetch that
    // keeps reads close to playback, dummy outputs where there is no display,
    // and whatever MORVANE_VLC_OPTIONS (blank-separated) adds.
    explicit VlcEngine(const QStringList &extraArguments = {});
    ~VlcEngine() override;
    VlcEngine(const VlcEngine &) = delete;
    VlcEngine &operator=(const VlcEngine &) = delete;

    bool isValid() const { return m_player != nullptr; }
    static QStringList instanceArguments(const QStringList &extraArguments = {});

    void setEventCallback(EventCallback callback, void *userData);
    // Draws into the native window; ignored where there is none (offscreen).
    // A new window while a picture is shown moves the output there.
    void setWindow(WId window);
    WId window() const { return m_window; }
    // No display to draw on (offscreen or minimal platform): dummy outputs.
    bool headless() const { return m_headless; }
    // Text drawn by libvlc over the picture (top left); empty removes it.
    // Drawn in the picture itself, so nothing of it stays when it goes.
    void setMarquee(const QString &text);
    QString marquee() const { return m_marquee; }
    // Whether a picture output is up now; the callback hears of every
    // change, on the GUI thread.
    bool hasPicture() const;
    void setPictureCallback(std::function<void(bool)> callback) { m_pictureChanged = std::move(callback); }

    // Replaces the current media; startSeconds > 0 opens it there.
    void open(const QString &path, double startSeconds = 0) override;
    QString currentPath() const { return m_path; }
    void play() override;
    void pause() override;
    // Blocked reads fail first, so that this returns at once.
    void stop() override;
    bool isPlaying() const;
    int state() const;

    qint64 length() const override;
    qint64 time() const override;
    float position() const override;
    // In a streaming mode, a seek that a blocked read would hold up, or that
    // lands where pieces are missing, reopens the media at the target.
    void setPosition(float position) override;
    void setVolume(int volume);
    int volume() const;
    bool takeSnapshot(const QString &folder, unsigned width, unsigned height);
    // A subtitle the user brings (a drop, a download) is shown, whatever
    // track was chosen before.
    bool setSubtitleFile(const QString &path);
    // Joins the media's subtitle tracks, also after a reopen of the same
    // file; select is ignored when a subtitle choice stands for the file.
    bool addSubtitle(const QString &path, bool select);

    // Audio and subtitle tracks as libvlc names them; "off" (-1) is not one.
    enum class TrackKind { Audio, Subtitle };
    struct Track
    {
        int id = -1;
        QString name;
    };
    QList<Track> tracks(TrackKind kind) const;
    // The selected track's id; -1 when off or nothing plays.
    int currentTrack(TrackKind kind) const;
    // Selects a track (-1: off) of the playing file now, or as soon as it
    // exists; the choice holds through reopens of the file.
    void chooseTrack(TrackKind kind, int id);
    // Choices for a file about to play (none for a kind: the engine's own).
    void setTrackChoices(const QString &path, std::optional<int> audio, std::optional<int> subtitle);
    bool hasTrackChoice(TrackKind kind) const;
    // Languages by code or English name ("en", "fre", "German") that the
    // engine picks among a file's own tracks; empty: its default.
    void setPreferredLanguages(const QString &audio, const QString &subtitle);
    // Hears of new, gone and selected tracks, on the GUI thread.
    void setTracksCallback(std::function<void()> callback) { m_tracksChanged = std::move(callback); }

    // The two streaming extensions.
    void refreshBitfield(int mode, const char *bits, int length, int pieceLength) override;
    int lackPiece() const override;
    void setSource(bool download, bool alignedToPieces) override;
    qint64 readAheadBytes() const override;

    PieceGate &gate() { return m_gate; }
    libvlc_media_player_t *mediaPlayer() const { return m_player; }

private:
    static void onLibvlcEvent(const libvlc_event_t *event, void *self);
    void deliver(int type);
    void reopenAt(double seconds);
    void applyMarquee();
    void applyWindow();
    void applyTrackChoices();

    PieceGate m_gate;
    libvlc_instance_t *m_instance = nullptr;
    libvlc_media_player_t *m_player = nullptr;
    libvlc_media_t *m_media = nullptr;
    QString m_path;
    std::atomic<qint64> m_knownLength { 0 };
    bool m_headless = false;
    bool m_download = false; // the next open is of a download still being fetched
    // Under X11 only: without a window of ours libvlc would open its own.
    bool m_needsWindow = false;
    WId m_window = 0;
    QString m_marquee;
    // False until the text's state has been played to an output of the
    // current media; the first position change then plays it again.
    std::atomic<bool> m_marqueeSettled { true };
    // Lives on the GUI thread: engine-thread events post work to it.
    std::unique_ptr<QObject> m_guiContext;
    std::function<void(bool)> m_pictureChanged;
    std::function<void()> m_tracksChanged;
    // Subtitle files of the current path, given again to each reopen.
    QList<QByteArray> m_subtitleUrls;
    // Track choices and the (native) path they are for.
    QString m_choicePath;
    std::optional<int> m_audioChoice;
    std::optional<int> m_subtitleChoice;
    QString m_audioLanguage;
    QString m_subtitleLanguage;
    std::atomic<EventCallback> m_callback { nullptr };
    std::atomic<void *> m_userData { nullptr };
};
