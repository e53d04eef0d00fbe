#pragma once

#include <QDialog>

class QProgressBar;

namespace Ui {
class Http;
}

// The progress window of the installer download. Closing it only hides it:
// the download and the installation go on without it.
class Http : public QDialog
{
    Q_OBJECT

public:
    explicit Http(QWidget *parent = nullptr);
    ~Http() override;

    QProgressBar *progressBar() const;

private slots:
    void on_pushButton_3_clicked();

private:
    Ui::Http *ui;
};
