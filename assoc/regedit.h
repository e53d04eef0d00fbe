#pragma once

#include <QWidget>

#include <memory>

class Associations;
namespace Ui {
class regedit;
}

// Kelvora's window: one box per kind of binding, applied on OK.
class regedit : public QWidget
{
    Q_OBJECT

public:
    // param "auto" applies the fixed choice at once and closes; anything else
    // shows the current state. Works on this system's associations for the
    // player beside this program.
    explicit regedit(QWidget *parent = nullptr, const QString &param = QString());
    regedit(std::unique_ptr<Associations> associations, QWidget *parent, const QString &param);
    ~regedit() override;

private slots:
    void on_okpushButton_clicked();

private:
    std::unique_ptr<Ui::regedit> ui;
    std::unique_ptr<Associations> m_associations;
};
