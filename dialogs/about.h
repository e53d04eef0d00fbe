#pragma once

#include <QDialog>

namespace Ui {
class about;
}

// Version, build time and the maker's links.
class about : public QDialog
{
    Q_OBJECT

public:
    explicit about(QWidget *parent = nullptr);
    ~about() override;

    // When this build was compiled, as the compiler writes it.
    static QString buildTime();

private:
    QString linksText() const;

    Ui::about *ui;
};
