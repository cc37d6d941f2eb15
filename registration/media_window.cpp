// SPDX-License-Identifier: GPL-3.0-or-later
#include "registration/media_window.h"

#include "core/exceptions.h"
#include "data/data_module.h"
#include "resources/jpeg_image.h"
#include "shell/dialogs.h"
#include "shell/error_handler.h"
#include "shell/form_layout.h"
#include "ui_media_window.h"

#include <QShowEvent>

using namespace Qt::StringLiterals;

TForm2::TForm2(TDm1 &dm, QWidget *parent)
    : QWidget(parent)
    , m_dm(dm)
    , m_ui(std::make_unique<Ui::TForm2>())
{
    m_ui->setupUi(this);
    setObjectName(u"Form2"_s);
    m_ui->Image1->setPixmap(QPixmap::fromImage(loadJpegResource(u":/pictures/media_banner.jpg"_s)));
    finishFormLayout(this);
    setFixedFrame(this);

    for (TDBEdit *box : {m_ui->Codmidia, m_ui->DBEdit2, m_ui->DBEdit1, m_ui->DBEdit3})
        box->setDataSource(&m_dm.DataSource1);
    m_ui->DBComboBox1->setDataSource(&m_dm.DataSource1);
    m_ui->DBNavigator1->setVisibleButtons({nbFirst, nbPrior, nbNext, nbLast, nbRefresh});
    m_ui->DBNavigator1->setDataSource(&m_dm.DataSource1);

    connect(m_ui->BitBtn1, &QPushButton::clicked, this, guarded([this] { BitBtn1Click(); }));
    connect(m_ui->BitBtn2, &QPushButton::clicked, this, guarded([this] { BitBtn2Click(); }));
    connect(m_ui->BitBtn3, &QPushButton::clicked, this, guarded([this] { BitBtn3Click(); }));
    connect(m_ui->BitBtn4, &QPushButton::clicked, this, guarded([this] { BitBtn4Click(); }));
}

TForm2::~TForm2() = default;

void TForm2::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    centreOnDesktop(this);
    if (!m_shownBefore) {
        m_shownBefore = true;
        m_ui->DBEdit2->setFocus(Qt::ActiveWindowFocusReason);
    }
}

void TForm2::BitBtn1Click()
{
    close();
}

void TForm2::BitBtn2Click()
{
    m_dm.ADOConnection1.checkMayWrite();
    m_ui->DBNavigator1->BtnClick(nbInsert);
}

void TForm2::BitBtn3Click()
{
    m_dm.ADOConnection1.checkMayWrite();
    m_ui->DBNavigator1->BtnClick(nbPost);
}

// A medium that software refers to in the database is never deleted; the count is taken
// before the user is asked.
void TForm2::BitBtn4Click()
{
    m_dm.ADOConnection1.checkMayWrite();
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
    if (askYesNo(u"Deseja APAGAR este registro?"_s, u"Confirmação de exclusão de registro"_s) !=
        Dialogs::Yes)
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
