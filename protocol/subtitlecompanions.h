#pragma once

#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>

// Which files of a download are subtitles for one of its videos: the same
// base name beside it ("movie.srt", "movie.en.srt"), or a subtitles folder
// beside it ("Subs/English.srt", "Subtitles/movie/2_eng.srt"). The core
// fetches them first and the player loads them, so both ask this one place.
class SubtitleCompanions
{
public:
    struct Companion
    {
        int file = -1; // what the engine opens
        // Every file it needs complete: a VobSub index also needs its .sub.
        QList<int> parts;
        QLocale::Language language = QLocale::AnyLanguage; // from the name; Any when it says none
    };

    // files: the download's file paths in row order ('/' or '\'). The
    // companions of files[played], those in the preferred language first,
    // the rest in row order.
    static QList<Companion> pick(
        const QStringList &files, int played, const QString &preferredLanguage = QString());
    // A language named by a code ("en", "eng") or an English name ("English").
    static QLocale::Language language(const QString &text);
    static bool isSubtitle(const QString &path);
};
