// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "reports/engine/quick_rep.h"

#include <QObject>

#include <memory>

class TADOQuery;

// What the two report forms share. A form is never shown, so it is a plain object owned by its
// owner (the main window) rather than a window; its only content is the report, read from one
// of the compiled-in layouts and bound to one query of the data module.
//
// One form serves one run: open the query, make the form, call previewReport(*form->QuickRep1).
// The report reads the rows the query held when the form was made, whatever happens to the
// query afterwards; the documents laid out from it keep those rows after the form goes.
class ReportForm : public QObject
{
    Q_OBJECT

public:
    ~ReportForm() override;

    std::unique_ptr<TQuickRep> QuickRep1;

protected:
    // Throws EReportError when the layout cannot be read.
    ReportForm(QObject *owner, TADOQuery &query, const QString &layout);
};

// Makes the program's report layouts (":/reports/media_report.json" and
// ":/reports/software_report.json") readable. The forms call it; so may tests of the layouts.
void registerReportLayouts();
