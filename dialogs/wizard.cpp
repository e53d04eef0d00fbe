#include "wizard.h"
#include "ui_wizard.h"

#include "dialogs/elevatedlauncher.h"
#include "dialogs/folderchooser.h"
#include "settings/preferences.h"

Wizard::Wizard(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::Wizard)
{
    ui->setupUi(this);
    setFixedSize(size());
    Preferences prefs;
    ui->lineEdit->setText(prefs.getSavePath());
    ui->filecheckBox->setChecked(prefs.getFileCheckbox());
    ui->ipv6ComboBox->setCurrentIndex(0);
}

Wizard::~Wizard()
{
    delete ui;
}

void Wizard::on_browseButton_clicked()
{
    ui->lineEdit->setText(FolderChooser::chooseFolder(this, tr("Open Directory"), ui->lineEdit->text()));
}

void Wizard::on_okButton_clicked()
{
    {
        Preferences prefs;
        prefs.setSavePath(ui->lineEdit->text());
        // Index 0 asks the user to choose; without a choice the setting stays.
        const int network = ui->ipv6ComboBox->currentIndex();
        if (network != 0)
            prefs.setIpv6Checkbox(network == 2);
    }
    if (ui->filecheckBox->isChecked())
        ElevatedLauncher::launchElevated(ElevatedLauncher::associationTool(), QStringLiteral("auto"));
    accept();
}
