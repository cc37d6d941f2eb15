// SPDX-License-Identifier: GPL-3.0-or-later
#include "reports/software_report_form.h"

#include "data/data_module.h"

TForm9::TForm9(QObject *owner, TDm1 &dm)
    : ReportForm(owner, dm.ADOQuery4, QStringLiteral(":/reports/software_report.json"))
{
    setObjectName(QStringLiteral("Form9"));
}
