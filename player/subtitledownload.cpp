#include "subtitledownload.h"

#include "downloads/mediasuffixes.h"
#include "platform/logging.h"
#include "player/vlcengine.h"

#include <QCoreApplication>
#include <QDir>
#include <QMenu>
#include <QStandardPaths>

namespace {

int countFolderEntries(const QString &folder)
{
    return int(
        QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System).size());
}

} // namespace

SubtitleDownload::SubtitleDownload(
    VlcEngine *engine, std::function<QString()> currentFile, Chooser choose, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_currentFile(std::move(currentFile))
    , m_choose(std::move(choose))
{ }

QString SubtitleDownload::folderOf(const QString &file)
{
    const QString path = QString(file).replace(QLatin1Char('\\'), QLatin1Char('/'));
    return path.left(path.lastIndexOf(QLatin1Char('/')));
}

void SubtitleDownload::slotdownsub()
{
    const QString current = m_currentFile();
    m_entryCount = countFolderEntries(folderOf(current));

    // Own folder first, then the search path; missing means nothing happens.
    QString found = QStandardPaths::findExecutable(program, { QCoreApplication::applicationDirPath() });
    if (found.isEmpty())
        found = QStandardPaths::findExecutable(program);
    if (found.isEmpty()) {
        qCDebug(lcPlayer).noquote() << "no" << program << "found";
        emit notice(
            QCoreApplication::translate("player", "Subtitle download needs %1, which is not installed.")
                .arg(program));
        return;
    }
    // One argument per item: a file name with quotes or blanks reaches the
    // program whole, and nothing in it is interpreted.
    auto *process = new QProcess(this);
    connect(process, &QProcess::finished, this, &SubtitleDownload::slotFinished);
    connect(process, &QProcess::finished, process, &QObject::deleteLater);
    connect(process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            process->deleteLater();
    });
    process->start(found,
        { QStringLiteral("--silent"), QStringLiteral("--filename"),
            QDir::toNativeSeparators(QString(current).replace(QLatin1Char('\\'), QLatin1Char('/'))) });
}

void SubtitleDownload::popupMenu(
    QAction *download, QWidget *videoArea, QPoint pos, const QList<QMenu *> &more)
{
    if (!m_menu) {
        m_menu = new QMenu(videoArea->window());
        m_menu->addAction(download);
        connect(download, &QAction::triggered, this, &SubtitleDownload::slotdownsub);
        if (!more.isEmpty())
            m_menu->addSeparator();
        for (QMenu *menu : more)
            m_menu->addMenu(menu);
    }
    m_menu->popup(videoArea->mapToGlobal(pos));
}

void SubtitleDownload::slotFinished(int exitcode, QProcess::ExitStatus status)
{
    Q_UNUSED(exitcode);
    Q_UNUSED(status);
    const QString folder = folderOf(m_currentFile());
    const int count = countFolderEntries(folder);
    if (count <= m_entryCount)
        return;
    m_entryCount = count;
    const QString chosen = m_choose(folder, folder, MediaSuffixes::subtitleFilter());
    m_engine->setSubtitleFile(QDir::toNativeSeparators(chosen));
}
