// SPDX-License-Identifier: GPL-3.0-or-later
#include "registration/media_window.h"

#include "data/data_module.h"

TForm2::TForm2(TDm1 &dm, QWidget *parent)
    : QWidget(parent)
    , m_dm(dm)
{
    setWindowTitle(QStringLiteral("Cadastro de Mídias"));
    setFixedSize(792, 522);
}
