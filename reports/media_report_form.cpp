// SPDX-License-Identifier: GPL-3.0-or-later
#include "reports/media_report_form.h"

#include "data/data_module.h"

TForm8::TForm8(QObject *owner, TDm1 &dm)
    : ReportForm(owner, dm.ADOQuery3, QStringLiteral(":/reports/media_report.json"))
{
    setObjectName(QStringLiteral("Form8"));
}
