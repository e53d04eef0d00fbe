#include "protocol/subtitlecompanions.h"

#include <QtTest>

class tst_SubtitleCompanions : public QObject
{
    Q_OBJECT

private slots:
    void pick_data();
    void pick();
};

void tst_SubtitleCompanions::pick_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<int>("played");
    QTest::addColumn<QString>("preferred");
    // "file parts" of each companion in order, e.g. "3 3,4".
    QTest::addColumn<QString>("expected");

    const QStringList film { "Film/film.mkv", "Film/film.srt", "Film/film.en.srt", "Film/film.fre.ass",
        "Film/film2.srt", "Film/other.vtt", "Film/film.nfo" };
    QTest::newRow("same base name, no preference keeps row order") << film << 0 << ""
                                                                   << "1 2 3";
    QTest::newRow("a code prefers its language") << film << 0 << "fr"
                                                 << "3 1 2";
    QTest::newRow("an English name prefers the same language") << film << 0 << "English"
                                                               << "2 1 3";
    QTest::newRow("an unknown preference changes nothing") << film << 0 << "xx"
                                                           << "1 2 3";
    QTest::newRow("a played subtitle has none") << film << 1 << ""
                                                << "";

    const QStringList folders { "Show\\Show.S01E01.mkv", "Show\\Show.S01E02.mkv", "Show\\SUBS\\English.srt",
        "Show\\Subs\\Show.S01E02.eng.srt", "Show\\Subtitles\\Show.S01E01\\2_Spanish.srt",
        "Show\\Subtitles\\Show.S01E02\\3_German.srt", "Other\\Subs\\English.srt", "Show\\Extras\\x.srt" };
    QTest::newRow("folders: the folder's own and its own subfolder, any case") << folders << 0 << ""
                                                                               << "2 4";
    QTest::newRow("folders: another video's name is that video's") << folders << 1 << "ger"
                                                                   << "5 2 3";
    QTest::newRow("folders: the language of the folder's own file") << folders << 0 << "es"
                                                                    << "4 2";

    const QStringList vobsub { "m.avi", "m.idx", "m.sub", "m.ssa", "n.sub" };
    QTest::newRow("a VobSub is its index with its .sub; a lone .sub is text") << vobsub << 0 << ""
                                                                              << "1,2 3";
}

void tst_SubtitleCompanions::pick()
{
    QFETCH(QStringList, files);
    QFETCH(int, played);
    QFETCH(QString, preferred);
    QFETCH(QString, expected);

    QStringList got;
    for (const SubtitleCompanions::Companion &companion :
        SubtitleCompanions::pick(files, played, preferred)) {
        QCOMPARE(companion.parts.value(0), companion.file);
        QStringList parts;
        for (int part : companion.parts)
            parts << QString::number(part);
        got << parts.join(QLatin1Char(','));
    }
    QCOMPARE(got.join(QLatin1Char(' ')), expected);
}

QTEST_APPLESS_MAIN(tst_SubtitleCompanions)
#include "tst_subtitlecompanions.moc"
