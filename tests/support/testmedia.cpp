#include "testmedia.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTime>
#include <QUuid>

namespace {

bool ffmpeg(QStringList arguments, int timeoutMs)
{
    arguments.prepend(QStringLiteral("-y"));
    arguments.prepend(QStringLiteral("error"));
    arguments.prepend(QStringLiteral("-loglevel"));
    arguments.prepend(QStringLiteral("-hide_banner"));
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("ffmpeg"), arguments);
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        qWarning(
            "ffmpeg %s: %s", qPrintable(arguments.join(QLatin1Char(' '))), process.readAll().constData());
        return false;
    }
    return true;
}

} // namespace

QString TestMedia::folder()
{
    static QTemporaryDir dir;
    return dir.path();
}

bool TestMedia::make(const Recipe &recipe, const QString &path, int timeoutMs)
{
    const QString picture = recipe.colour.isEmpty() ? QStringLiteral("testsrc2=")
                                                    : QStringLiteral("color=c=%1:").arg(recipe.colour);
    QStringList arguments { "-f", "lavfi", "-i",
        picture
            + QStringLiteral("size=%1x%2:rate=%3:duration=%4")
                  .arg(recipe.size.width())
                  .arg(recipe.size.height())
                  .arg(recipe.rate)
                  .arg(recipe.seconds) };
    if (recipe.audioKbps > 0)
        arguments << "-f"
                  << "lavfi"
                  << "-i" << QStringLiteral("sine=frequency=440:duration=%1").arg(recipe.seconds);
    if (recipe.noise > 0)
        arguments << "-vf" << QStringLiteral("noise=alls=%1:allf=t").arg(recipe.noise);
    arguments << "-c:v"
              << "libx264"
              << "-preset"
              << "ultrafast";
    if (recipe.videoKbps > 0) {
        const QString rate = QStringLiteral("%1k").arg(recipe.videoKbps);
        arguments << "-b:v" << rate;
        if (recipe.constantRate)
            arguments << "-minrate" << rate;
        arguments << "-maxrate" << rate << "-bufsize" << QStringLiteral("%1k").arg(recipe.videoKbps / 2);
    }
    if (recipe.keyframeEvery > 0)
        arguments << "-g" << QString::number(recipe.keyframeEvery);
    arguments << "-pix_fmt"
              << "yuv420p";
    if (recipe.audioKbps > 0)
        arguments << "-c:a"
                  << "aac"
                  << "-b:a" << QStringLiteral("%1k").arg(recipe.audioKbps) << "-shortest";
    if (recipe.faststart)
        arguments << "-movflags"
                  << "+faststart";
    arguments << path;
    return ffmpeg(arguments, timeoutMs);
}

TestMedia::Recipe TestMedia::reference(QSize size, int seconds)
{
    Recipe recipe;
    recipe.size = size;
    recipe.rate = 24;
    recipe.seconds = seconds;
    recipe.noise = 40;
    recipe.videoKbps = 4000;
    recipe.constantRate = true;
    recipe.keyframeEvery = 48;
    recipe.audioKbps = 128;
    recipe.faststart = true;
    return recipe;
}

bool TestMedia::remux(const QString &source, const QString &target, int timeoutMs)
{
    return ffmpeg({ "-i", source, "-c", "copy", target }, timeoutMs);
}

bool TestMedia::writeSrt(const QString &path, const QString &text, int seconds)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    // A cue a second: a track chosen while playing shows the text within a
    // second, as an engine shows only cues that begin after the choice.
    const QString format = QStringLiteral("HH:mm:ss,zzz");
    QString cues;
    for (int second = 0; second < seconds; ++second)
        cues += QStringLiteral("%1\n%2 --> %3\n%4\n\n")
                    .arg(second + 1)
                    .arg(QTime(0, 0).addSecs(second).toString(format),
                        QTime(0, 0).addSecs(second + 1).toString(format), text);
    return file.write(cues.toUtf8()) > 0 && file.flush();
}

bool TestMedia::makeWithTracks(const QString &path, const QString &colour, const QString &englishText,
    const QString &frenchText, int seconds, int timeoutMs)
{
    const QString english = path + QStringLiteral(".en.srt");
    const QString french = path + QStringLiteral(".fr.srt");
    if (!writeSrt(english, englishText, seconds) || !writeSrt(french, frenchText, seconds))
        return false;
    const QString length = QString::number(seconds);
    const bool made
        = ffmpeg({ "-f", "lavfi", "-i",
                     QStringLiteral("color=c=%1:size=320x240:rate=25:duration=%2").arg(colour, length), "-f",
                     "lavfi", "-i", QStringLiteral("sine=frequency=440:duration=") + length, "-f", "lavfi",
                     "-i", QStringLiteral("sine=frequency=880:duration=") + length, "-i", english, "-i",
                     french, "-map", "0:v", "-map", "1:a", "-map", "2:a", "-map", "3:s", "-map", "4:s",
                     "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac", "-b:a",
                     "64k", "-c:s", "srt", "-metadata:s:a:0", "language=eng", "-metadata:s:a:1",
                     "language=fre", "-metadata:s:s:0", "language=eng", "-metadata:s:s:1", "language=fre",
                     "-disposition:s:0", "0", "-disposition:s:1", "0", path },
            timeoutMs);
    QFile::remove(english);
    QFile::remove(french);
    return made;
}

QString TestMedia::clip(Kind kind, int seconds)
{
    static QHash<QString, QString> made;
    const QString key = QString::number(kind) + QLatin1Char('-') + QString::number(seconds);
    if (made.contains(key))
        return made.value(key);

    const QString suffix = kind == Matroska ? QStringLiteral("mkv") : QStringLiteral("mp4");
    const QString path = folder() + QStringLiteral("/clip-") + key + QLatin1Char('.') + suffix;
    Recipe recipe;
    recipe.seconds = seconds;
    recipe.faststart = kind == FaststartMp4;
    if (!make(recipe, path))
        return QString();
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
