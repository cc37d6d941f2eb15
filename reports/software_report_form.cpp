// SPDX-License-Identifier: GPL-3.0-or-later
#include "reports/software_report_form.h"

#include "data/data_module.h"
#include "reports/engine/layout_loader.h"
#include "reports/query_report_dataset.h"
#include "reports/report_run.h"

TForm9::TForm9(QObject *owner, TDm1 &dm)
    : QObject(owner)
    , m_dataSet(std::make_unique<QueryReportDataSet>(dm.ADOQuery4))
{
    setObjectName(QStringLiteral("Form9"));
    initReports();
    QuickRep1 = withReportErrors(
        [] { return loadReportLayout(QStringLiteral(":/reports/software_report.json")); });
    QuickRep1->DataSet = m_dataSet.get();
}

TForm9::~TForm9() = default;
