#pragma once

#include <QDialog>

namespace Ui {
class Wizard;
}

// First-run dialog: download folder, network mode and the offer to register
// the file associations. Only writes settings; the core reads them at start.
class Wizard : public QDialog
{
    Q_OBJECT

public:
    explicit Wizard(QWidget *parent = nullptr);
    ~Wizard() override;

private slots:
    void on_browseButton_clicked();
    void on_okButton_clicked();

private:
    Ui::Wizard *ui;
};
