// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "reports/engine/quick_rep.h"

#include <QObject>

#include <memory>

class QueryReportDataSet;
class TDm1;

// The software report's form. It is never shown, so it is a plain object owned by its owner (the
// main window) rather than a window; its only content is the report, read from
// ":/reports/software_report.json" and bound to Dm1.ADOQuery4.
//
// One form serves one run: set the query's statement and open it, make the form, call
// Preview(*form->QuickRep1). The report reads the result open when the form was made and
// refuses one reopened since.
class TForm9 : public QObject
{
    Q_OBJECT

public:
    // Throws EReportError when the layout cannot be read.
    TForm9(QObject *owner, TDm1 &dm);
    ~TForm9() override;

    std::unique_ptr<TQuickRep> QuickRep1;

private:
    std::unique_ptr<QueryReportDataSet> m_dataSet;
};
