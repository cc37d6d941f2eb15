// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_window.h"

#include "app/error_handler.h"
#include "data/data_module.h"

#include <QCloseEvent>
#include <QCoreApplication>

TForm1::TForm1(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("QUIVEL - Banco de Dados de Aplicativos"));
    setFixedSize(936, 592);
}

TForm1::~TForm1() = default;

void TForm1::bindDataModule(TDm1 &dm)
{
    m_dm = &dm;
}

void TForm1::setRegistrationWindows(TForm2 *form2, TForm3 *form3)
{
    m_form2 = form2;
    m_form3 = form3;
}

void TForm1::FormShow()
{
    m_dm->ADOQuery5.close();
    m_dm->ADOQuery5.open();
}

void TForm1::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        guarded([this] { FormShow(); })();
}

// Closing the main window ends the program at once, whatever else is open.
void TForm1::closeEvent(QCloseEvent *event)
{
    event->accept();
    QCoreApplication::quit();
}
