#include "regedit.h"
#include "ui_regedit.h"

#include "assoc/associations.h"

#include <QCoreApplication>
#include <QIcon>

regedit::regedit(QWidget *parent, const QString &param)
    : regedit(Associations::forProgramFolder(QCoreApplication::applicationDirPath()), parent, param)
{ }

regedit::regedit(std::unique_ptr<Associations> associations, QWidget *parent, const QString &param)
    : QWidget(parent)
    , ui(std::make_unique<Ui::regedit>())
    , m_associations(std::move(associations))
{
    ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/icon/systraysmall.png")));

    if (param == QLatin1String("auto")) {
        m_associations->setTorrentAssociation(false);
        m_associations->setMagnetAssociation(true);
        m_associations->setSchemeAssociation(true);
        close();
        return;
    }
    ui->torrentcheckBox_2->setChecked(m_associations->torrentAssociated());
    ui->mangentcheckBox->setChecked(m_associations->magnetAssociated());
    ui->xvodcheckBox->setChecked(m_associations->schemeAssociated());
    ui->loaclcheckBox->setChecked(m_associations->videoFilesAssociated());
}

regedit::~regedit() = default;

void regedit::on_okpushButton_clicked()
{
    m_associations->setTorrentAssociation(ui->torrentcheckBox_2->isChecked());
    m_associations->setMagnetAssociation(ui->mangentcheckBox->isChecked());
    m_associations->setSchemeAssociation(ui->xvodcheckBox->isChecked());
    if (ui->loaclcheckBox->isChecked())
        m_associations->associateVideoFiles();
    else
        m_associations->restoreVideoFiles();
    close();
}
