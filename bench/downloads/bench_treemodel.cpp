// Time of one periodic status reply over a long downloads list, with the
// model's hash index and with a linear search of the rows, in one run.

#include "downloads/torrentpieces.h"
#include "downloads/treemodel.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTextStream>

#include <algorithm>
#include <ctime>

namespace {

constexpr int pieces = 2000;

QString hashOf(int n)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(QByteArray::number(n), QCryptographicHash::Sha1).toHex());
}

QList<QStringList> descriptions(int rows)
{
    QList<QStringList> list;
    list.reserve(rows);
    for (int i = 0; i < rows; ++i) {
        const QString name = QStringLiteral("video %1").arg(i);
        list.append({ hashOf(i), name, QStringLiteral("734003200"), QStringLiteral("/downloads"),
            QStringLiteral("0"), QStringLiteral("/downloads/") + name + QStringLiteral(".mkv") });
    }
    return list;
}

// Rates and pieces move between replies, as they do while downloading.
QList<QStringList> statusReply(int rows, int round)
{
    QList<QStringList> list;
    list.reserve(rows);
    for (int i = 0; i < rows; ++i) {
        QString bits(pieces, QLatin1Char('0'));
        bits.fill(QLatin1Char('1'), (i + round) % pieces);
        bits.resize(pieces, QLatin1Char('0'));
        list.append({ hashOf(i), QString::number(100000 + 37 * i + round), QString::number(2000 + i),
            QStringLiteral("%1%").arg((i + round) % 100), QString::number(i % 50), QString::number(i % 80),
            QString::number(1 + (i + round) % 3), QStringLiteral("0"), bits, QString::number(pieces),
            QStringLiteral("262144"), QString::number(1048576.0 * (i % 7)) });
    }
    return list;
}

double medianMs(QList<double> samples)
{
    std::sort(samples.begin(), samples.end());
    const qsizetype n = samples.size();
    return n % 2 ? samples.at(n / 2) : (samples.at(n / 2 - 1) + samples.at(n / 2)) / 2;
}

struct Timing
{
    double wallMs;
    double cpuMs;
};

// The list's rows, or the pieces' owner, taking each reply.
Timing timeReplies(bool pieceOwner, int rows, int replies, const QList<QList<QStringList>> &prepared)
{
    TreeModel model;
    model.startupTorrent(descriptions(rows));
    int changes = 0;
    QObject::connect(&model, &QAbstractItemModel::dataChanged, &model, [&] { ++changes; });

    QList<double> wall;
    QList<double> cpu;
    QElapsedTimer clock;
    for (int r = 0; r < replies; ++r) {
        const QList<QStringList> &reply = prepared.at(r % prepared.size());
        // The processor time is what the model costs; the wall time also
        // holds whatever else the machine was doing.
        const std::clock_t cpuStart = std::clock();
        clock.start();
        if (pieceOwner)
            model.pieces()->statusReceived(reply);
        else
            model.torrentDataSet(reply);
        wall.append(double(clock.nsecsElapsed()) / 1e6);
        cpu.append(double(std::clock() - cpuStart) * 1000.0 / CLOCKS_PER_SEC);
    }
    if (changes != (pieceOwner ? 0 : replies) || model.rowCount() != rows)
        qFatal("unexpected model state: %d changes, %d rows", changes, model.rowCount());
    return { medianMs(wall), medianMs(cpu) };
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("morvane.*.debug=false"));

    QCommandLineParser parser;
    parser.addHelpOption();
    QCommandLineOption rowsOption(QStringLiteral("rows"),
        QStringLiteral("List length to measure (default: 1000 and 10000)."), QStringLiteral("n"));
    QCommandLineOption repliesOption(QStringLiteral("replies"),
        QStringLiteral("Replies per measurement (default 15)."), QStringLiteral("n"), QStringLiteral("15"));
    parser.addOptions({ rowsOption, repliesOption });
    parser.process(app);

    QList<int> sizes { 1000, 10000 };
    if (parser.isSet(rowsOption))
        sizes = { parser.value(rowsOption).toInt() };
    const int replies = qMax(1, parser.value(repliesOption).toInt());

    QTextStream out(stdout);
    out << "status reply (13), " << pieces << "-piece bit fields, median of " << replies << " replies\n";
    out << "median ms per reply, wall (processor)\n";
    out << "rows\tlist\t\tpieces\n";
    for (int rows : std::as_const(sizes)) {
        QList<QList<QStringList>> prepared;
        for (int r = 0; r < 3; ++r)
            prepared.append(statusReply(rows, r));
        const Timing list = timeReplies(false, rows, replies, prepared);
        const Timing pieceOwner = timeReplies(true, rows, replies, prepared);
        const auto both = [](const Timing &t) {
            return QStringLiteral("%1 (%2)").arg(t.wallMs, 0, 'f', 2).arg(t.cpuMs, 0, 'f', 2);
        };
        out << rows << '\t' << both(list) << '\t' << both(pieceOwner) << '\n';
        out.flush();
    }
    return 0;
}
