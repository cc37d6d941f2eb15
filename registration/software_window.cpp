// SPDX-License-Identifier: GPL-3.0-or-later
#include "registration/software_window.h"

#include "data/data_module.h"
#include "resources/jpeg_image.h"
#include "shell/dialogs.h"
#include "shell/error_handler.h"
#include "shell/form_layout.h"
#include "ui_software_window.h"

#include <QShowEvent>

using namespace Qt::StringLiterals;

TForm3::TForm3(TDm1 &dm, QWidget *parent)
    : QWidget(parent)
    , m_dm(dm)
    , m_ui(std::make_unique<Ui::TForm3>())
{
    m_ui->setupUi(this);
    setObjectName(u"Form3"_s);
    m_ui->Image1->setPixmap(
        QPixmap::fromImage(loadJpegResource(u":/pictures/software_banner.jpg"_s)));
    finishFormLayout(this);
    setFixedFrame(this);

    for (TDBEdit *box : {m_ui->DBEdit1, m_ui->DBEdit2, m_ui->DBEdit4})
        box->setDataSource(&m_dm.DataSource2);
    m_ui->DBNavigator1->setVisibleButtons({nbFirst, nbPrior, nbNext, nbLast, nbRefresh});
    m_ui->DBNavigator1->setDataSource(&m_dm.DataSource2);
    // With both sources bound the box places the media dataset on the first title's medium.
    m_ui->DBLookupComboBox1->setListSource(&m_dm.DataSource1);
    m_ui->DBLookupComboBox1->setDataSource(&m_dm.DataSource2);
    m_ui->DBLookupComboBox2->setListSource(&m_dm.DataSource7);
    m_ui->DBLookupComboBox2->setDataSource(&m_dm.DataSource2);

    connect(m_ui->BitBtn1, &QPushButton::clicked, this, guarded([this] { BitBtn1Click(); }));
    connect(m_ui->BitBtn2, &QPushButton::clicked, this, guarded([this] { BitBtn2Click(); }));
    connect(m_ui->BitBtn3, &QPushButton::clicked, this, guarded([this] { BitBtn3Click(); }));
    connect(m_ui->BitBtn4, &QPushButton::clicked, this, guarded([this] { BitBtn4Click(); }));
}

TForm3::~TForm3() = default;

void TForm3::showEvent(QShowEvent *event)
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

void TForm3::BitBtn1Click()
{
    close();
}

void TForm3::BitBtn2Click()
{
    m_ui->DBNavigator1->BtnClick(nbInsert);
}

void TForm3::BitBtn3Click()
{
    m_ui->DBNavigator1->BtnClick(nbPost);
}

void TForm3::BitBtn4Click()
{
    if (askYesNo(u"Deseja APAGAR este registro?"_s, u"Confirmação de exclusão de registro"_s) !=
        Dialogs::Yes)
        return;
    if (m_ui->DBNavigator1->BtnClick(nbDelete))
        Dialogs::current().showMessage(u"Software apagado com sucesso!"_s);
}
