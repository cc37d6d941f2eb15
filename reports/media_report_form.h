// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "reports/engine/quick_rep.h"

#include <QObject>

#include <memory>

class QueryReportDataSet;
class TDm1;

// The media report's form. It is never shown, so it is a plain object owned by its owner (the
// main window) rather than a window; its only content is the report, read from
// ":/reports/media_report.json" and bound to Dm1.ADOQuery3.
//
// One form serves one run: open the query, make the form, call Preview(*form->QuickRep1). The
// report reads the result open when the form was made and refuses one reopened since.
class TForm8 : public QObject
{
    Q_OBJECT

public:
    // Throws EReportError when the layout cannot be read.
    TForm8(QObject *owner, TDm1 &dm);
    ~TForm8() override;

    std::unique_ptr<TQuickRep> QuickRep1;

private:
    std::unique_ptr<QueryReportDataSet> m_dataSet;
};
