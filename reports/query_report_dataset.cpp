// SPDX-License-Identifier: GPL-3.0-or-later
#include "reports/query_report_dataset.h"

#include "core/exceptions.h"
#include "data/engine/record_store.h"
#include "data/query.h"

QueryReportDataSet::QueryReportDataSet(TADOQuery &query)
    : m_query(query)
    , m_queryName(query.name())
    , m_result(query.growingResult())
    , m_rows(m_result ? m_result->rows() : nullptr)
{
    if (!m_rows)
        return;
    for (int i = 0; i < query.fieldCount(); ++i) {
        m_fieldNames.append(query.field(i)->fieldName());
        m_columns.push_back(query.storeColumn(i));
    }
}

QueryReportDataSet::~QueryReportDataSet() = default;

void QueryReportDataSet::checkReadable() const
{
    if (!m_rows)
        throw EDatabaseError(m_queryName +
                             QStringLiteral(": Cannot perform this operation on a closed dataset"));
}

int QueryReportDataSet::recordCount() const
{
    checkReadable();
    return m_rows->rowCount();
}

int QueryReportDataSet::fieldIndex(const QString &name) const
{
    checkReadable();
    for (int i = 0; i < m_fieldNames.size(); ++i) {
        if (m_fieldNames[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString QueryReportDataSet::text(int record, int field) const
{
    checkReadable();
    if (field < 0 || field >= int(m_columns.size()) || record < 0 || record >= m_rows->rowCount())
        return {};
    return m_rows->text(record, m_columns[size_t(field)]);
}

bool QueryReportDataSet::complete() const
{
    return !m_result || m_result->complete();
}

void QueryReportDataSet::readMore() const
{
    checkReadable();
    m_result->readMore();
}
