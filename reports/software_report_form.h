// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "reports/report_form.h"

class TDm1;

// The software report's form: the titles Dm1.ADOQuery4 holds, with their media.
class TForm9 : public ReportForm
{
    Q_OBJECT

public:
    TForm9(QObject *owner, TDm1 &dm);
};
