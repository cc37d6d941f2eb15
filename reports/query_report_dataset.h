// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "reports/engine/report_dataset.h"

#include <QMetaObject>

class TADOQuery;

// Lets the engine read a query's open result in place, by record number, without moving its
// current record and without copying a row.
//
// The report reads the result as it was when the query was open at the adapter's creation. A
// query that is closed, or that was closed since (and perhaps reopened on another statement
// by another window while a long report was still being laid out), makes every read throw
// EDatabaseError instead of printing some other result's rows.
class QueryReportDataSet : public ReportDataSet
{
public:
    explicit QueryReportDataSet(const TADOQuery &query);
    ~QueryReportDataSet() override;
    QueryReportDataSet(const QueryReportDataSet &) = delete;
    QueryReportDataSet &operator=(const QueryReportDataSet &) = delete;

    const TADOQuery &query() const { return m_query; }

    int recordCount() const override;
    int fieldIndex(const QString &name) const override;
    QString text(int record, int field) const override;

private:
    void checkReadable() const;

    const TADOQuery &m_query;
    bool m_closedSince = false;
    QMetaObject::Connection m_stateConnection;
};
