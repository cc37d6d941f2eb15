// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "reports/engine/report_dataset.h"

#include <QList>
#include <QStringList>

// A dataset held in memory: for tests, benchmarks and reports built by the program itself.
class MemoryDataSet : public ReportDataSet
{
public:
    explicit MemoryDataSet(QStringList fields, QList<QStringList> rows = {})
        : m_fields(std::move(fields))
        , m_rows(std::move(rows))
    {}

    void append(QStringList row) { m_rows.append(std::move(row)); }

    int recordCount() const override { return int(m_rows.size()); }
    int fieldIndex(const QString &name) const override
    {
        for (int i = 0; i < m_fields.size(); ++i) {
            if (m_fields[i].compare(name, Qt::CaseInsensitive) == 0)
                return i;
        }
        return -1;
    }
    QString text(int record, int field) const override
    {
        const QStringList &row = m_rows.at(record);
        return field >= 0 && field < row.size() ? row.at(field) : QString();
    }

private:
    QStringList m_fields;
    QList<QStringList> m_rows;
};
