#include "subtitlecompanions.h"

#include <QHash>
#include <QRegularExpression>

#include <algorithm>

namespace {

struct Name
{
    QString folder; // lower case, '/' separated, no trailing '/'
    QString stem; // file name without its last suffix, lower case
    QString suffix; // lower case
};

Name split(const QString &path)
{
    const QString clean = QString(path).replace(QLatin1Char('\\'), QLatin1Char('/')).toLower();
    const qsizetype slash = clean.lastIndexOf(QLatin1Char('/'));
    const QString fileName = clean.mid(slash + 1);
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    Name name;
    name.folder = slash < 0 ? QString() : clean.left(slash);
    name.stem = dot < 0 ? fileName : fileName.left(dot);
    name.suffix = dot < 0 ? QString() : fileName.mid(dot + 1);
    return name;
}

bool isSubtitleSuffix(const QString &suffix)
{
    static const QStringList suffixes { QStringLiteral("srt"), QStringLiteral("ass"), QStringLiteral("ssa"),
        QStringLiteral("vtt"), QStringLiteral("sub"), QStringLiteral("idx") };
    return suffixes.contains(suffix);
}

bool isVideoSuffix(const QString &suffix)
{
    static const QStringList suffixes { QStringLiteral("avi"), QStringLiteral("asf"), QStringLiteral("wmv"),
        QStringLiteral("flv"), QStringLiteral("mkv"), QStringLiteral("mov"), QStringLiteral("3gp"),
        QStringLiteral("mp4"), QStringLiteral("m4v"), QStringLiteral("mpg"), QStringLiteral("mpeg"),
        QStringLiteral("ogm"), QStringLiteral("vob"), QStringLiteral("rm"), QStringLiteral("rmvb"),
        QStringLiteral("ts"), QStringLiteral("webm") };
    return suffixes.contains(suffix);
}

bool isSubtitlesFolder(const QString &folderName)
{
    return folderName == QLatin1String("subs") || folderName == QLatin1String("subtitles");
}

QString lastPart(const QString &folder)
{
    return folder.mid(folder.lastIndexOf(QLatin1Char('/')) + 1);
}

QString parentOf(const QString &folder)
{
    const qsizetype slash = folder.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : folder.left(slash);
}

// "movie" names "movie.srt" and "movie.en.srt", not "movie2.srt".
bool namedAfter(const QString &stem, const QString &videoStem)
{
    return stem == videoStem || stem.startsWith(videoStem + QLatin1Char('.'));
}

// The language a name's words say: "movie.en.forced" -> English.
QLocale::Language languageOfWords(const QString &text)
{
    static const QRegularExpression separators(QStringLiteral("[._\\- ()\\[\\]]+"));
    const QStringList words = text.split(separators, Qt::SkipEmptyParts);
    // The last word first: "movie.2020.en" says its language at the end.
    for (auto it = words.crbegin(); it != words.crend(); ++it) {
        const QLocale::Language found = SubtitleCompanions::language(*it);
        if (found != QLocale::AnyLanguage)
            return found;
    }
    return QLocale::AnyLanguage;
}

} // namespace

bool SubtitleCompanions::isSubtitle(const QString &path)
{
    return isSubtitleSuffix(split(path).suffix);
}

QLocale::Language SubtitleCompanions::language(const QString &text)
{
    const QString word = text.trimmed().toLower();
    if (word.size() == 2 || word.size() == 3) {
        // Two- and three-letter codes only: ISO 639-3 also holds many
        // three-letter words that are no language a file name means.
        const QLocale::Language byCode = QLocale::codeToLanguage(
            word, QLocale::ISO639Part1 | QLocale::ISO639Part2B | QLocale::ISO639Part2T);
        if (byCode != QLocale::AnyLanguage && byCode != QLocale::C)
            return byCode;
    }
    if (word.size() < 4)
        return QLocale::AnyLanguage;
    static const QHash<QString, QLocale::Language> names = [] {
        QHash<QString, QLocale::Language> byName;
        for (int l = QLocale::Abkhazian; l <= QLocale::LastLanguage; ++l)
            byName.insert(QLocale::languageToString(QLocale::Language(l)).toLower(), QLocale::Language(l));
        return byName;
    }();
    return names.value(word, QLocale::AnyLanguage);
}

QList<SubtitleCompanions::Companion> SubtitleCompanions::pick(
    const QStringList &files, int played, const QString &preferredLanguage)
{
    if (played < 0 || played >= files.size())
        return {};
    QList<Name> names;
    names.reserve(files.size());
    for (const QString &file : files)
        names.append(split(file));
    const Name &video = names.at(played);
    if (isSubtitleSuffix(video.suffix))
        return {};

    // A file in a subtitles folder named after no video is the folder's own:
    // "Subs/English.srt" of a one-film download.
    const auto namedAfterAVideo = [&](const Name &name) {
        for (const Name &other : std::as_const(names))
            if (isVideoSuffix(other.suffix) && other.folder == parentOf(name.folder)
                && namedAfter(name.stem, other.stem))
                return true;
        return false;
    };

    QList<Companion> found;
    for (int i = 0; i < names.size(); ++i) {
        const Name &name = names.at(i);
        if (i == played || !isSubtitleSuffix(name.suffix))
            continue;
        QString words; // what is left of the name to say its language
        if (name.folder == video.folder && namedAfter(name.stem, video.stem)) {
            words = name.stem.mid(video.stem.size());
        } else if (isSubtitlesFolder(lastPart(name.folder)) && parentOf(name.folder) == video.folder) {
            if (namedAfter(name.stem, video.stem))
                words = name.stem.mid(video.stem.size());
            else if (!namedAfterAVideo(name))
                words = name.stem;
            else
                continue;
        } else if (lastPart(name.folder) == video.stem && isSubtitlesFolder(lastPart(parentOf(name.folder)))
            && parentOf(parentOf(name.folder)) == video.folder) {
            // "Subs/<video>/English.srt", the way series keep theirs.
            words = name.stem;
        } else {
            continue;
        }
        Companion companion;
        companion.file = i;
        companion.parts = { i };
        companion.language = languageOfWords(words);
        found.append(companion);
    }

    // A VobSub is opened by its index and reads its .sub: one companion of two files.
    for (qsizetype c = found.size() - 1; c >= 0; --c) {
        const Name &name = names.at(found.at(c).file);
        if (name.suffix != QLatin1String("sub"))
            continue;
        for (Companion &index : found) {
            const Name &other = names.at(index.file);
            if (other.suffix == QLatin1String("idx") && other.folder == name.folder
                && other.stem == name.stem) {
                index.parts.append(found.at(c).file);
                found.removeAt(c);
                break;
            }
        }
    }

    const QLocale::Language preferred = language(preferredLanguage);
    if (preferred != QLocale::AnyLanguage)
        std::stable_partition(found.begin(), found.end(),
            [preferred](const Companion &companion) { return companion.language == preferred; });
    return found;
}
