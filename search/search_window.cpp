// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/search_window.h"

#include "data/data_module.h"

TForm4::TForm4(QWidget *owner, const QString &text, int kind, TDm1 &dm)
    : QDialog(owner)
    , m_dm(dm)
{
    Q_UNUSED(text);
    Q_UNUSED(kind);
    setWindowTitle(QStringLiteral("Busca"));
}
