#include "preferences.h"

#include "misc.h"

namespace {
QString positionKey(const QString &path)
{
    return QStringLiteral("/file/ ") + path;
}

std::optional<int> trackValue(const QVariant &value)
{
    bool ok = false;
    const int track = value.toInt(&ok);
    return ok && track >= -1 ? std::optional<int>(track) : std::nullopt;
}
}

Preferences::Preferences()
    : QIniSettings(settingsFilePath(), QSettings::IniFormat)
{ }

QString Preferences::settingsFilePath()
{
    return misc::backupLocation() + QStringLiteral("/data/Morvane.ini");
}

QString Preferences::getBackServerName() const
{
    return value(QStringLiteral("/config/backServerName"), QStringLiteral("MorvaneCore")).toString();
}

bool Preferences::getBackServerLostAttitude() const
{
    return value(QStringLiteral("/config/backServerLostAttitude"), false).toBool();
}

void Preferences::setBackServerLostAttitude(bool remember)
{
    setValue(QStringLiteral("/config/backServerLostAttitude"), remember);
}

void Preferences::setBackServerLostWarnShow(bool show)
{
    setValue(QStringLiteral("/config/backServerLostWarnShow"), show);
}

bool Preferences::getBackReplyTimeOutAttitude() const
{
    return value(QStringLiteral("/config/backReplyTimeOutAttitude"), false).toBool();
}

void Preferences::setBackReplyTimeOutAttitude(bool remember)
{
    setValue(QStringLiteral("/config/backReplyTimeOutAttitude"), remember);
}

void Preferences::setBackReplyTimeOutWarnShow(bool show)
{
    setValue(QStringLiteral("/config/backReplyTimeOutWarnShow"), show);
}

QString Preferences::getLocale() const
{
    return value(QStringLiteral("Preferences/General/Locale"), QString()).toString();
}

void Preferences::setLocale(const QString &locale)
{
    setValue(QStringLiteral("Preferences/General/Locale"), locale);
}

QString Preferences::getStartPage() const
{
    return value(QStringLiteral("Preferences/General/StartPage"), QStringLiteral("new")).toString();
}

void Preferences::setStartPage(const QString &page)
{
    setValue(QStringLiteral("Preferences/General/StartPage"), page);
}

QString Preferences::getSavePath() const
{
    const QString stored = value(QStringLiteral("Preferences/Downloads/SavePath"), QString()).toString();
    return stored.isEmpty() ? misc::defaultSavePath() : stored;
}

void Preferences::setSavePath(const QString &path)
{
    setValue(QStringLiteral("Preferences/Downloads/SavePath"), path);
}

unsigned int Preferences::getDiskCache() const
{
    return value(QStringLiteral("Preferences/Downloads/DiskCache"), 16u).toUInt();
}

void Preferences::setDiskCache(unsigned int megabytes)
{
    setValue(QStringLiteral("Preferences/Downloads/DiskCache"), megabytes);
}

bool Preferences::getPortCheckbox() const
{
    return value(QStringLiteral("/config/portcheckbox"), true).toBool();
}

void Preferences::setPortCheckbox(bool checked)
{
    setValue(QStringLiteral("/config/portcheckbox"), checked);
}

QString Preferences::getPortLineEdit() const
{
    return value(QStringLiteral("/config/portlineEdit"), QString()).toString();
}

void Preferences::setPortLineEdit(const QString &port)
{
    setValue(QStringLiteral("/config/portlineEdit"), port);
}

bool Preferences::getPtBackgroundWork() const
{
    return value(QStringLiteral("/config/ptBackgroundWork"), true).toBool();
}

void Preferences::setPtBackgroundWork(bool enabled)
{
    setValue(QStringLiteral("/config/ptBackgroundWork"), enabled);
}

bool Preferences::getAutoPlayMethod() const
{
    return value(QStringLiteral("/config/autoPlayMethod"), true).toBool();
}

void Preferences::setAutoPlayMethod(bool enabled)
{
    setValue(QStringLiteral("/config/autoPlayMethod"), enabled);
}

bool Preferences::getIpv6Checkbox() const
{
    return value(QStringLiteral("/config/ipv6checkbox"), true).toBool();
}

void Preferences::setIpv6Checkbox(bool checked)
{
    setValue(QStringLiteral("/config/ipv6checkbox"), checked);
}

bool Preferences::getStreamOnNetwork() const
{
    return value(QStringLiteral("/config/streamOnNetwork"), false).toBool();
}

void Preferences::setStreamOnNetwork(bool enabled)
{
    setValue(QStringLiteral("/config/streamOnNetwork"), enabled);
}

bool Preferences::getFileCheckbox() const
{
    return value(QStringLiteral("/config/filecheckbox"), true).toBool();
}

unsigned int Preferences::getDownloadLimit() const
{
    return value(QStringLiteral("/config/downloadLimit"), 0u).toUInt();
}

void Preferences::setDownloadLimit(unsigned int kibPerSecond)
{
    setValue(QStringLiteral("/config/downloadLimit"), kibPerSecond);
}

unsigned int Preferences::getUploadLimit() const
{
    return value(QStringLiteral("/config/uploadLimit"), 0u).toUInt();
}

void Preferences::setUploadLimit(unsigned int kibPerSecond)
{
    setValue(QStringLiteral("/config/uploadLimit"), kibPerSecond);
}

unsigned int Preferences::getMaxConnections() const
{
    return value(QStringLiteral("/config/maxConnections"), 0u).toUInt();
}

void Preferences::setMaxConnections(unsigned int connections)
{
    setValue(QStringLiteral("/config/maxConnections"), connections);
}

float Preferences::loadPosition(const QString &path) const
{
    return value(positionKey(path), 0.0f).toFloat();
}

void Preferences::savePosition(const QString &path, float position)
{
    setValue(positionKey(path), position);
}

QString Preferences::getAudioLanguage() const
{
    return value(QStringLiteral("/config/audioLanguage"), QString()).toString();
}

void Preferences::setAudioLanguage(const QString &language)
{
    setValue(QStringLiteral("/config/audioLanguage"), language.trimmed());
}

QString Preferences::getSubtitleLanguage() const
{
    return value(QStringLiteral("/config/subtitleLanguage"), QString()).toString();
}

void Preferences::setSubtitleLanguage(const QString &language)
{
    setValue(QStringLiteral("/config/subtitleLanguage"), language.trimmed());
}

std::optional<int> Preferences::loadAudioTrack(const QString &path) const
{
    return trackValue(value(QStringLiteral("/audioTrack/ ") + path));
}

void Preferences::saveAudioTrack(const QString &path, int track)
{
    setValue(QStringLiteral("/audioTrack/ ") + path, track);
}

std::optional<int> Preferences::loadSubtitleTrack(const QString &path) const
{
    return trackValue(value(QStringLiteral("/subtitleTrack/ ") + path));
}

void Preferences::saveSubtitleTrack(const QString &path, int track)
{
    setValue(QStringLiteral("/subtitleTrack/ ") + path, track);
}
