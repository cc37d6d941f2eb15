// SPDX-License-Identifier: GPL-3.0-or-later
#include "reports/report_form.h"

#include "reports/engine/layout_loader.h"
#include "reports/query_report_dataset.h"
#include "reports/report_run.h"

// Outside any namespace, as Q_INIT_RESOURCE requires; the layouts live in a static library, so
// they are registered explicitly rather than by a static initialiser the linker may drop.
void registerReportLayouts()
{
    Q_INIT_RESOURCE(report_layouts);
}

ReportForm::ReportForm(QObject *owner, TADOQuery &query, const QString &layout)
    : QObject(owner)
{
    initReports();
    registerReportLayouts();
    QuickRep1 = withReportErrors([&layout] { return loadReportLayout(layout); });
    QuickRep1->DataSet = std::make_shared<QueryReportDataSet>(query);
}

ReportForm::~ReportForm() = default;
