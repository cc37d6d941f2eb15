// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "exchange/formats/row_source.h"
#include "reports/engine/report_dataset.h"

#include <QStringList>

#include <memory>

class TQuickRep;

// The rows of a report as a table: one column for each data field of its detail band, in
// reading order, titled by the label printed before it (or by the column header above it),
// one row for each record.
struct ReportTable
{
    QString title;
    std::shared_ptr<const ReportDataSet> dataSet;
    QStringList titles;
    QList<int> fields; // the dataset's field of each column

    bool isEmpty() const { return !dataSet || fields.isEmpty(); }
    static ReportTable of(const TQuickRep &report);
};

class ReportRows : public Exchange::RowSource
{
public:
    explicit ReportRows(const ReportTable &table);

    QList<Exchange::Column> columns() const override { return m_columns; }
    bool next() override;
    QByteArrayView utf8(int column) override;
    qint64 rowCount() const override { return m_table.dataSet->recordCount(); }

private:
    ReportTable m_table;
    QList<Exchange::Column> m_columns;
    int m_record = -1;
    QByteArray m_text;
};
