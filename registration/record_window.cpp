// SPDX-License-Identifier: GPL-3.0-or-later
#include "registration/record_window.h"

#include "controls/db_navigator.h"
#include "data/data_module.h"
#include "resources/jpeg_image.h"
#include "shell/dialogs.h"
#include "shell/error_handler.h"
#include "shell/form_layout.h"

#include <QAbstractButton>
#include <QLabel>
#include <QShowEvent>

using namespace Qt::StringLiterals;

RecordWindow::RecordWindow(TDm1 &dm, QWidget *parent)
    : QWidget(parent)
    , m_dm(dm)
{}

void RecordWindow::setUpRecordWindow(const QString &objectName, const QString &bannerResource,
                                     TDataSource &source, const Controls &controls)
{
    m_controls = controls;
    setObjectName(objectName);
    m_controls.Image1->setPixmap(QPixmap::fromImage(loadJpegResource(bannerResource)));
    finishFormLayout(this);
    setFixedFrame(this);

    m_controls.DBNavigator1->setVisibleButtons({nbFirst, nbPrior, nbNext, nbLast, nbRefresh});
    m_controls.DBNavigator1->setDataSource(&source);

    connect(m_controls.BitBtn1, &QAbstractButton::clicked, this,
            guarded([this] { BitBtn1Click(); }));
    connect(m_controls.BitBtn2, &QAbstractButton::clicked, this,
            guarded([this] { BitBtn2Click(); }));
    connect(m_controls.BitBtn3, &QAbstractButton::clicked, this,
            guarded([this] { BitBtn3Click(); }));
    connect(m_controls.BitBtn4, &QAbstractButton::clicked, this,
            guarded([this] { BitBtn4Click(); }));
}

void RecordWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    centreOnDesktop(this);
    if (!m_shownBefore) {
        m_shownBefore = true;
        m_controls.DBEdit2->setFocus(Qt::ActiveWindowFocusReason);
    }
}

void RecordWindow::BitBtn1Click()
{
    close();
}

void RecordWindow::BitBtn2Click()
{
    checkMayWrite();
    m_controls.DBNavigator1->BtnClick(nbInsert);
}

void RecordWindow::BitBtn3Click()
{
    checkMayWrite();
    m_controls.DBNavigator1->BtnClick(nbPost);
}

bool RecordWindow::deleteConfirmed()
{
    return askYesNo(u"Deseja APAGAR este registro?"_s, u"Confirmação de exclusão de registro"_s) ==
           Dialogs::Yes;
}

void RecordWindow::checkMayWrite()
{
    m_dm.ADOConnection1.checkMayWrite();
}
