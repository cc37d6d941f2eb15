// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "reports/engine/report_dataset.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class GrowingResult;
class RecordStore;
class TADOQuery;

// Lets the engine read a query's open result by record number, without moving its current
// record and without copying a row.
//
// The report reads the result as it was when the adapter was made: it shares the query's rows
// rather than reading the query, so a run that is still being laid out finishes with the rows
// it started with while another window edits, closes or reopens the query on another
// statement. The rows may still be arriving when the adapter is made (TADOQuery::openGradually):
// the report then sees them grow and reads on as it needs them. A query that was closed when the
// adapter was made makes every read throw EDatabaseError.
class QueryReportDataSet : public ReportDataSet
{
public:
    explicit QueryReportDataSet(TADOQuery &query);
    ~QueryReportDataSet() override;
    QueryReportDataSet(const QueryReportDataSet &) = delete;
    QueryReportDataSet &operator=(const QueryReportDataSet &) = delete;

    // The query the rows were taken from; it may hold other rows by now, or be gone: a laid-out
    // document keeps its dataset after the report form goes.
    TADOQuery &query() const { return m_query; }

    int recordCount() const override;
    int fieldIndex(const QString &name) const override;
    QString text(int record, int field) const override;
    bool complete() const override;
    void readMore() const override;

private:
    void checkReadable() const;

    TADOQuery &m_query;
    QString m_queryName;
    std::shared_ptr<GrowingResult> m_result;
    std::shared_ptr<const RecordStore> m_rows;
    QStringList m_fieldNames;
    std::vector<int> m_columns; // the store's column behind each field
};
