#pragma once

#include <QObject>

class QLabel;
class QTimer;
class QWidget;
class TreeItem;

// The black pop-up beside the cursor with a download's name, progress,
// amount uploaded, seeds, peers and size. Hides itself after three seconds.
class InformationWidget : public QObject
{
    Q_OBJECT

public:
    explicit InformationWidget(QObject *parent = nullptr);
    ~InformationWidget() override;

    void hidePopup();
    void showFor(TreeItem *item, int x, int y);

    QWidget *popup;
    QTimer *hideTimer;
    QLabel *nameLabel;
    QLabel *nameLabel1;
    QLabel *nameLabel2;
    QLabel *seedLabel;
    QLabel *_seedLabel;
    QLabel *peerLabel;
    QLabel *_peerLabel;
    QLabel *sizeLabel;
    QLabel *_sizeLabel;
    QLabel *trackerLabel;
    QLabel *_trackerLabel;
    QLabel *processLabel;
    QLabel *_processLabel;
    QLabel *uploadedLabel;
    QLabel *_uploadedLabel;
    bool showTracker = true;
    int charsPerLine = 35;
    int lineCount = 1;
    int popupHeight = 0;
    int spacing = 5;
    int lineHeight = 15;
    int trackerHeight = 15;

public slots:
    void nameLabelCharsNum(int num);
    void hideWidget();

private:
    void fillFrom(const TreeItem *item);
    void layoutPopup();
};
