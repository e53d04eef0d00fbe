#pragma once

#include "downloads/piecemap.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// What the window shows of a streaming file: the overlay message, the seek
// bar's row and pieces, the play button's picture. The streaming policy
// decides; this keeps what is on screen and says when it changes.
class StreamingView : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    static QString cachingText();
    static QString finishedText();

    // "data caching..", then how much of what playback waits for is in and
    // the download rate. pieces is empty when the file is not a download.
    QString cachingMessage(const PieceMap &pieces, int lack) const;
    void showMessage(const QString &text, bool autoClear);
    // A caching message that is up follows the news.
    void refreshCaching(const QString &text);
    bool showsCaching() const { return m_message.startsWith(cachingText()); }
    void setDownloadRate(const QString &rate) { m_downloadRate = rate; }
    void setWaitCause(const QString &cause) { m_waitCause = cause; }
    void setSliderRow(bool enabled);
    void showPlayImage(bool pauseImage, int frame) { emit playImageChanged(pauseImage, frame); }
    // Playback waits: no seeking, the play image, and the text.
    void showWaiting(const QString &text)
    {
        setSliderRow(false);
        showPlayImage(false, 2);
        showMessage(text, false);
    }
    // Only sent on when they changed.
    void showPieces(const QByteArray &pieces);

    // What the overlay shows; empty when hidden.
    QString message() const { return m_message; }
    bool sliderEnabled() const { return m_sliderEnabled; }

signals:
    // An empty text hides the message; autoClear hides it after a while.
    void messageChanged(const QString &text, bool autoClear);
    void sliderRowChanged(bool enabled);
    // The play button's picture: the pause image or the play image, and its frame.
    void playImageChanged(bool pauseImage, int frame);
    // What the seek bar shows as downloaded: the piece string, "1" for a
    // plain file, empty when nothing is loaded.
    void piecesChanged(const QByteArray &pieces);

private:
    QString m_message;
    QString m_downloadRate;
    QString m_waitCause;
    QByteArray m_shownPieces;
    bool m_sliderEnabled = false;
};
