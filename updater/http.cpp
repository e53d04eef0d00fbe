#include "http.h"
#include "ui_http.h"

Http::Http(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::Http)
{
    ui->setupUi(this);
}

Http::~Http()
{
    delete ui;
}

QProgressBar *Http::progressBar() const
{
    return ui->progressBar;
}

void Http::on_pushButton_3_clicked()
{
    close();
}
