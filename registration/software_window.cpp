// SPDX-License-Identifier: GPL-3.0-or-later
#include "registration/software_window.h"

#include "data/data_module.h"
#include "shell/dialogs.h"
#include "ui_software_window.h"

using namespace Qt::StringLiterals;

TForm3::TForm3(TDm1 &dm, QWidget *parent)
    : RecordWindow(dm, parent)
    , m_ui(std::make_unique<Ui::TForm3>())
{
    m_ui->setupUi(this);
    setUpRecordWindow(u"Form3"_s, u":/pictures/software_banner.jpg"_s, m_dm.DataSource2,
                      {m_ui->Image1, m_ui->DBNavigator1, m_ui->DBEdit2, m_ui->BitBtn1,
                       m_ui->BitBtn2, m_ui->BitBtn3, m_ui->BitBtn4});
    for (TDBEdit *box : {m_ui->DBEdit1, m_ui->DBEdit2, m_ui->DBEdit4})
        box->setDataSource(&m_dm.DataSource2);
    // With both sources bound the box places the media dataset on the first title's medium.
    m_ui->DBLookupComboBox1->setListSource(&m_dm.DataSource1);
    m_ui->DBLookupComboBox1->setDataSource(&m_dm.DataSource2);
    m_ui->DBLookupComboBox2->setListSource(&m_dm.DataSource7);
    m_ui->DBLookupComboBox2->setDataSource(&m_dm.DataSource2);
}

TForm3::~TForm3() = default;

void TForm3::BitBtn4Click()
{
    checkMayWrite();
    if (!deleteConfirmed())
        return;
    if (m_ui->DBNavigator1->BtnClick(nbDelete))
        Dialogs::current().showMessage(u"Software apagado com sucesso!"_s);
}
