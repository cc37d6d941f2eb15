// SPDX-License-Identifier: GPL-3.0-or-later
#include "registration/software_window.h"

#include "data/data_module.h"

TForm3::TForm3(TDm1 &dm, QWidget *parent)
    : QWidget(parent)
    , m_dm(dm)
{
    setWindowTitle(QStringLiteral("Softwares"));
    setFixedSize(792, 566);
}
