#pragma once

#include "qinisettings.h"

#include <optional>

// Typed accessors over the shared Morvane.ini. A cheap value: construct one
// where a setting is needed and let it go.
class Preferences : public QIniSettings
{
    Q_OBJECT

public:
    Preferences();

    // Where the shared file lives for this application name.
    static QString settingsFilePath();

    QString getBackServerName() const;

    bool getBackServerLostAttitude() const;
    void setBackServerLostAttitude(bool remember);
    void setBackServerLostWarnShow(bool show);

    bool getBackReplyTimeOutAttitude() const;
    void setBackReplyTimeOutAttitude(bool remember);
    void setBackReplyTimeOutWarnShow(bool show);

    QString getLocale() const;
    void setLocale(const QString &locale);

    QString getStartPage() const;
    void setStartPage(const QString &page);

    // Empty or absent reads as misc::defaultSavePath(), never written back.
    QString getSavePath() const;
    void setSavePath(const QString &path);

    unsigned int getDiskCache() const;
    void setDiskCache(unsigned int megabytes);

    bool getPortCheckbox() const;
    void setPortCheckbox(bool checked);
    QString getPortLineEdit() const;
    void setPortLineEdit(const QString &port);

    bool getPtBackgroundWork() const;
    void setPtBackgroundWork(bool enabled);

    bool getAutoPlayMethod() const;
    void setAutoPlayMethod(bool enabled);

    bool getIpv6Checkbox() const;
    void setIpv6Checkbox(bool checked);

    // The core's stream for other players also answers the local network
    // (a TV), not only this machine. Off unless the user turns it on.
    bool getStreamOnNetwork() const;
    void setStreamOnNetwork(bool enabled);

    bool getFileCheckbox() const;

    // Bandwidth caps in KiB/s and the connection cap; 0 leaves each to the
    // core's engine (no limit, its own connection count).
    unsigned int getDownloadLimit() const;
    void setDownloadLimit(unsigned int kibPerSecond);
    unsigned int getUploadLimit() const;
    void setUploadLimit(unsigned int kibPerSecond);
    unsigned int getMaxConnections() const;
    void setMaxConnections(unsigned int connections);

    // Saved play position (0..1) of a media file, keyed "/file/ " + path.
    float loadPosition(const QString &path) const;
    void savePosition(const QString &path, float position);

    // Languages the engine prefers among a file's tracks and the subtitles
    // of a download, by code or English name; empty: the engine's default.
    QString getAudioLanguage() const;
    void setAudioLanguage(const QString &language);
    QString getSubtitleLanguage() const;
    void setSubtitleLanguage(const QString &language);

    // The track the user chose for a media file (-1: off), keyed like its
    // position; none when never chosen.
    std::optional<int> loadAudioTrack(const QString &path) const;
    void saveAudioTrack(const QString &path, int track);
    std::optional<int> loadSubtitleTrack(const QString &path) const;
    void saveSubtitleTrack(const QString &path, int track);
};
