// SPDX-License-Identifier: GPL-3.0-or-later
#include "registration/media_window.h"

#include "core/exceptions.h"
#include "data/data_module.h"
#include "shell/dialogs.h"
#include "ui_media_window.h"

using namespace Qt::StringLiterals;

TForm2::TForm2(TDm1 &dm, QWidget *parent)
    : RecordWindow(dm, parent)
    , m_ui(std::make_unique<Ui::TForm2>())
{
    m_ui->setupUi(this);
    setUpRecordWindow(u"Form2"_s, u":/pictures/media_banner.jpg"_s, m_dm.DataSource1,
                      {m_ui->Image1, m_ui->DBNavigator1, m_ui->DBEdit2, m_ui->BitBtn1,
                       m_ui->BitBtn2, m_ui->BitBtn3, m_ui->BitBtn4});
    for (TDBEdit *box : {m_ui->Codmidia, m_ui->DBEdit2, m_ui->DBEdit1, m_ui->DBEdit3})
        box->setDataSource(&m_dm.DataSource1);
    m_ui->DBComboBox1->setDataSource(&m_dm.DataSource1);
}

TForm2::~TForm2() = default;

// A medium that software refers to in the database is never deleted; the count is taken
// before the user is asked.
void TForm2::BitBtn4Click()
{
    checkMayWrite();
    TADOQuery &probe = m_dm.ADOQuery4;
    probe.clearSql();
    probe.addSql(u"SELECT nome from softs"_s);
    probe.addSql(u"where midia ="_s + m_ui->Codmidia->text() + u';');
    probe.open();
    const auto refuse = [] {
        showRefusal(u"A mídia selecionada já é utilizada por algum software. Para apagar esta "
                    "mídia deve-se primeiro remover os softwares cadastrados para ela na tela de "
                    "softwares."_s,
                    u"Impossível apagar. Mídia já utilizada"_s);
    };
    if (probe.recordCount() != 0) {
        refuse();
        return;
    }
    if (!deleteConfirmed())
        return;
    // Another copy of the program may have given the medium a title while the question was
    // open; the delete itself refuses then.
    try {
        m_ui->DBNavigator1->BtnClick(nbDelete);
    } catch (const ERowInUse &) {
        refuse();
        return;
    }
    Dialogs::current().showMessage(u"Mídia apagada com sucesso!"_s);
}
