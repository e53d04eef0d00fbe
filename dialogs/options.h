#pragma once

#include "protocol/coreprotocol.h"

#include <QDialog>
#include <QPoint>

class Preferences;
class QListWidgetItem;

namespace Ui {
class Options;
}

// The settings dialog. The window keeps one for the whole run and shows it
// again and again, so the widgets keep whatever was left in them.
class Options : public QDialog
{
    Q_OBJECT

public:
    explicit Options(QWidget *parent = nullptr);
    ~Options() override;

signals:
    void sessionRequest(CoreProtocol::RequestType type, QStringList arguments);
    void autoPlayMethodChanged(bool autoPlayMethod);

public slots:
    void changePage(QListWidgetItem *current, QListWidgetItem *previous);

private slots:
    void on_cancleButton_clicked();
    void on_okButton_clicked();
    void on_browseButton_clicked();
    void on_regeditpushButton_clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void loadSettings();
    bool portTextAcceptable() const;
    void storeLimits(Preferences &prefs);

    Ui::Options *ui;
    QPoint m_pressWindowPos;
    QPoint m_pressMousePos;
    QPoint m_dragOffset;
    bool m_dragging = false;
};
