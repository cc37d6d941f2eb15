// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "reports/report_form.h"

class TDm1;

// The media report's form: every medium, from Dm1.ADOQuery3.
class TForm8 : public ReportForm
{
    Q_OBJECT

public:
    TForm8(QObject *owner, TDm1 &dm);
};
