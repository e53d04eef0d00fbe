#include "testmedia.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QUuid>

QString TestMedia::folder()
{
    static QTemporaryDir dir;
    return dir.path();
}

QString TestMedia::clip(Kind kind, int seconds)
{
    static QHash<QString, QString> made;
    const QString key = QString::number(kind) + QLatin1Char('-') + QString::number(seconds);
    if (made.contains(key))
        return made.value(key);

    const QString suffix = kind == Matroska ? QStringLiteral("mkv") : QStringLiteral("mp4");
    const QString path = folder() + QStringLiteral("/clip-") + key + QLatin1Char('.') + suffix;
    QStringList arguments { "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
        QStringLiteral("testsrc2=size=320x240:rate=25:duration=%1").arg(seconds), "-f", "lavfi", "-i",
        QStringLiteral("sine=frequency=440:duration=%1").arg(seconds),
        // Noise keeps the bit rate near 2 Mbit/s, so the file is
        // large next to the engine's read-ahead.
        "-vf", "noise=alls=30:allf=t", "-c:v", "libx264", "-preset", "ultrafast", "-b:v", "2M", "-maxrate",
        "2M", "-bufsize", "1M", "-g", "25", "-pix_fmt", "yuv420p", "-c:a", "aac", "-b:a", "64k",
        "-shortest" };
    if (kind == FaststartMp4)
        arguments << "-movflags"
                  << "+faststart";
    arguments << path;
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::MergedChannels);
    ffmpeg.start(QStringLiteral("ffmpeg"), arguments);
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0) {
        qWarning("ffmpeg failed: %s", ffmpeg.readAll().constData());
        return QString();
    }
    made.insert(key, path);
    return path;
}

QString TestMedia::copyAs(const QString &source, const QString &name)
{
    const QString dir = folder() + QLatin1Char('/') + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QDir().mkpath(dir);
    const QString target = dir + QLatin1Char('/') + name;
    QFile::copy(source, target);
    return target;
}
