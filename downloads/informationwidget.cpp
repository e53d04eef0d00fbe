#include "informationwidget.h"

#include "platform/logging.h"
#include "treeitem.h"

#include <QLabel>
#include <QTimer>
#include <QWidget>

namespace {
// Rectangles here are written as inclusive left, top, right, bottom.
QRect box(int left, int top, int right, int bottom)
{
    return QRect(QPoint(left, top), QPoint(right, bottom));
}
}

InformationWidget::InformationWidget(QObject *parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("informationwidget"));
    // A tool-tip window: no taskbar entry, and showing it under the cursor
    // never takes the focus from the window the user works in.
    popup = new QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
    popup->setAttribute(Qt::WA_ShowWithoutActivating);
    popup->setStyleSheet(QStringLiteral("background-color: rgb(0, 0,0);"));

    hideTimer = new QTimer(this);
    hideTimer->setSingleShot(true);
    hideTimer->setInterval(3000);
    connect(hideTimer, &QTimer::timeout, this, &InformationWidget::hideWidget);

    const auto label = [this](const char *objectName, const QString &text) {
        auto *l = new QLabel(text, popup);
        l->setObjectName(QLatin1String(objectName));
        l->setStyleSheet(QStringLiteral("color: rgb(255, 255, 255);"));
        return l;
    };
    nameLabel = label("nameLabel", QString());
    nameLabel1 = label("nameLabel1", QString());
    nameLabel2 = label("nameLabel2", QString());
    seedLabel = label("seedLabel", tr("Seeds:"));
    _seedLabel = label("_seedLabel", QString());
    peerLabel = label("peerLabel", tr("Peers:"));
    _peerLabel = label("_peerLabel", QString());
    sizeLabel = label("sizeLabel", tr("Size:"));
    _sizeLabel = label("_sizeLabel", QString());
    trackerLabel = label("trackerLabel", tr("Tracker:"));
    _trackerLabel = label("_trackerLabel", QString());
    processLabel = label("processLabel", tr("Process:"));
    _processLabel = label("_processLabel", QString());
    uploadedLabel = label("uploadedLabel", tr("Uploaded:"));
    _uploadedLabel = label("_uploadedLabel", QString());

    trackerHeight = showTracker ? 15 : 0;
    layoutPopup();
}

InformationWidget::~InformationWidget()
{
    delete popup;
}

void InformationWidget::nameLabelCharsNum(int num)
{
    charsPerLine = num;
}

void InformationWidget::hideWidget()
{
    hideTimer->stop();
    popup->hide();
}

void InformationWidget::hidePopup()
{
    popup->hide();
}

void InformationWidget::showFor(TreeItem *item, int x, int y)
{
    qCDebug(lcDownloads).noquote() << "\t ready to show information widget..";
    if (!item)
        return;
    fillFrom(item);
    popup->move(x + 10, y);
    popup->show();
    hideTimer->start();
}

void InformationWidget::fillFrom(const TreeItem *item)
{
    const QString &name = item->name;
    // A width of one or less would divide by zero or cut empty pieces.
    const int perLine = qMax(2, charsPerLine);
    const int lines = int(name.size()) / perLine + 1;
    if (lines != lineCount) {
        lineCount = lines;
        layoutPopup();
    }
    const auto piece = [&](int i) { return name.mid((perLine - 1) * i, perLine - 1); };
    nameLabel->setText(piece(0));
    nameLabel1->setText(lineCount > 1 ? piece(1) : QString());
    nameLabel2->setText(lineCount > 2 ? piece(2) : QString());

    _processLabel->setText(item->progressText);
    _uploadedLabel->setText(item->uploadedText);
    _seedLabel->setText(item->seedsText);
    _peerLabel->setText(item->peersText);
    _sizeLabel->setText(item->sizeText);
}

void InformationWidget::layoutPopup()
{
    const int L = lineCount;
    const int S = spacing;
    const int H = lineHeight;
    const int T = trackerHeight;

    nameLabel1->hide();
    nameLabel2->hide();
    trackerLabel->hide();
    _trackerLabel->hide();

    popupHeight = (T / 15 + 3) * S + T + 2 * H + L * (S + H);
    qCDebug(lcDownloads, "resize : %d,%d", 250, popupHeight);
    popup->resize(250, popupHeight);

    nameLabel->setGeometry(box(5, S, 244, S + H - 1));

    const int y1 = L * (S + H) + S;
    processLabel->setGeometry(box(5, y1, 54, y1 + H - 1));
    _processLabel->setGeometry(box(60, y1, 89, y1 + H - 1));
    uploadedLabel->setGeometry(box(95, y1, 144, y1 + H - 1));
    _uploadedLabel->setGeometry(box(150, y1, 199, y1 + H - 1));

    const int y2 = y1 + H;
    seedLabel->setGeometry(box(5, y2, 34, y2 + H - 1));
    _seedLabel->setGeometry(box(40, y2, 69, y2 + H - 1));
    peerLabel->setGeometry(box(70, y2, 99, y2 + H - 1));
    _peerLabel->setGeometry(box(105, y2, 134, y2 + H - 1));
    sizeLabel->setGeometry(box(130, y2, 159, y2 + H - 1));
    _sizeLabel->setGeometry(box(165, y2, 224, y2 + H - 1));

    if (showTracker) {
        const int y3 = y2 + S + H;
        trackerLabel->setGeometry(box(5, y3, 34, y3 + H - 1));
        _trackerLabel->setGeometry(box(40, y3, 244, y3 + H - 1));
    }

    if (L > 1) {
        nameLabel1->setGeometry(box(5, H + 2 * S, 244, 2 * H + 2 * S - 1));
        nameLabel1->show();
    }
    if (L >= 3) {
        const int top = 2 * (S + H) + S;
        nameLabel2->setGeometry(box(5, top, 244, top + H - 1));
        nameLabel2->show();
    }
}
