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

    // The program version as shown to the user and written for the updater.
    static constexpr double version = 1.05;
    // When this build was compiled, as the compiler writes it.
    static QString buildTime();

private:
    QString linksText() const;

    Ui::about *ui;
};
