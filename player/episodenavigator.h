#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QAbstractButton;
class StreamingPolicy;
class TreeModel;
class WindowChrome;

// Previous/next: the neighbouring episode of the download being played, or
// the neighbouring video of a plain file's folder.
class EpisodeNavigator : public QObject
{
    Q_OBJECT

public:
    EpisodeNavigator(StreamingPolicy *policy, TreeModel *model, std::function<QString()> currentFile,
        WindowChrome *chrome, QAbstractButton *prev, QAbstractButton *next, QObject *parent);

    // step -1 or +1; empty when there is none.
    QString episodeBeside(int step, int *fileRow = nullptr) const;
    void playEpisode(int step);
    void updateButtons();

signals:
    // A video of the plain file's folder, to open as a local file.
    void localFileWanted(QString file);

private:
    StreamingPolicy *m_policy;
    TreeModel *m_model;
    std::function<QString()> m_currentFile;
    WindowChrome *m_chrome;
    QAbstractButton *m_prev;
    QAbstractButton *m_next;
};
